// libquillar-unrar.so: the rar extraction library's five calls over libarchive (rar 1.5 to
// 4 and rar 5). The volumes of a set are the files that follow the first by the rar naming
// rules (name.part2.rar after name.part1.rar, name.r00 after name.rar) and exist; a volume
// that is needed and missing is asked for through the change-volume message.
#include "platform/UnrarLibrary.h"

#include <algorithm>
#include <archive.h>
#include <archive_entry.h>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <locale.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#define UNRAR_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Volumes a set may have.
constexpr std::size_t MaxVolumes = 999;
// How often one missing volume is asked for.
constexpr int VolumeQuestions = 16;
constexpr std::size_t ReadBlock = 65536;
constexpr ssize_t TrailingZeros = 64;

bool Exists(const std::string& Name) {
    struct stat st {};
    return ::stat(Name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EndsWithNoCase(const std::string& Text, const char* Tail) {
    const std::size_t n = std::strlen(Tail);
    if (Text.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(Text[Text.size() - n + i])) != Tail[i]) return false;
    return true;
}

// The name of the volume after Name: "x.part07.rar" -> "x.part08.rar" (the digits keep their
// width), "x.rar" -> "x.r00", "x.r99" -> "x.s00". Empty when Name follows neither rule.
std::string NextVolumeName(const std::string& Name) {
    if (EndsWithNoCase(Name, ".rar")) {
        const std::size_t ext = Name.size() - 4;
        std::size_t digits = ext;
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(Name[digits - 1])))
            --digits;
        const std::string before = Name.substr(0, digits);
        if (digits < ext && EndsWithNoCase(before, ".part")) {
            std::string number = Name.substr(digits, ext - digits);
            int i = static_cast<int>(number.size()) - 1;
            for (; i >= 0 && number[static_cast<std::size_t>(i)] == '9'; --i)
                number[static_cast<std::size_t>(i)] = '0';
            if (i < 0)
                number.insert(number.begin(), '1');
            else
                ++number[static_cast<std::size_t>(i)];
            return before + number + Name.substr(ext);
        }
        const bool upper = Name[ext + 1] == 'R';
        return Name.substr(0, ext) + (upper ? ".R00" : ".r00");
    }
    if (Name.size() < 4 || Name[Name.size() - 4] != '.') return {};
    std::string next = Name;
    char& letter = next[next.size() - 3];
    char& tens = next[next.size() - 2];
    char& units = next[next.size() - 1];
    if (!std::isalpha(static_cast<unsigned char>(letter)) ||
        !std::isdigit(static_cast<unsigned char>(tens)) || !std::isdigit(static_cast<unsigned char>(units)))
        return {};
    if (units < '9') {
        ++units;
    } else if (tens < '9') {
        ++tens;
        units = '0';
    } else {
        ++letter;
        tens = units = '0';
    }
    return next;
}

std::uint32_t DosDateTime(std::time_t Time) {
    std::tm tm{};
    if (!::localtime_r(&Time, &tm) || tm.tm_year < 80) return (1u << 16) | (1u << 21) | 0x20;
    return static_cast<std::uint32_t>(((tm.tm_year - 80) << 25) | ((tm.tm_mon + 1) << 21) |
                                      (tm.tm_mday << 16) | (tm.tm_hour << 11) | (tm.tm_min << 5) |
                                      (tm.tm_sec / 2));
}

void CopyText(char* Buffer, std::size_t Size, const std::string& Text) {
    const std::size_t n = std::min(Text.size(), Size - 1);
    std::memcpy(Buffer, Text.data(), n);
    Buffer[n] = 0;
}

// libarchive gives names in the character set of the calling thread's locale: during each
// call of the library that is UTF-8, whatever the process's locale is, so rar 3 unicode
// names and rar 5 names come out whole.
// The UTF-8 locale, made once and freed when the library is unloaded.
class TUtf8LocaleObject {
public:
    TUtf8LocaleObject() : FLocale(::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr))) {}
    ~TUtf8LocaleObject() {
        if (FLocale) ::freelocale(FLocale);
    }
    TUtf8LocaleObject(const TUtf8LocaleObject&) = delete;
    TUtf8LocaleObject& operator=(const TUtf8LocaleObject&) = delete;
    locale_t Get() const { return FLocale; }

private:
    locale_t FLocale;
};

const TUtf8LocaleObject Utf8Locale;

