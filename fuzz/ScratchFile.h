// A temporary file per fuzz process that each input is written to, removed at exit.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

class TScratchFile {
public:
    TScratchFile() {
        const char* dir = std::getenv("TMPDIR");
        FName = std::string(dir && *dir ? dir : "/tmp") + "/quillar-fuzz-XXXXXX";
        const int fd = ::mkstemp(FName.data());
        if (fd >= 0) ::close(fd);
    }
    ~TScratchFile() { ::unlink(FName.c_str()); }
    TScratchFile(const TScratchFile&) = delete;
    TScratchFile& operator=(const TScratchFile&) = delete;

    bool Write(const std::uint8_t* Data, std::size_t Size) const {
        FILE* f = std::fopen(FName.c_str(), "wb");
        if (!f) return false;
        const bool ok = std::fwrite(Data, 1, Size, f) == Size;
        return std::fclose(f) == 0 && ok;
    }
    const std::string& Name() const { return FName; }

private:
    std::string FName;
};
