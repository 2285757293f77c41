#include "platform/LibraryLoader.h"

#include <dlfcn.h>
#include <filesystem>
#include <system_error>
#include <utility>

TLibrary::~TLibrary() {
    if (FHandle) ::dlclose(FHandle);
}

TLibrary::TLibrary(TLibrary&& Other) noexcept : FHandle(std::exchange(Other.FHandle, nullptr)) {}

TLibrary& TLibrary::operator=(TLibrary&& Other) noexcept {
    if (this != &Other) {
        if (FHandle) ::dlclose(FHandle);
        FHandle = std::exchange(Other.FHandle, nullptr);
    }
    return *this;
}

void* TLibrary::Symbol(const char* Name) const {
    return FHandle ? ::dlsym(FHandle, Name) : nullptr;
}

TLibrary LoadLibraryQuiet(const std::string& FileName) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && FileName.find('/') == std::string::npos) {
        for (const fs::path& folder : {program.parent_path(), program.parent_path().parent_path()}) {
            const fs::path candidate = folder / FileName;
            if (!fs::is_regular_file(candidate, ec)) continue;
            if (void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return TLibrary(handle);
        }
    }
    return TLibrary(::dlopen(FileName.c_str(), RTLD_NOW | RTLD_LOCAL));
}
