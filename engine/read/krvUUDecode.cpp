#include "engine/read/krvUUDecode.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "engine/core/krvUURecords.h"
#include "platform/FileAttributes.h"

#include <vector>

// The text lines of one volume, read through the reader's read routine in blocks; line ends
// (LF, with or without CR) are dropped, and a line keeps at most MaxLine characters.
class TUULineReader {
public:
    static constexpr std::size_t MaxLine = 1024;

    TUULineReader(TUUDecode& Owner, TStream32& Stream) : FOwner(Owner), FStream(Stream), FBuffer(32768) {}

    // The next line; false at the end of the volume.
    bool Next(std::string& Line, const TReadRoutine& Read) {
        Line.clear();
        bool any = false;
        for (;;) {
            if (FPos == FFill) {
                FFill = Read(FStream, FBuffer.data(), std::ssize(FBuffer), 0, false);
                FPos = 0;
                if (FFill <= 0) {
                    FFill = 0;
                    return any;
                }
                FRead += FFill;
                FOwner.BytesToDo -= static_cast<double>(FFill);
                FOwner.DoProgress(FRead, FOwner.ArchiveSize, FOwner.JobTotal);
            }
            any = true;
            const char c = static_cast<char>(FBuffer[static_cast<std::size_t>(FPos++)]);
            if (c == '\n') return true;
            if (c != '\r' && Line.size() < MaxLine) Line += c;
        }
    }

private:
    TUUDecode& FOwner;
    TStream32& FStream;
    std::vector<std::uint8_t> FBuffer;
    std::int64_t FPos = 0;
    std::int64_t FFill = 0;
    std::int64_t FRead = 0;
};

namespace {

constexpr std::size_t OutputChunk = 32768;

} // namespace

TUUDecode::TUUDecode() = default;

TUUDecode::~TUUDecode() = default;

int TUUDecode::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    if (!ArchiveStream) return 0;
    FFirstVolume = ArchiveFile();
    FPending.clear();
    FAlphabet.reset();
    JobTotal = static_cast<double>(ArchiveSize);
    BytesToDo = JobTotal;
    auto lines = std::make_unique<TUULineReader>(*this, *ArchiveStream);

    // The header: the "begin" line, and the alphabet when the text gives one.
    std::string line;
    std::string name;
    for (int n = 0; n < MaxHeaderLines && name.empty() && lines->Next(line, ReadRoutine); ++n) {
        name = UUBeginLineName(line);
        if (line.starts_with("table")) {
            std::string first;
            std::string second;
            if (lines->Next(first, ReadRoutine) && lines->Next(second, ReadRoutine) && first.size() >= 32 &&
                second.size() >= 32)
                FAlphabet = TUUAlphabet::Custom(first.substr(0, 32) + second.substr(0, 32));
            n += 2;
        } else if (line.starts_with("charmap") && line.size() >= 8) {
            FAlphabet = TUUAlphabet::Custom(std::string_view(line).substr(8));
        }
    }
    if (name.empty() || GetCancel()) return 0;

    // The alphabet: from the text's table, else by the first data line.
    std::string first;
    lines->Next(first, ReadRoutine);
    if (!FAlphabet) FAlphabet = AlphabetOfFirstLine(first);
    const std::string local = ArcNameToLocalName(name, false);
    SetCurrentEntry(local, 0, ArchiveSize, ArchiveSize, 0, false);
    if (!FAlphabet) {
        RefuseEntry(ecUnsupportedCompressionMethod, ArchiveSize, 32, 0);
        return 0;
    }
    if (!ConfirmExtractFile(false)) {
        SkipEntry(ArchiveSize);
        return 0;
    }
    if (!OpenOutputFile(local, FileName, false)) {
        RefuseEntry(0, ArchiveSize, 32, 0);
        return 0;
    }
    const bool ended = DecodeLines(ArchiveStream, lines, first);
    if (!ended && !GetCancel() && !EntryFailed()) {
        // The data so far are not the file: it is not put in place.
        ReportError(FileName, "", "0", ecEOLNotFound);
        MarkEntryFailed();
    }
    FlushOutput();
    CloseOutputFile(faArchive, ArchiveDate);
    // The text keeps no checksum: the verdict is whether the file was decoded whole.
    RunningCrc32 = 0;
    CheckCrc(32, 0);
    return 0;
}

bool TUUDecode::DecodeLines(std::unique_ptr<TFileStream32>& Stream, std::unique_ptr<TUULineReader>& Lines,
                            std::string Line) {
    std::string bytes;
    bool have = true;
    int lastCount = -1; // bytes of the last data line
    for (int opened = 1;; ++opened) {
        // The data of a volume go on until a line that is not a whole data line (mail text
        // after them, or damage); after it only "end" matters in this volume.
        bool stopped = false;
        while ((have || Lines->Next(Line, ReadRoutine)) && !GetCancel()) {
            have = false;
            if (IsUUEndLine(Line)) {
                // The last data line before "end" is a short one (or the empty line): a full
                // one followed by something else means lines are missing or damaged.
                if (stopped && lastCount >= TUUAlphabet::FullLineBytes) {
                    ReportError(FileName, "", "0", ecUnexpectedEndOfLine);
                    MarkEntryFailed();
                }
                return true;
            }
            if (stopped || Line.empty()) continue;
            if (DecodeUULine(*FAlphabet, Line, bytes) != TUULine::Data) {
                stopped = true;
                continue;
            }
            lastCount = static_cast<int>(bytes.size());
            PutBytes(bytes);
        }
        if (GetCancel() || !OpenNextVolume(Stream, opened)) return false;
        Lines = std::make_unique<TUULineReader>(*this, *Stream);
        // The next volume's data follow its own "begin" line, or start with the first line
        // that is a whole data line.
        while (Lines->Next(Line, ReadRoutine)) {
            if (IsUUEndLine(Line)) return true;
            if (Line.starts_with("begin ")) break;
            const int count = FAlphabet->Value(Line.empty() ? '\0' : Line[0]);
            if (count >= 0 && Line.size() == TUUAlphabet::LineLength(count) &&
                DecodeUULine(*FAlphabet, Line, bytes) == TUULine::Data) {
                have = true;
                break;
            }
        }
    }
}

bool TUUDecode::OpenNextVolume(std::unique_ptr<TFileStream32>& Stream, int Opened) {
    const int number = FVolumeStartNum + Opened;
    std::string name;
    if (!GetVolumeFileName(FFirstVolume, number, NextVolumeName == nvChangeExt ? 1 : 0, name,
                           !VolumeLongFilenames) ||
        name == FFirstVolume)
        return false;
    if (OnNextVolume) {
        if (!GetNextVolume(name, std::to_string(number))) return false;
    } else if (!FileExists(name)) {
        return false;
    }
    std::uint8_t status = fsOpenOk;
    auto next = std::make_unique<TFileStream32>(name, fmOpenRead | fmShareDenyNone, status);
    if (status != fsOpenOk) {
        ReportError(name, "", "0", ecErrorOpeningFile);
        return false;
    }
    Stream = std::move(next);
    return true;
}

void TUUDecode::PutBytes(const std::string& Bytes) {
    FPending += Bytes;
    if (FPending.size() >= OutputChunk) FlushOutput();
}

void TUUDecode::FlushOutput() {
    if (FPending.empty()) return;
    WriteRoutine(OutputStream(), FPending.data(), std::ssize(FPending), true, 0, false);
    EntryBytesDone += std::ssize(FPending);
    FPending.clear();
}
