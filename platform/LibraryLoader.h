// Shared libraries loaded at run time by name (the rar and ace libraries): looked for beside
// the program, in the folder above it, then where the system looks for libraries. A library
// that is missing is no error here: the handle is empty, and nothing is shown.
#pragma once

#include <string>

class TLibrary {
public:
    TLibrary() = default;
    ~TLibrary();
    TLibrary(TLibrary&& Other) noexcept;
    TLibrary& operator=(TLibrary&& Other) noexcept;
    TLibrary(const TLibrary&) = delete;
    TLibrary& operator=(const TLibrary&) = delete;

    explicit operator bool() const { return FHandle != nullptr; }
    // The address of an exported symbol, nullptr when the library has none of that name.
    void* Symbol(const char* Name) const;
    template <typename T> T Function(const char* Name) const { return reinterpret_cast<T>(Symbol(Name)); }

    friend TLibrary LoadLibraryQuiet(const std::string& FileName);

private:
    explicit TLibrary(void* Handle) : FHandle(Handle) {}
    void* FHandle = nullptr;
};

TLibrary LoadLibraryQuiet(const std::string& FileName);