class TUtf8Locale {
public:
    TUtf8Locale() {
        if (Utf8Locale.Get()) FSaved = ::uselocale(Utf8Locale.Get());
    }
    ~TUtf8Locale() {
        if (FSaved) ::uselocale(FSaved);
    }
    TUtf8Locale(const TUtf8Locale&) = delete;
    TUtf8Locale& operator=(const TUtf8Locale&) = delete;

private:
    locale_t FSaved = static_cast<locale_t>(nullptr);
};

struct TArchive;

struct TVolume {
    TArchive* Owner = nullptr;
    std::size_t Index = 0;
    std::string Expected; // the name the naming rules give it beside the first volume
    std::string Name;     // empty until the volume is found or supplied
    bool PastEnd = false; // read ahead to while the set had ended: reads as empty
    bool Padded = false;  // the zeros after the end of an archive that is no volume were read
    int Fd = -1;
    std::vector<char> Buffer;
};

struct TArchive {
    archive* A = nullptr;
    std::vector<std::unique_ptr<TVolume>> Volumes;
    UNRARCALLBACK Callback = nullptr;
    std::intptr_t UserData = 0;
    archive_entry* Entry = nullptr;
    bool MissingVolume = false; // a needed volume was not supplied
    // Decoding an entry's data: a volume needed now holds the rest of the entry. Between
    // entries libarchive reads ahead over the end of the last volume, and a volume that is
    // not there then is the end of the set, never a question.
    bool InData = false;
    std::string EntryVolume;
    // Headers handed out so far, and whether the data of the last one broke the reading:
    // libarchive reads no further after damaged data, so the next header is found by reading
    // the archive again from its start and passing over as many entries.
    int Headers = 0;
    bool Broken = false;

    ~TArchive() { Close(); }

    void Close() {
        if (A) archive_read_free(A);
        A = nullptr;
        Entry = nullptr;
        for (const auto& volume : Volumes) {
            if (volume->Fd >= 0) ::close(volume->Fd);
            volume->Fd = -1;
            volume->PastEnd = false;
        }
    }

    // Starts reading the set from its first volume; the volumes found stay known.
    int Open();
    // Reads the set again up to the entry after the last one handed out; 0, or the result
    // code of the reason it cannot (the entries before are damaged too, or a solid archive,
    // whose entries depend on the damaged one).
    int Reopen();

    // The file of the volume, found without asking.
    bool LocateQuietly(TVolume& Volume) {
        if (!Volume.Name.empty() && Exists(Volume.Name)) return true;
        // Beside the first volume, or beside the one before it when that one was supplied
        // from elsewhere.
        const std::string besidePrevious =
            Volume.Index > 0 ? NextVolumeName(Volumes[Volume.Index - 1]->Name) : std::string();
        for (const std::string& candidate : {Volume.Expected, besidePrevious}) {
            if (!candidate.empty() && Exists(candidate)) {
                Volume.Name = candidate;
                return true;
            }
        }
        return false;
    }

    // The file of the volume: found beside the others, or asked for.
    bool Locate(TVolume& Volume) {
        if (LocateQuietly(Volume)) return true;
        const std::string besidePrevious =
            Volume.Index > 0 ? NextVolumeName(Volumes[Volume.Index - 1]->Name) : std::string();
        std::string expected = Volume.Expected.empty() ? besidePrevious : Volume.Expected;
        if (!Callback || expected.empty()) return false;
        std::vector<char> buffer(RAR_NAME_SIZE);
        for (int question = 0; question < VolumeQuestions; ++question) {
            CopyText(buffer.data(), buffer.size(), expected);
            if (Callback(UCM_CHANGEVOLUME, UserData, reinterpret_cast<std::intptr_t>(buffer.data()), 0) == -1)
                return false;
            expected = buffer.data();
            if (Exists(expected)) {
                Volume.Name = expected;
                return true;
            }
        }
        return false;
    }
};

int OpenVolume(archive* A, void* Data) {
    TVolume& volume = *static_cast<TVolume*>(Data);
    if (volume.Fd >= 0 || volume.PastEnd) return ARCHIVE_OK;
    if (!volume.Owner->InData && !volume.Owner->LocateQuietly(volume)) {
        volume.PastEnd = true;
        return ARCHIVE_OK;
    }
    if (!volume.Owner->Locate(volume)) {
        volume.Owner->MissingVolume = true;
        archive_set_error(A, ENOENT, "volume %zu is missing", volume.Index + 1);
        return ARCHIVE_FATAL;
    }
    volume.Fd = ::open(volume.Name.c_str(), O_RDONLY | O_CLOEXEC);
    if (volume.Fd < 0) {
        archive_set_error(A, errno, "cannot open %s", volume.Name.c_str());
        return ARCHIVE_FATAL;
    }
    volume.Buffer.resize(ReadBlock);
    return ARCHIVE_OK;
}

