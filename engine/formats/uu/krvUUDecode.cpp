#include "engine/formats/uu/krvUUDecode.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/core/krvGbls.h"
#include "platform/FileAttributes.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

// The text lines of one volume, read through the reader's read routine in blocks; line ends
// (LF, with or without CR) are dropped, and a line keeps at most MaxLine characters.
class TUULineReader {
public:
    static constexpr std::size_t MaxLine = 1024;

    TUULineReader(TUUDecode& Owner, TStream32& Stream)
        : FOwner(Owner), FStream(Stream), FBuffer(256 * 1024) {}

    // The next line, valid until the next call; false at the end of the volume.
    bool Next(std::string_view& Line, const TReadRoutine& Read) {
        const bool got = NextLine(Line, Read);
        FLine += got ? 1 : 0;
        return got;
    }
    // The same, kept in Line.
    bool Next(std::string& Line, const TReadRoutine& Read) {
        std::string_view view;
        const bool got = Next(view, Read);
        Line.assign(view);
        return got;
    }
    // The number of the last line read in this volume (from 1).
    std::int64_t LineNumber() const { return FLine; }

private:
    bool NextLine(std::string_view& Line, const TReadRoutine& Read) {
        FCarry.clear();
        bool any = false;
        for (;;) {
            if (FPos == FFill) {
                FFill = Read(FStream, FBuffer.data(), std::ssize(FBuffer), 0, false);
                FPos = 0;
                if (FFill <= 0) {
                    FFill = 0;
                    Line = FCarry;
                    return any;
                }
                FRead += FFill;
                FOwner.BytesToDo -= static_cast<double>(FFill);
                FOwner.DoProgress(FRead, FOwner.ArchiveSize, FOwner.JobTotal);
            }
            any = true;
            const char* start = reinterpret_cast<const char*>(FBuffer.data()) + FPos;
            const std::size_t left = static_cast<std::size_t>(FFill - FPos);
            const char* lf = static_cast<const char*>(std::memchr(start, '\n', left));
            const std::size_t n = lf ? static_cast<std::size_t>(lf - start) : left;
            FPos += static_cast<std::int64_t>(n);
            if (lf && FCarry.empty()) {
                // The whole line lies in the buffer: no copy.
                ++FPos;
                Line = std::string_view(start, std::min(n, MaxLine));
                if (Line.ends_with('\r')) Line.remove_suffix(1);
                return true;
            }
            // A line across two blocks is put together.
            if (FCarry.size() < MaxLine) FCarry.append(start, std::min(n, MaxLine - FCarry.size()));
            if (lf) {
                ++FPos;
                Line = FCarry;
                if (Line.ends_with('\r')) Line.remove_suffix(1);
                return true;
            }
        }
    }
    TUUDecode& FOwner;
    TStream32& FStream;
    std::vector<std::uint8_t> FBuffer;
    std::int64_t FPos = 0;
    std::int64_t FFill = 0;
    std::int64_t FRead = 0;
    std::string FCarry;
    std::int64_t FLine = 0;
};

namespace {

constexpr std::size_t OutputChunk = 256 * 1024;

constexpr std::size_t FullLength = 1 + 4 * TUUAlphabet::FullLineBytes / 3;

bool HasFullLength(std::string_view Line) {
    // Some encoders add a check character or two.
    return Line.size() >= FullLength && Line.size() <= FullLength + 2;
}

// A data line of 45 bytes, whole.
bool IsFullLine(const TUUAlphabet& A, std::string_view Line) {
    return !Line.empty() && Line[0] == A.FullLine() && HasFullLength(Line);
}

// A line that stands where a full data line should: its count character or its length is a
// full line's. Such a line that does not decode is damage, never a separator between parts.
bool TakesAFullLinesPlace(const TUUAlphabet& A, std::string_view Line) {
    return !Line.empty() && (Line[0] == A.FullLine() || HasFullLength(Line));
}

} // namespace

TUUDecode::TUUDecode() = default;

TUUDecode::~TUUDecode() = default;

