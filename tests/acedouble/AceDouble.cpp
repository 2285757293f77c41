// A test double of the ace extraction library, built only for the tests: it speaks the
// library's calls, records and callbacks (platform/AceLibrary.h) and reads stored ace
// entries, across volumes (name.ace, name.c00, name.c01 ...). An entry with the password
// flag holds its data XOR-ed with the password's bytes, so a wrong password fails the CRC.
#include "platform/AceLibrary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

#define ACE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

namespace fs = std::filesystem;

constexpr int FileHeaderSize = 35;
constexpr std::uint16_t FlagSplitBefore = 0x1000;
constexpr std::uint16_t FlagSplitAfter = 0x2000;
constexpr std::uint16_t FlagPassword = 0x4000;
constexpr std::size_t Block = 4096;

TAceInitDllStruc Init{};

std::uint16_t U16(const std::uint8_t* P) {
    return static_cast<std::uint16_t>(P[0] | (P[1] << 8));
}
std::uint32_t U32(const std::uint8_t* P) {
    return P[0] | (P[1] << 8) | (P[2] << 16) | (std::uint32_t{P[3]} << 24);
}

// name.ace -> name.c00 -> name.c01 ...
std::string NextVolume(const std::string& Name) {
    if (Name.size() < 4) return {};
    std::string next = Name;
    char* ext = next.data() + next.size() - 3;
    if (std::isdigit(static_cast<unsigned char>(ext[1])) &&
        std::isdigit(static_cast<unsigned char>(ext[2]))) {
        const int n = (ext[1] - '0') * 10 + (ext[2] - '0') + 1;
        ext[1] = static_cast<char>('0' + n / 10 % 10);
        ext[2] = static_cast<char>('0' + n % 10);
    } else {
        ext[0] = 'c';
        ext[1] = ext[2] = '0';
    }
    return next;
}

class TVolumeFile {
public:
    bool Open(const std::string& Name) {
        FData.clear();
        FILE* f = std::fopen(Name.c_str(), "rb");
        if (!f) return false;
        char buffer[Block];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            FData.insert(FData.end(), buffer, buffer + got);
        std::fclose(f);
        return true;
    }
    bool Has(std::size_t At, std::size_t Count) const {
        return At <= FData.size() && Count <= FData.size() - At;
    }
    const std::uint8_t* At(std::size_t Pos) const { return FData.data() + Pos; }
    std::size_t Size() const { return FData.size(); }

private:
    std::vector<std::uint8_t> FData;
};

struct TRun {
    bool Extract = false;
    std::string Destination;
    bool ExcludePath = false;
    std::string Password;
    TAceArchiveData Archive{};
    TVolumeFile Volume;

    // The callback may answer through the record (a password request's password).
    int Call(TAceCallback Callback, TAceCallbackData& Data) {
        Data.Archive = &Archive;
        return Callback ? Callback(&Data) : ACE_CALLBACK_RETURN_CANCEL;
    }
    int Call(TAceCallback Callback, TAceCallbackData&& Data) { return Call(Callback, Data); }
    int Error(int Code, TAceFileData* File) {
        return Call(Init.ErrorCallback,
                    {ACE_CALLBACK_TYPE_FILE, Code, nullptr, File, nullptr, 0, nullptr, 0});
    }

    // The main header of the volume; Pos after it.
    bool OpenVolume(const std::string& Name, std::size_t& Pos) {
        if (!Volume.Open(Name) || !Volume.Has(0, 31) || std::memcmp(Volume.At(7), "**ACE**", 7) != 0)
            return false;
        std::snprintf(Archive.ArchiveName, sizeof Archive.ArchiveName, "%s", Name.c_str());
        Pos = 4 + U16(Volume.At(2));
        return true;
    }

    // The next volume, found beside this one or asked for.
    bool NextVolumeOf(std::size_t& Pos) {
        std::string next = NextVolume(Archive.ArchiveName);
        if (access(next.c_str(), F_OK) != 0) {
            std::snprintf(Archive.ArchiveName, sizeof Archive.ArchiveName, "%s", next.c_str());
            ++Archive.VolumeNumber;
            if (Call(Init.RequestCallback, {ACE_CALLBACK_TYPE_ARCHIVE, ACE_CALLBACK_REQUEST_CHANGEVOLUME,
                                            nullptr, nullptr, nullptr, 0, nullptr, 0}) !=
                ACE_CALLBACK_RETURN_OK)
                return false;
            next = Archive.ArchiveName;
        } else {
            ++Archive.VolumeNumber;
        }
        return OpenVolume(next, Pos);
    }

