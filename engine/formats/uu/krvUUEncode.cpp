#include "engine/formats/uu/krvUUEncode.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvProduct.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

constexpr char UUAlphabet[] = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
constexpr char XXAlphabet[] = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr char B64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// Output is collected and written in blocks of about this size.
constexpr std::size_t FlushSize = 1024 * 1024;
// The fewest lines a volume of data is given.
constexpr std::int64_t MinPartLines = 8;

const char* AlphabetOf(TCompressMethod Method) {
    return Method == cmXXEncode ? XXAlphabet : Method == cmBase64 ? B64Alphabet : UUAlphabet;
}

// The two characters of every 12-bit value: half the lookups of one per character.
using TPairTable = std::array<std::array<char, 2>, 4096>;

TPairTable MakePairs(const char* Alphabet) {
    TPairTable pairs{};
    for (std::size_t v = 0; v < pairs.size(); ++v)
        pairs[v] = {Alphabet[v >> 6], Alphabet[v & 63]};
    return pairs;
}

const TPairTable& PairsOf(TCompressMethod Method) {
    static const TPairTable uu = MakePairs(UUAlphabet), xx = MakePairs(XXAlphabet),
                            b64 = MakePairs(B64Alphabet);
    return Method == cmXXEncode ? xx : Method == cmBase64 ? b64 : uu;
}

// The permission bits of the "begin" line, in octal as uuencode writes them ("644", "755").
std::string ModeText(mode_t Mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%03o", static_cast<unsigned>(Mode & 0777));
    return text;
}