int TUUDecode::DoExtract(std::unique_ptr<TFileStream32>& ArchiveStream) {
    if (!ArchiveStream) return 0;
    FFirstVolume = ArchiveFile();
    FVolumesOpened = 1;
    FPending.clear();
    FTable.reset();
    JobTotal = static_cast<double>(ArchiveSize);
    BytesToDo = JobTotal;
    auto lines = std::make_unique<TUULineReader>(*this, *ArchiveStream);
    HostSystem = 3;

    // The first file's "begin" line is looked for near the start; after each file's "end",
    // the text is searched to its end for the next one.
    TUUBegin begin;
    bool found = FindBegin(*lines, MaxHeaderLines, begin);
    if (!found && !GetCancel() && FilesFailed == 0) {
        // Text with no file in it is no archive this reader can pass.
        ReportError(ArchiveFile(), FDamagedBegin.empty() ? NoBeginText(MaxHeaderLines) : FDamagedBegin, "0",
                    ecBadFileHeader);
        ++FilesFailed;
        // A damaged first "begin" line loses its own file only: the files after it are found.
        if (!FDamagedBegin.empty()) found = FindBegin(*lines, 0, begin);
    }
    while (found && !GetCancel() && ExtractFile(ArchiveStream, lines, begin)) {
        if (FNextBegin) {
            // The file before it lost its "end" line: this one begins at once.
            begin = *std::exchange(FNextBegin, std::nullopt);
            continue;
        }
        found = FindBegin(*lines, 0, begin);
    }
    return 0;
}

bool TUUDecode::FindBegin(TUULineReader& Lines, int MaxLines, TUUBegin& Begin) {
    std::string line;
    FDamagedBegin.clear();
    for (int n = 0; (MaxLines == 0 || n < MaxLines) && !GetCancel() && Lines.Next(line, ReadRoutine); ++n) {
        if (ParseUUBeginLine(line, Begin)) return true;
        const std::string where = "line " + std::to_string(Lines.LineNumber());
        if (line.starts_with("begin") && FDamagedBegin.empty())
            FDamagedBegin = where + " is a damaged \"begin\" line";
        // A "begin" line with a mode that does not read, or after a file data with no "begin"
        // line before them, is a file lost: it fails, and the search goes on after it.
        const bool damagedBegin =
            line.starts_with("begin ") && line.size() > 6 && line[6] >= '0' && line[6] <= '9';
        std::string probe;
        const bool lostData = MaxLines == 0 && FAlphabet && IsFullLine(*FAlphabet, line) &&
                              DecodeUULine(*FAlphabet, line, probe) == TUULine::Data;
        if (damagedBegin || lostData) {
            ReportError(ArchiveFile(),
                        damagedBegin ? FDamagedBegin : where + ": data without a \"begin\" line", "0",
                        ecBadFileHeader);
            ++FilesFailed;
            if (SkipToEnd(Lines) && FNextBegin) {
                Begin = *std::exchange(FNextBegin, std::nullopt);
                return true;
            }
            FDamagedBegin.clear();
            continue;
        }
        if (line.starts_with("table")) {
            std::string first;
            std::string second;
            if (Lines.Next(first, ReadRoutine) && Lines.Next(second, ReadRoutine) && first.size() >= 32 &&
                second.size() >= 32)
                FTable = TUUAlphabet::Custom(first.substr(0, 32) + second.substr(0, 32));
            n += 2;
        } else if (line.starts_with("charmap") && line.size() >= 8) {
            FTable = TUUAlphabet::Custom(std::string_view(line).substr(8));
        }
    }
    return false;
}

bool TUUDecode::ExtractFile(std::unique_ptr<TFileStream32>& Stream, std::unique_ptr<TUULineReader>& Lines,
                            const TUUBegin& Begin) {
    // The alphabet: from the text's table, else by the first data line.
    std::string first;
    Lines->Next(first, ReadRoutine);
    FAlphabet = FTable ? FTable : AlphabetOfFirstLine(first);
    const std::string local = ArcNameToLocalName(Begin.Name, false);
    SetCurrentEntry(local, 0, ArchiveSize, ArchiveSize, 0, false);
    HostSystem = 3;
    if (!FAlphabet) {
        RefuseEntry(ecUnsupportedCompressionMethod, 0, 32, 0);
        return SkipToEnd(*Lines);
    }
    if (const std::string_view name = Begin.Name; name.size() > FullLength) {
        // A name that ends in a whole data line: the "begin" line ran into the first one.
        std::string probe;
        const std::string_view tail = name.substr(name.size() - FullLength);
        if (IsFullLine(*FAlphabet, tail) && DecodeUULine(*FAlphabet, tail, probe) == TUULine::Data) {
            ReportError(FileName, "the \"begin\" line runs into the first data line", "0", ecBadFileHeader);
            RefuseEntry(0, 0, 32, 0);
            return SkipToEnd(*Lines);
        }
    }
    if (!ConfirmExtractFile(false)) {
        SkipEntry(0);
        return SkipToEnd(*Lines);
    }
    if (!OpenOutputFile(local, FileName, false)) {
        RefuseEntry(0, 0, 32, 0);
        return SkipToEnd(*Lines);
    }
    const bool ended = DecodeLines(Stream, Lines, first);
    if (!ended && !GetCancel() && !EntryFailed()) {
        // The data so far are not the file: it is not put in place.
        ReportError(FileName,
                    FNextBegin ? "line " + std::to_string(Lines->LineNumber()) +
                                     ": the next file begins before its \"end\" line"
                               : std::string("the text ends without its \"end\" line"),
                    "0", ecEOLNotFound);
        MarkEntryFailed();
    }
    FlushOutput();
    CloseOutputFile(UnixModeAttr(Begin.Mode), ArchiveDate);
    // The text keeps no checksum: the verdict is whether the file was decoded whole.
    RunningCrc32 = 0;
    CheckCrc(32, 0);
    return ended || FNextBegin.has_value();
}