la_ssize_t ReadVolume(archive* A, void* Data, const void** Block) {
    TVolume& volume = *static_cast<TVolume*>(Data);
    if (volume.Fd < 0 && OpenVolume(A, Data) != ARCHIVE_OK) return -1;
    if (volume.PastEnd) return 0;
    const ssize_t got = ::read(volume.Fd, volume.Buffer.data(), volume.Buffer.size());
    *Block = volume.Buffer.data();
    if (got < 0) archive_set_error(A, errno, "read error");
    if (got == 0 && volume.Owner->InData && volume.Owner->Volumes.size() == 1 && !volume.Padded) {
        // libarchive's rar 5 decoder reads a little ahead of an entry's data: an archive that
        // ends with them (its end block lost) gets zeros there, which belong to no entry (the
        // entry's size and CRC are checked on what it decodes).
        volume.Padded = true;
        std::fill_n(volume.Buffer.begin(), TrailingZeros, 0);
        return TrailingZeros;
    }
    return got;
}

la_int64_t SeekVolume(archive* A, void* Data, la_int64_t Offset, int Whence) {
    TVolume& volume = *static_cast<TVolume*>(Data);
    if (volume.Fd < 0 && OpenVolume(A, Data) != ARCHIVE_OK) return ARCHIVE_FATAL;
    if (volume.PastEnd) return Offset == 0 ? 0 : ARCHIVE_FATAL;
    const off_t at = ::lseek(volume.Fd, Offset, Whence);
    return at < 0 ? ARCHIVE_FATAL : at;
}

int CloseVolume(archive* /*A*/, void* Data) {
    TVolume& volume = *static_cast<TVolume*>(Data);
    if (volume.Fd >= 0) ::close(volume.Fd);
    volume.Fd = -1;
    return ARCHIVE_OK;
}

int SwitchVolume(archive* A, void* Old, void* New) {
    if (Old) CloseVolume(A, Old);
    return New ? OpenVolume(A, New) : ARCHIVE_OK;
}

// Whether the rar archive in the file Name is a volume of a set, by the volume flag of its
// main header (behind a program stub too): only a volume has others after it. Unknown (no
// marker found) counts as a volume.
bool IsVolume(const std::string& Name) {
    constexpr std::size_t searched = 1 << 20;
    const int fd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;
    std::vector<unsigned char> head(searched + 64);
    const ssize_t got = ::read(fd, head.data(), head.size());
    ::close(fd);
    if (got <= 0) return true;
    head.resize(static_cast<std::size_t>(got));
    static constexpr unsigned char marker[6] = {'R', 'a', 'r', '!', 0x1A, 0x07};
    const auto at = std::search(head.begin(), head.end(), std::begin(marker), std::end(marker));
    std::size_t p = static_cast<std::size_t>(at - head.begin()) + 6;
    if (at == head.end() || p + 2 > head.size()) return true;
    const auto vint = [&](std::uint64_t& Value) {
        Value = 0;
        for (int shift = 0; shift < 64 && p < head.size(); shift += 7) {
            const unsigned char b = head[p++];
            Value |= std::uint64_t{b & 0x7Fu} << shift;
            if (!(b & 0x80)) return true;
        }
        return false;
    };
    if (head[p] == 0x00) {
        // rar 1.5 to 4: the main header (type 0x73) follows the 7-byte marker; its flags at 3.
        p += 1;
        if (p + 5 > head.size() || head[p + 2] != 0x73) return true;
        return (head[p + 3] & 0x01) != 0;
    }
    if (head[p] != 0x01 || p + 2 > head.size() || head[p + 1] != 0x00) return true;
    // rar 5: CRC, header size, type 1, flags, the extra and data sizes they announce, then
    // the archive flags.
    p += 2 + 4;
    std::uint64_t size = 0, type = 0, flags = 0, skip = 0, archiveFlags = 0;
    if (!vint(size) || !vint(type) || type != 1 || !vint(flags)) return true;
    if ((flags & 0x01) && !vint(skip)) return true;
    if ((flags & 0x02) && !vint(skip)) return true;
    return !vint(archiveFlags) || (archiveFlags & 0x01) != 0;
}