std::string BaseName(const std::string& Path) {
    const std::size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

bool SameFileOnDisk(const std::string& A, const std::string& B) {
    struct stat sa {
    }, sb{};
    return A == B || (::stat(A.c_str(), &sa) == 0 && ::stat(B.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
                      sa.st_ino == sb.st_ino);
}

} // namespace

TUUEncode::TUUEncode() {
    FSupportedMethods = {cmUUEncode, cmXXEncode, cmBase64};
    FCompressMethod = cmUUEncode;
    FBuiltInExt = ".uue";
    FDefaultExt = FBuiltInExt;
    FArcType = atNA;
}

void TUUEncode::SetArcType(TArcType /*Value*/) {
    FArcType = FArchiveFile.empty() ? atNA : atUUE;
}

void TUUEncode::SetOutFilename(const std::string& Value) {
    if (Value == ".") {
        FOutFilename.clear();
        return;
    }
    FOutFilename = Value;
    if (!FOutFilename.empty() && BaseName(FOutFilename).find('.') == std::string::npos)
        FOutFilename += DefaultExt();
}

void TUUEncode::SetArchiveFile(const std::string& Name) {
    if (Loading && !FileExists(Name)) {
        FArchiveFile.clear();
        return;
    }
    FArchiveFile = Name;
    FOutFilename = Name.empty() ? std::string() : ReplaceFileExt(Name, DefaultExt());
    SetCancel(false);
    SetArcType(atUUE);
}

std::string TUUEncode::ContentType(const std::string& FileName) {
    static const std::pair<const char*, const char*> types[] = {
        {".htm", "text/html"},   {".txt", "text/plain; Charset=US-ASCII"},
        {".gif", "image/gif"},   {".jpg", "image/jpeg"},
        {".aif", "audio/aiff"},  {".au", "audio/basic"},
        {".snd", "audio/basic"}, {".avi", "video/avi"},
        {".rtf", "text/rtf"},
    };
    const std::string ext(FileExtOf(FileName));
    for (const auto& [e, type] : types)
        if (SameTextNoCase(ext, e)) return type;
    return "application/octet-stream";
}

std::size_t TUUEncode::PutLine(TCompressMethod Method, const std::uint8_t* Data, std::size_t Count,
                               char* Out) {
    const TPairTable& pairs = PairsOf(Method);
    const char* alphabet = AlphabetOf(Method);
    const bool base64 = Method == cmBase64;
    char* out = Out;
    if (!base64) *out++ = alphabet[Count & 63];
    std::size_t i = 0;
    for (; i + 3 <= Count; i += 3, out += 4) {
        const std::uint32_t v =
            (std::uint32_t{Data[i]} << 16) | (std::uint32_t{Data[i + 1]} << 8) | Data[i + 2];
        std::memcpy(out, pairs[v >> 12].data(), 2);
        std::memcpy(out + 2, pairs[v & 0xFFF].data(), 2);
    }
    if (i < Count) {
        // The last group, filled with zero bytes; in Base64 the characters that stand only for
        // them are '='.
        const std::uint32_t v =
            (std::uint32_t{Data[i]} << 16) | (i + 1 < Count ? std::uint32_t{Data[i + 1]} << 8 : 0);
        out[0] = alphabet[v >> 18];
        out[1] = alphabet[(v >> 12) & 63];
        out[2] = base64 && i + 1 == Count ? '=' : alphabet[(v >> 6) & 63];
        out[3] = base64 ? '=' : alphabet[v & 63];
        out += 4;
    }
    return static_cast<std::size_t>(out - Out);
}

std::string TUUEncode::EncodeLine(TCompressMethod Method, const std::uint8_t* Data, std::size_t Count) {
    char line[MaxLineLength];
    return std::string(line, PutLine(Method, Data, Count, line));
}

int TUUEncode::Compress() {
    FFilesWritten = 0;
    ResetJobState();
    FActivated = false;
    bool done = false;
    RunJob(
        [&] {
            if (FOutFilename.empty()) Fail(ArchiveFile(), "OutFile", ecInvalidFileName);
            if (Switch == swDelete) Fail(ArchiveFile(), "", ecInvalidArchiveType);
            if (SameFileOnDisk(ArchiveFile(), FOutFilename))
                Fail(FOutFilename, "", ecSameInputAndOutputFileNames);
            struct stat st {};
            if (::lstat(FOutFilename.c_str(), &st) == 0) {
                if (OverwriteMode == omSkip) {
                    if (!OnFileExists) {
                        ReportError(FOutFilename, "OnFileExists", "0", ecRequiredEventNotAssigned);
                        return;
                    }
                    OnFileExists(*this, FOutFilename, UnixDateToDateTime(st.st_mtime), OverwriteMode);
                }
                if (OverwriteMode == omSkip) return;
                if (!CheckArchiveWriteable(FOutFilename)) return;
            }
            FActivated = true;
            if (OnActivate) OnActivate(*this);
            Timer.Start();
            std::string name = ArchiveFile();
            bool proceed = true;
            if (OnBegin) OnBegin(*this, name, 1, proceed);
            FileName = ArchiveFile();
            if (!proceed) return;
            Encode();
            done = true;
            if (OnEnd) OnEnd(*this, FileName, true);
            Timer.Stop();
            if (OnElapsedTime) OnElapsedTime(*this, Timer.Elapsed());
        },
        [&] {
            if (Timer.Running()) Timer.Stop();
            if (!done && FActivated && OnEnd && !FileName.empty()) OnEnd(*this, FileName, false);
            if (std::exchange(FActivated, false) && OnDeactivate) OnDeactivate(*this);
        });
    return done ? 1 : 0;
}

void TUUEncode::Encode() {
    const TCompressMethod method = CompressMethod();
    std::unique_ptr<TFileStream32> handle;
    if (!OpenArchiveRead(handle, ArchiveFile())) Fail(ArchiveFile(), "", ecErrorOpeningFile);
    TFileStream32& input = *handle;
    struct stat in {};
    ::fstat(input.Handle, &in);
    const std::int64_t size = ArchiveSize;
    JobTotal = static_cast<double>(size);
    BytesToDo = JobTotal;
    CurrentFileSize = size;
    const std::string inputName = BaseName(ArchiveFile());
    const std::string banner = method == cmXXEncode ? "XXEncode "
                               : method == cmBase64 ? "B64Encode"
                                                    : "UUEncode ";

    std::vector<std::unique_ptr<TTempFileStream>> volumes;
    std::string pending;
    pending.reserve(FlushSize + MaxLineLength + 2);
    const auto flush = [&] {
        volumes.back()->WriteBuffer(pending.data(), static_cast<std::int64_t>(pending.size()));
        pending.clear();
    };
    const auto line = [&](const std::string& Text) {
        pending += Text;
        pending += "\r\n";
        if (pending.size() >= FlushSize) flush();
    };
    std::vector<std::string> names;
    const auto open = [&](const std::string& Name) {
        if (SameFileOnDisk(ArchiveFile(), Name)) Fail(Name, "", ecSameInputAndOutputFileNames);
        // A name the naming rule gives twice (an extension ending in digits) would put one
        // volume over another.
        if (std::find(names.begin(), names.end(), Name) != names.end()) Fail(Name, "", ecInvalidFileName);
        names.push_back(Name);
        volumes.push_back(CreateTempStream(Name));
        if (volumes.back()->Status() != fsOpenOk) Fail(Name, "", ecErrorOpeningFile);
    };

    open(FOutFilename);
    line(banner + " " + EngineVersion() + " (Quillar - " + ProductAddress + ")");
    line("");
    if (WriteTableToFile) {
        const std::string alphabet = AlphabetOf(method);
        line("table");
        line(alphabet.substr(0, 32));
        line(alphabet.substr(32));
    }
    if (method == cmBase64) {
        line("Content-Type: " + ContentType(inputName) + "; name=\"" + inputName + "\";");
        line("Content-Transfer-Encoding: base64");
        line("Content-Disposition: attachment; filename=\"" + inputName + "\"");
        line("");
    } else {
        line("begin " + ModeText(in.st_mode) + " " + inputName);
    }

    const std::int64_t limit = static_cast<std::int64_t>(KBytesPerVolume) * 16;
    const std::size_t perLine = BytesPerLine(method);
    // The lines the volume now begun may hold: the limit, less what the last volume needs to
    // have at least MinPartLines (decoders do not take a shorter part for encoded data).
    const auto volumeLimit = [&](std::int64_t Done) {
        const std::int64_t left =
            (size - Done + static_cast<std::int64_t>(perLine) - 1) / static_cast<std::int64_t>(perLine) +
            (method == cmBase64 ? 0 : 1);
        return left > limit && left - limit < MinPartLines ? left - MinPartLines : limit;
    };
    std::int64_t lineLimit = volumeLimit(0);
    // The input is read in blocks of whole lines.
    std::vector<std::uint8_t> block(perLine * 2048);
    std::int64_t lines = 0, total = 0;
    int part = 0;
    std::size_t have = 0, used = 0;
    bool inputEnded = false;
    for (;;) {
        if (used == have && !inputEnded) {
            CheckCancel();
            have = 0;
            used = 0;
            for (std::int64_t r;
                 have < block.size() &&
                 (r = input.Read(block.data() + have, static_cast<std::int64_t>(block.size() - have))) > 0;)
                have += static_cast<std::size_t>(r);
            inputEnded = have < block.size();
            DoProgress(total, size, JobTotal);
            EngineHost::PumpIfDue();
        }
        if (limit > 0 && lines >= lineLimit && total < size) {
            // The next volume goes on with the data lines alone, so that the volumes joined
            // end to end are one whole text for any decoder.
            flush();
            std::string next;
            if (!GetVolumeFileName(FOutFilename, ++part, VolumeNameMode ? 1 : 0, next, !VolumeLongNames))
                Fail(FOutFilename, "", ecInvalidFileName);
            open(next);
            lines = 0;
            lineLimit = volumeLimit(total);
        }
        const std::size_t n = std::min(perLine, have - used);
        // The last line of a text whose size is a multiple of a line: UU and XX end with the line
        // of no bytes; Base64 has none.
        if (n > 0 || method != cmBase64) {
            char text[MaxLineLength + 2];
            std::size_t length = PutLine(method, block.data() + used, n, text);
            text[length++] = '\r';
            text[length++] = '\n';
            pending.append(text, length);
            if (pending.size() >= FlushSize) flush();
        }
        ++lines;
        if (n == 0) break;
        used += n;
        total += static_cast<std::int64_t>(n);
        BytesToDo -= static_cast<double>(n);
    }
    if (method == cmBase64) {
        // The MIME part ends with its body: a trailer would be read as more Base64 data.
        line("");
    } else {
        line("end");
        line(std::to_string(total) + " bytes");
        if (volumes.size() > 1) line("encoded into " + std::to_string(volumes.size()) + " file(s)");
    }
    flush();
    DoProgress(total, size, JobTotal);
    CheckCancel();
    // Every volume is put in place only now that the whole file is encoded.
    for (auto& v : volumes) {
        if (DateAttribute == daFileDate) {
            const timespec times[2] = {in.st_atim, in.st_mtim};
            ::futimens(v->Handle, times);
        }
        v->Commit();
    }
    FFilesWritten = static_cast<int>(volumes.size());
}