bool TUUDecode::SkipToEnd(TUULineReader& Lines) {
    std::string line;
    while (!GetCancel() && Lines.Next(line, ReadRoutine)) {
        if (IsUUEndLine(line)) return true;
        if (TUUBegin next; ParseUUBeginLine(line, next)) {
            FNextBegin = next;
            return true;
        }
    }
    return false;
}

bool TUUDecode::DecodeLines(std::unique_ptr<TFileStream32>& Stream, std::unique_ptr<TUULineReader>& Lines,
                            const std::string& First) {
    std::string_view line = First;
    bool have = true;
    int lastCount = -1; // bytes of the last data line
    for (;;) {
        // The data of a volume go on until a line that is not a whole data line: mail text
        // after them, a part separator, or damage. After a full line, a separator of lines that
        // are no data lines at all may lead to the next part: decoding goes on at its first
        // full line. A line that looks like a data line but does not decode is damage.
        bool stopped = false;
        bool damaged = false;
        while ((have || Lines->Next(line, ReadRoutine)) && !GetCancel()) {
            have = false;
            if (TUUBegin next; stopped && ParseUUBeginLine(line, next)) {
                // The next file begins: this one's "end" line is lost.
                FNextBegin = next;
                return false;
            }
            if (IsUUEndLine(line)) {
                // The last data line before "end" is a short one (or the empty line): a full
                // one followed by something else, or a damaged one, means lines are missing
                // or damaged.
                if (stopped && (damaged || lastCount >= TUUAlphabet::FullLineBytes)) {
                    ReportError(FileName, "", "0", ecUnexpectedEndOfLine);
                    MarkEntryFailed();
                }
                return true;
            }
            if (line.empty()) continue;
            if (stopped) {
                if (damaged) continue;
                if (lastCount != TUUAlphabet::FullLineBytes) {
                    // Data after the file's last (short) line: its "end" line is damaged.
                    std::string probe;
                    damaged = IsFullLine(*FAlphabet, line) &&
                              DecodeUULine(*FAlphabet, line, probe) == TUULine::Data;
                    continue;
                }
                const bool full = IsFullLine(*FAlphabet, line);
                const std::size_t before = FPending.size();
                if (full && DecodeUULine(*FAlphabet, line, FPending) == TUULine::Data) {
                    stopped = false;
                } else {
                    FPending.resize(before);
                    damaged = TakesAFullLinesPlace(*FAlphabet, line);
                    continue;
                }
            } else {
                const std::size_t before = FPending.size();
                if (DecodeUULine(*FAlphabet, line, FPending) != TUULine::Data) {
                    FPending.resize(before);
                    stopped = true;
                    damaged = TakesAFullLinesPlace(*FAlphabet, line);
                    continue;
                }
                lastCount = static_cast<int>(FPending.size() - before);
            }
            if (FPending.size() >= OutputChunk) FlushOutput();
        }
        // A part of a file split over volumes ends with a whole full line: text that ends after
        // a short or damaged one is the file's last part, whose "end" line is lost.
        if (GetCancel() || damaged || lastCount != TUUAlphabet::FullLineBytes ||
            !OpenNextVolume(Stream, FVolumesOpened++))
            return false;
        Lines = std::make_unique<TUULineReader>(*this, *Stream);
        // The next volume's data follow its "begin" line (older volumes repeat it), or start
        // with the first line that is a whole data line.
        while (Lines->Next(line, ReadRoutine)) {
            if (IsUUEndLine(line)) return true;
            if (line.starts_with("begin ")) break;
            const int count = FAlphabet->Value(line.empty() ? '\0' : line[0]);
            std::string probe;
            if (count >= 0 && line.size() == TUUAlphabet::LineLength(count) &&
                DecodeUULine(*FAlphabet, line, probe) == TUULine::Data) {
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

void TUUDecode::FlushOutput() {
    if (FPending.empty()) return;
    WriteRoutine(OutputStream(), FPending.data(), std::ssize(FPending), true, 0, false);
    EntryBytesDone += std::ssize(FPending);
    FPending.clear();
}