int ErrorOf(const TArchive& Arc, int Fallback) {
    return Arc.MissingVolume ? ERAR_MISSING_VOLUME : Fallback;
}

int TArchive::Open() {
    A = archive_read_new();
    if (!A) return ERAR_NO_MEMORY;
    archive_read_support_format_rar(A);
    archive_read_support_format_rar5(A);
    archive_read_set_open_callback(A, OpenVolume);
    archive_read_set_read_callback(A, ReadVolume);
    archive_read_set_seek_callback(A, SeekVolume);
    archive_read_set_close_callback(A, CloseVolume);
    archive_read_set_switch_callback(A, SwitchVolume);
    archive_read_set_callback_data(A, Volumes[0].get());
    for (std::size_t i = 1; i < Volumes.size(); ++i)
        archive_read_append_callback_data(A, Volumes[i].get());
    return archive_read_open1(A) == ARCHIVE_OK ? 0 : ERAR_BAD_ARCHIVE;
}

int TArchive::Reopen() {
    Broken = false;
    Close();
    if (const int r = Open(); r != 0) return r;
    for (int i = 0; i < Headers; ++i) {
        if (archive_read_next_header(A, &Entry) < ARCHIVE_WARN || archive_read_data_skip(A) < ARCHIVE_WARN)
            return ErrorOf(*this, ERAR_BAD_DATA);
    }
    return 0;
}

// Writes what the entry decodes to Dest through a sibling that is renamed over it when the
// whole entry was decoded.
class TDestFile {
public:
    explicit TDestFile(const std::string& Dest) : FDest(Dest), FTemp(Dest + ".unrar-XXXXXX") {
        FFd = ::mkstemp(FTemp.data());
    }
    ~TDestFile() {
        if (FFd >= 0) ::close(FFd);
        if (!FDone) ::unlink(FTemp.c_str());
    }
    TDestFile(const TDestFile&) = delete;
    TDestFile& operator=(const TDestFile&) = delete;
    bool Ok() const { return FFd >= 0; }
    bool Write(const void* Data, std::size_t Count) {
        return ::write(FFd, Data, Count) == static_cast<ssize_t>(Count);
    }
    bool Commit() {
        const int fd = FFd;
        FFd = -1;
        if (::close(fd) != 0 || ::rename(FTemp.c_str(), FDest.c_str()) != 0) return false;
        FDone = true;
        return true;
    }

private:
    std::string FDest;
    std::string FTemp;
    int FFd = -1;
    bool FDone = false;
};

} // namespace

UNRAR_EXPORT void* RAROpenArchive(RAROpenArchiveData* ArchiveData) {
    const TUtf8Locale utf8;
    if (!ArchiveData || !ArchiveData->ArcName) return nullptr;
    ArchiveData->CmtSize = 0;
    ArchiveData->CmtState = 0;
    auto arc = std::make_unique<TArchive>();
    const std::string first = ArchiveData->ArcName;
    if (!Exists(first)) {
        ArchiveData->OpenResult = ERAR_EOPEN;
        return nullptr;
    }
    // Room for every volume the set may have; each is looked for when it is needed. An archive
    // that is no volume has none: data that run past its end are damage, not a volume change.
    std::string name = first;
    const std::size_t volumes = IsVolume(first) ? MaxVolumes : 1;
    for (std::size_t i = 0; i < volumes; ++i) {
        auto volume = std::make_unique<TVolume>();
        volume->Owner = arc.get();
        volume->Index = i;
        volume->Expected = name;
        if (i == 0) volume->Name = name;
        name = name.empty() ? std::string() : NextVolumeName(name);
        arc->Volumes.push_back(std::move(volume));
    }
    if (const int r = arc->Open(); r != 0) {
        ArchiveData->OpenResult = static_cast<unsigned>(r);
        return nullptr;
    }
    ArchiveData->OpenResult = 0;
    return arc.release();
}

UNRAR_EXPORT int RARCloseArchive(void* Handle) {
    std::unique_ptr<TArchive> arc(static_cast<TArchive*>(Handle));
    return 0;
}

UNRAR_EXPORT void RARSetCallback(void* Handle, UNRARCALLBACK Callback, std::intptr_t UserData) {
    if (!Handle) return;
    auto& arc = *static_cast<TArchive*>(Handle);
    arc.Callback = Callback;
    arc.UserData = UserData;
}