    int Run(const std::string& Name) {
        std::size_t pos = 0;
        if (!OpenVolume(Name, pos)) return 1;
        while (Volume.Has(pos, FileHeaderSize)) {
            const std::uint8_t* h = Volume.At(pos);
            const std::size_t headerEnd = pos + 4 + U16(h + 2);
            if (h[4] != 1 || !Volume.Has(pos, 4 + U16(h + 2))) break;
            std::uint16_t flags = U16(h + 5);
            std::uint64_t packed = U32(h + 7);
            const std::string stored(reinterpret_cast<const char*>(h + FileHeaderSize),
                                     std::min<std::size_t>(U16(h + 33), headerEnd - pos - FileHeaderSize));
            std::size_t data = headerEnd;
            const std::size_t next = headerEnd + packed;
            if (flags & FlagSplitBefore) { // the rest of an entry this run did not begin
                pos = next;
                continue;
            }
            std::string local = stored;
            std::replace(local.begin(), local.end(), '\\', '/');
            const std::string dest =
                (fs::path(Destination) / (ExcludePath ? fs::path(local).filename() : fs::path(local)))
                    .string();
            TAceFileData file{stored.c_str(), dest.c_str(), flags,       ~U32(h + 23),
                              U32(h + 11),    packed,       U32(h + 15), U32(h + 19)};
            if (Call(Init.StateCallback, {ACE_CALLBACK_TYPE_FILE, ACE_CALLBACK_STATE_STARTFILE, nullptr,
                                          &file, nullptr, 0, nullptr, 0}) == ACE_CALLBACK_RETURN_CANCEL)
                return 1;
            pos = next;
            if (file.Attributes & 0x10) {
                if (Extract) fs::create_directories(dest);
                continue;
            }
            if (h[27] != 0 && Error(ACE_CALLBACK_ERROR_UNSUPPORTED, &file) == ACE_CALLBACK_RETURN_CANCEL)
                return 1;
            if (h[27] != 0) continue;
            std::string key = Password;
            if (flags & FlagPassword) {
                TAceCallbackData ask{ACE_CALLBACK_TYPE_FILE,
                                     ACE_CALLBACK_REQUEST_PASSWORD,
                                     nullptr,
                                     &file,
                                     nullptr,
                                     0,
                                     nullptr,
                                     0};
                const int answer = Call(Init.RequestCallback, ask);
                if (answer == ACE_CALLBACK_RETURN_CANCEL) return 1;
                if (answer != ACE_CALLBACK_RETURN_OK) continue;
                key = ask.Password ? ask.Password : "";
            }
            int out = -1;
            if (Extract) {
                if (access(dest.c_str(), F_OK) == 0) {
                    const int answer =
                        Call(Init.RequestCallback, {ACE_CALLBACK_TYPE_FILE, ACE_CALLBACK_REQUEST_OVERWRITE,
                                                    nullptr, &file, nullptr, 0, nullptr, 0});
                    if (answer == ACE_CALLBACK_RETURN_CANCEL) return 1;
                    if (answer != ACE_CALLBACK_RETURN_OK) continue;
                }
                std::error_code ec;
                fs::create_directories(fs::path(dest).parent_path(), ec);
                out = ::open(dest.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                if (out < 0 && Error(ACE_CALLBACK_ERROR_WRITE, &file) == ACE_CALLBACK_RETURN_CANCEL) return 1;
                if (out < 0) continue;
            }
            uLong crc = crc32(0, nullptr, 0);
            std::uint64_t done = 0;
            bool ok = true;
            for (;;) {
                while (packed > 0 && ok) {
                    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(packed, Block));
                    if (!Volume.Has(data, n)) {
                        ok = false;
                        break;
                    }
                    std::vector<std::uint8_t> plain(Volume.At(data), Volume.At(data) + n);
                    if (flags & FlagPassword)
                        for (std::size_t i = 0; i < n; ++i)
                            plain[i] ^=
                                key.empty() ? 0 : static_cast<std::uint8_t>(key[(done + i) % key.size()]);
                    crc = crc32(crc, plain.data(), static_cast<uInt>(n));
                    if (out >= 0 && ::write(out, plain.data(), n) != static_cast<ssize_t>(n)) ok = false;
                    Call(Init.StateCallback, {ACE_CALLBACK_TYPE_PROGRESS, ACE_CALLBACK_STATE_PROGRESS,
                                              nullptr, &file, plain.data(), n, nullptr, 0});
                    data += n;
                    done += n;
                    packed -= n;
                }
                if (!ok || !(flags & FlagSplitAfter)) break;
                // The entry runs on in the next volume, behind its main header.
                if (!NextVolumeOf(pos) || !Volume.Has(pos, FileHeaderSize)) {
                    ok = false;
                    if (out >= 0) ::close(out);
                    return 1;
                }
                const std::uint8_t* c = Volume.At(pos);
                flags = U16(c + 5);
                packed = U32(c + 7);
                data = pos + 4 + U16(c + 2);
                pos = data + packed;
            }
            if (out >= 0) ::close(out);
            const int verdict = ok && done == file.Size && crc == file.CRC32;
            if (Call(Init.StateCallback, {ACE_CALLBACK_TYPE_CRCCHECK, ACE_CALLBACK_STATE_ENDCRCCHECK, nullptr,
                                          &file, nullptr, 0, nullptr, verdict}) == ACE_CALLBACK_RETURN_CANCEL)
                return 1;
        }
        return 0;
    }
};

} // namespace

ACE_EXPORT int ACEInitDll(TAceInitDllStruc* InitData) {
    if (!InitData || !InitData->StateCallback || !InitData->RequestCallback || !InitData->ErrorCallback)
        return 1;
    Init = *InitData;
    return 0;
}

ACE_EXPORT int ACEReadArchiveData(const char* /*ArchiveName*/, void* /*Data*/) {
    return 0;
}

ACE_EXPORT int ACEList(const char* /*ArchiveName*/, void* /*List*/) {
    return 0;
}

ACE_EXPORT int ACETest(const char* ArchiveName, TAceTestStruc* Test) {
    auto run = std::make_unique<TRun>();
    run->Password = Test && Test->DecryptPassword ? Test->DecryptPassword : "";
    return run->Run(ArchiveName);
}

ACE_EXPORT int ACEExtract(const char* ArchiveName, TAceExtractStruc* Extract) {
    if (!Extract || !Extract->DestinationDir) return 1;
    auto run = std::make_unique<TRun>();
    run->Extract = true;
    run->Destination = Extract->DestinationDir;
    run->ExcludePath = Extract->ExcludePath != 0;
    run->Password = Extract->DecryptPassword ? Extract->DecryptPassword : "";
    return run->Run(ArchiveName);
}
