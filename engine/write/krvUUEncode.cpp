#include "engine/write/krvUUEncode.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"

#include <algorithm>
#include <array>
#include <sys/stat.h>

namespace {

constexpr char UUAlphabet[] = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
constexpr char XXAlphabet[] = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr char B64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char ProductBanner[] = "Quillar - https://quillar.org";
// Output is collected and written in blocks of about this size.
constexpr std::size_t FlushSize = 64 * 1024;

const char* AlphabetOf(TCompressMethod Method) {
    return Method == cmXXEncode ? XXAlphabet : Method == cmBase64 ? B64Alphabet : UUAlphabet;
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

std::string TUUEncode::EncodeLine(TCompressMethod Method, const std::uint8_t* Data, std::size_t Count) {
    const char* alphabet = AlphabetOf(Method);
    std::string line;
    if (Method != cmBase64) line += alphabet[Count & 63];
    for (std::size_t i = 0; i < Count; i += 3) {
        const std::uint8_t b0 = Data[i];
        const std::uint8_t b1 = i + 1 < Count ? Data[i + 1] : 0;
        const std::uint8_t b2 = i + 2 < Count ? Data[i + 2] : 0;
        line += alphabet[b0 >> 2];
        line += alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        line += alphabet[((b1 & 15) << 2) | (b2 >> 6)];
        line += alphabet[b2 & 63];
        if (Method == cmBase64 && i + 3 > Count) {
            // The characters that stand only for the bytes added to fill the last group.
            line[line.size() - 1] = '=';
            if (i + 1 == Count) line[line.size() - 2] = '=';
        }
    }
    return line;
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
    std::uint8_t status = fsOpenOk;
    TFileStream32 input(ArchiveFile(), fmOpenRead | fmShareDenyNone, status);
    if (status != fsOpenOk) Fail(ArchiveFile(), "", ecErrorOpeningFile);
    struct stat in {};
    ::fstat(input.Handle, &in);
    const std::int64_t size = input.Size();
    JobTotal = static_cast<double>(size);
    BytesToDo = JobTotal;
    CurrentFileSize = size;
    const std::string inputName = BaseName(ArchiveFile());
    const std::string banner = method == cmXXEncode ? "XXEncode "
                               : method == cmBase64 ? "B64Encode"
                                                    : "UUEncode ";

    std::vector<std::unique_ptr<TTempFileStream>> volumes;
    std::string pending;
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
    line(banner + " " + EngineVersion() + " (" + ProductBanner + ")");
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
        line("begin 644 " + inputName);
    }

    const std::int64_t limit = static_cast<std::int64_t>(KBytesPerVolume) * 16;
    const std::size_t perLine = BytesPerLine(method);
    std::array<std::uint8_t, 57> data{};
    std::int64_t lines = 0, total = 0;
    int part = 0;
    for (;;) {
        CheckCancel();
        if (limit > 0 && lines >= limit && total < size) {
            flush();
            std::string next;
            if (!GetVolumeFileName(FOutFilename, ++part, VolumeNameMode ? 1 : 0, next, !VolumeLongNames))
                Fail(FOutFilename, "", ecInvalidFileName);
            open(next);
            line("part " + std::to_string(part));
            line("begin 644 " + inputName);
            lines = 3;
        }
        std::int64_t n = 0;
        for (std::int64_t r; n < static_cast<std::int64_t>(perLine) &&
                             (r = input.Read(data.data() + n, static_cast<std::int64_t>(perLine) - n)) > 0;)
            n += r;
        line(EncodeLine(method, data.data(), static_cast<std::size_t>(n)));
        ++lines;
        if (n == 0) break;
        total += n;
        BytesToDo -= static_cast<double>(n);
        if ((lines & 1023) == 0) {
            DoProgress(total, size, JobTotal);
            EngineHost::PumpIfDue();
        }
    }
    line("end");
    line(std::to_string(total) + " bytes");
    if (volumes.size() > 1) line("encoded into " + std::to_string(volumes.size()) + " file(s)");
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