UNRAR_EXPORT int RARReadHeader(void* Handle, RARHeaderData* Header) {
    const TUtf8Locale utf8;
    if (!Handle || !Header) return ERAR_BAD_ARCHIVE;
    auto& arc = *static_cast<TArchive*>(Handle);
    if (arc.Broken) {
        if (const int r = arc.Reopen(); r != 0) return r;
    }
    if (!arc.A) return ERAR_BAD_ARCHIVE;
    const int r = archive_read_next_header(arc.A, &arc.Entry);
    if (r == ARCHIVE_EOF) return ERAR_END_ARCHIVE;
    if (r < ARCHIVE_WARN) return ErrorOf(arc, ERAR_BAD_DATA);
    ++arc.Headers;
    archive_entry* e = arc.Entry;
    const char* path = archive_entry_pathname_utf8(e);
    if (!path) path = archive_entry_pathname(e);
    CopyText(Header->FileName, sizeof Header->FileName, path ? path : "");
    CopyText(Header->ArcName, sizeof Header->ArcName, arc.Volumes[0]->Name);
    const bool isDir = archive_entry_filetype(e) == AE_IFDIR;
    Header->Flags = (isDir ? RHDF_DIRECTORY : 0) | (archive_entry_is_data_encrypted(e) ? RHDF_ENCRYPTED : 0);
    Header->PackSize = 0;
    Header->UnpSize = archive_entry_size_is_set(e) ? static_cast<std::uint64_t>(archive_entry_size(e)) : 0;
    // A link is never made by the library: it is marked as a Unix link for the caller to skip.
    const bool isLink = archive_entry_filetype(e) == AE_IFLNK;
    Header->HostOS = isLink ? 3 : 2;
    Header->FileCRC = 0;
    Header->FileTime = DosDateTime(archive_entry_mtime(e));
    Header->UnpVer = 0;
    Header->Method = 0;
    Header->FileAttr = isLink  ? AE_IFLNK | archive_entry_perm(e)
                       : isDir ? 0x10
                               : ((archive_entry_perm(e) & 0200) ? 0x20 : 0x21);
    Header->CmtSize = 0;
    Header->CmtState = 0;
    return 0;
}

UNRAR_EXPORT int RARProcessFile(void* Handle, int Operation, char* /*DestPath*/, char* DestName) {
    const TUtf8Locale utf8;
    if (!Handle) return ERAR_BAD_ARCHIVE;
    auto& arc = *static_cast<TArchive*>(Handle);
    if (!arc.Entry) return ERAR_BAD_ARCHIVE;
    const bool isDir = archive_entry_filetype(arc.Entry) == AE_IFDIR;
    if (Operation == RAR_SKIP || isDir || archive_entry_filetype(arc.Entry) == AE_IFLNK) {
        if (isDir && Operation == RAR_EXTRACT && DestName) ::mkdir(DestName, 0777);
        if (archive_read_data_skip(arc.A) >= ARCHIVE_WARN) return 0;
        arc.Broken = true;
        return ErrorOf(arc, ERAR_BAD_DATA);
    }
    // libarchive reads no enciphered rar data: such an entry cannot be decoded here.
    if (archive_entry_is_data_encrypted(arc.Entry)) {
        archive_read_data_skip(arc.A);
        return ERAR_UNKNOWN_FORMAT;
    }
    std::unique_ptr<TDestFile> dest;
    if (Operation == RAR_EXTRACT) {
        if (!DestName) return ERAR_ECREATE;
        dest = std::make_unique<TDestFile>(DestName);
        if (!dest->Ok()) return ERAR_ECREATE;
    }
    std::vector<char> buffer(ReadBlock);
    arc.InData = true;
    const struct TDataPhase {
        TArchive& Arc;
        ~TDataPhase() { Arc.InData = false; }
    } phase{arc};
    for (;;) {
        const la_ssize_t got = archive_read_data(arc.A, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            arc.Broken = true;
            return ErrorOf(arc, ERAR_BAD_DATA);
        }
        if (arc.Callback && arc.Callback(UCM_PROCESSDATA, arc.UserData,
                                         reinterpret_cast<std::intptr_t>(buffer.data()), got) == -1)
            return ERAR_BAD_DATA;
        if (dest && !dest->Write(buffer.data(), static_cast<std::size_t>(got))) return ERAR_EWRITE;
    }
    if (dest && !dest->Commit()) return ERAR_ECLOSE;
    return 0;
}
