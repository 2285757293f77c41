#include "platform/CabinetRecords.h"

#include "platform/CabinetFdi.h"
#include "platform/CabinetLayout.h"

#include <algorithm>
#include <climits>
#include <set>
#include <span>

using namespace cabinet_layout;

namespace {

constexpr int FolderRecordSize = 8;
constexpr int FileRecordSize = 16;
constexpr int DataHeaderSize = 8;
constexpr std::int64_t MaxName = 256; // with its NUL

class TRecordReader {
public:
    TRecordReader(TFdiFiles& Files, std::intptr_t Handle) : FFiles(Files), FHandle(Handle) {
        Size = std::max<std::int64_t>(FFiles.Seek(FHandle, 0, 2), 0);
    }
    bool Bytes(std::int64_t At, void* Out, std::int64_t Count) {
        return At >= 0 && At + Count <= Size && FFiles.Seek(FHandle, At, 0) == At &&
               FFiles.Read(FHandle, Out, Count) == Count;
    }
    // A NUL-terminated text at At; Next is where it ends.
    bool Text(std::int64_t At, std::string& Out, std::int64_t& Next) {
        // Most names are short: a first small read, the rest only when no NUL is in it.
        constexpr std::int64_t FirstRead = 48;
        char buffer[MaxName];
        const std::int64_t count = std::min(MaxName, Size - At);
        const std::int64_t first = std::min(FirstRead, count);
        if (first <= 0 || !Bytes(At, buffer, first)) return false;
        const char* nul = std::find(buffer, buffer + first, '\0');
        if (nul == buffer + first && count > first) {
            if (!Bytes(At + first, buffer + first, count - first)) return false;
            nul = std::find(buffer + first, buffer + count, '\0');
        }
        if (nul == buffer + count) return false;
        Out.assign(buffer, static_cast<std::size_t>(nul - buffer));
        Next = At + (nul - buffer) + 1;
        return true;
    }
    std::int64_t Size = 0;

private:
    TFdiFiles& FFiles;
    std::intptr_t FHandle;
};

std::string Range(const TCabRecords::TFile& File) {
    return "bytes " + std::to_string(File.Offset) + " to " + std::to_string(File.Offset + File.Length) +
           " of folder " + std::to_string(File.Folder + 1);
}

// A file marked continued in a cabinet that continues nothing is the library's first or last
// folder's.
std::size_t FolderOf(const TCabRecords& R, const TCabRecords::TFile& F) {
    if (F.ContinuedFromPrev()) return 0;
    return F.Continued() ? R.Folders.size() - 1 : F.Folder;
}

// Buffers of the folder check, kept from one folder to the next: a cabinet may hold a folder
// per file.
struct TCheckScratch {
    std::vector<std::pair<std::size_t, std::size_t>> Groups; // [first, last) of files of one range
    std::vector<char> Bad;
    std::vector<std::string> Why;
};

// Blames the files of one folder whose ranges cannot be right (see the header). A file of a
// folder not in the cabinet (a stray) may fill a gap.
void CheckFolder(const TCabRecords::TFolder& folder, std::span<TCabRecords::TFile*> files,
                 const std::set<std::pair<std::int64_t, std::int64_t>>& strays, bool RecordsMissing,
                 TCheckScratch& S) {
    // Where a folder runs on from or into another cabinet, its files' offsets reach across.
    if (folder.Spans || files.empty()) return;
    const auto end = [](const TCabRecords::TFile* F) { return F->Offset + F->Length; };
    const auto strayFills = [&](std::int64_t From, std::int64_t To) { return strays.count({From, To}) > 0; };
    if (files.size() > 1)
        std::stable_sort(files.begin(), files.end(), [&](const auto* A, const auto* B) {
            return A->Offset != B->Offset ? A->Offset < B->Offset : end(A) < end(B);
        });
    // Files of the same range (the same data twice) stand as one.
    S.Groups.clear();
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!S.Groups.empty() && files[S.Groups.back().first]->Offset == files[i]->Offset &&
            end(files[S.Groups.back().first]) == end(files[i]))
            S.Groups.back().second = i + 1;
        else
            S.Groups.push_back({i, i + 1});
    const std::size_t n = S.Groups.size();
    const auto first = [&](std::size_t G) { return files[S.Groups[G].first]; };
    // Boundary i lies before group i; boundary n after the last, at the folder's end when the
    // folder's size is known.
    S.Bad.assign(n + 1, 0);
    S.Why.assign(n, std::string());
    std::vector<char>& bad = S.Bad;
    std::vector<std::string>& why = S.Why;
    const auto gap = [&](std::int64_t From, std::int64_t To) { return From != To && !strayFills(From, To); };
    bad[0] = gap(0, first(0)->Offset);
    for (std::size_t i = 1; i < n; ++i)
        bad[i] = gap(end(first(i - 1)), first(i)->Offset);
    const std::int64_t last = end(first(n - 1));
    bad[n] = folder.Whole && (last > folder.Size || (gap(last, folder.Size) && !RecordsMissing));
    for (std::size_t i = 0; i < n; ++i)
        if (bad[i] && bad[i + 1]) why[i] = ": its offset fits neither the file before it nor the one after";
    for (std::size_t i = 0; i <= n; ++i) {
        if (!bad[i] || (i < n && !why[i].empty()) || (i > 0 && !why[i - 1].empty())) continue;
        if (i == 0)
            why[0] = ": the folder's data begin at 0";
        else if (i == n)
            why[n - 1] = last > folder.Size
                             ? ": past the folder's data, which end at " + std::to_string(folder.Size)
                             : ": the folder's data go on to " + std::to_string(folder.Size);
        else
            why[i - 1] = end(first(i - 1)) > first(i)->Offset
                             ? ": they overlap the next file's, from " + std::to_string(first(i)->Offset)
                             : ": the next file's begin only at " + std::to_string(first(i)->Offset);
    }
    for (std::size_t i = 0; i < n; ++i)
        if (!why[i].empty())
            for (std::size_t f = S.Groups[i].first; f < S.Groups[i].second; ++f)
                files[f]->Fault = Range(*files[f]) + why[i];
}

} // namespace

TCabRecords ReadCabRecords(TFdiFiles& Files, std::intptr_t Handle) {
    TCabRecords r;
    TRecordReader in(Files, Handle);
    std::uint8_t h[CabHeaderSize];
    if (!in.Bytes(0, h, CabHeaderSize) || U32(h) != CabSignature) return r;
    r.Read = true;
    r.Flags = U16(h + 30);
    r.SetID = U16(h + 32);
    r.Index = U16(h + 34);
    r.VersionMinor = h[24];
    r.VersionMajor = h[25];
    const std::int64_t cabinetSize = U32(h + 8);
    const std::int64_t filesAt = U32(h + 16);
    const std::size_t folders = U16(h + 26), files = U16(h + 28);
    if (cabinetSize > in.Size)
        r.Faults.push_back("it is cut short: its header gives " + std::to_string(cabinetSize) + " bytes, " +
                           std::to_string(in.Size) + " are there");
    std::int64_t at = CabHeaderSize;
    int folderReserve = 0, dataReserve = 0;
    if (r.Flags & CabHasReserve) {
        std::uint8_t res[4];
        if (!in.Bytes(at, res, 4)) {
            r.Faults.push_back("its reserved fields are cut short");
            return r;
        }
        folderReserve = res[2];
        dataReserve = res[3];
        at += 4 + U16(res);
    }
    r.FolderReserve = folderReserve;
    // As many records as the counts give, where the file can hold them.
    r.Folders.reserve(std::min<std::size_t>(folders, static_cast<std::size_t>(in.Size / FolderRecordSize)));
    r.Files.reserve(std::min<std::size_t>(files, static_cast<std::size_t>(in.Size / (FileRecordSize + 1))));
    std::string unused;
    for (const std::uint16_t flag : {CabHasPrev, CabHasNext}) {
        if (!(r.Flags & flag)) continue;
        std::string& name = flag == CabHasNext ? r.NextName : unused;
        std::string& disk = flag == CabHasNext ? r.NextDisk : unused;
        if (!in.Text(at, name, at) || !in.Text(at, disk, at)) {
            r.Faults.push_back("the names of the cabinets beside it are cut short");
            return r;
        }
    }
    r.Prefix.resize(static_cast<std::size_t>(at));
    if (!in.Bytes(0, r.Prefix.data(), at)) r.Prefix.clear();
    for (std::size_t f = 0; f < folders; ++f) {
        std::uint8_t rec[FolderRecordSize];
        if (!in.Bytes(at, rec, FolderRecordSize)) {
            r.Faults.push_back("its header counts " + std::to_string(folders) + " folders, " +
                               std::to_string(f) + " records are there");
            break;
        }
        r.Folders.push_back({U32(rec), U16(rec + 4), U16(rec + 6), 0, true, false});
        at += FolderRecordSize + folderReserve;
    }
    if (at > filesAt && r.Folders.size() == folders)
        r.Faults.push_back("its header counts " + std::to_string(folders) +
                           " folders, whose records run into the file records");
    if (!r.Folders.empty()) {
        r.Folders.front().Spans |= (r.Flags & CabHasPrev) != 0;
        r.Folders.back().Spans |= (r.Flags & CabHasNext) != 0;
    }

    // The data begin behind the file records.
    std::int64_t dataStart = -1;
    for (const TCabRecords::TFolder& folder : r.Folders)
        if (folder.Blocks > 0 && (dataStart < 0 || folder.DataAt < dataStart)) dataStart = folder.DataAt;
    at = filesAt;
    for (std::size_t i = 0; i < files; ++i) {
        std::uint8_t rec[FileRecordSize];
        if (dataStart > filesAt && at >= dataStart) {
            r.Faults.push_back("its header counts " + std::to_string(files) + " files, " + std::to_string(i) +
                               " records lie before the data");
            break;
        }
        // Filled in place: a cabinet may hold 65,535 of them.
        TCabRecords::TFile& f = r.Files.emplace_back();
        f.At = at;
        if (!in.Bytes(at, rec, FileRecordSize) || !in.Text(at + FileRecordSize, f.Name, at)) {
            r.Files.pop_back();
            r.Faults.push_back("its header counts " + std::to_string(files) + " files, " + std::to_string(i) +
                               " records can be read");
            break;
        }
        f.Length = U32(rec);
        f.Offset = U32(rec + 4);
        f.Folder = U16(rec + 8);
        f.Date = U16(rec + 10);
        f.Time = U16(rec + 12);
        f.Attribs = U16(rec + 14);
        if (!f.Continued() && f.Folder >= r.Folders.size())
            f.Fault = "its folder " + std::to_string(f.Folder + 1) + " is not in the cabinet";
    }
    const std::int64_t recordsEnd = at;

    // Each folder's size, from its data blocks. Blocks of different folders do not share
    // bytes, so the file holds at most one block header per 8 bytes: folders whose blocks claim
    // more are not walked.
    std::int64_t blocksLeft = in.Size / DataHeaderSize + 1;
    for (std::size_t f = 0; f < r.Folders.size(); ++f) {
        TCabRecords::TFolder& folder = r.Folders[f];
        std::int64_t block = folder.DataAt;
        if (folder.Blocks > blocksLeft) {
            folder.Whole = false;
            r.Faults.push_back("folder " + std::to_string(f + 1) + ": its data blocks overlap others");
            continue;
        }
        blocksLeft -= folder.Blocks;
        for (std::uint16_t b = 0; b < folder.Blocks; ++b) {
            std::uint8_t d[DataHeaderSize];
            const bool read = in.Bytes(block, d, DataHeaderSize);
            const std::int64_t next = block + DataHeaderSize + dataReserve + (read ? U16(d + 4) : 0);
            if (!read || next > in.Size) {
                folder.Whole = false;
                r.Faults.push_back("folder " + std::to_string(f + 1) + ": its data block " +
                                   std::to_string(b + 1) + " of " + std::to_string(folder.Blocks) +
                                   " lies past the end");
                break;
            }
            folder.Size += U16(d + 6);
            block = next;
        }
    }
    // File records end where the data begin: bytes between them hold records not counted.
    const bool recordsMissing = r.Files.size() == files && dataStart > recordsEnd;
    if (recordsMissing)
        r.Faults.push_back("its header counts " + std::to_string(files) + " files, whose records end at " +
                           std::to_string(recordsEnd) + "; the data begin at " + std::to_string(dataStart));
    // The files of each folder, in record order (a counting sort: a folder may hold one file).
    std::vector<std::size_t> from(r.Folders.size() + 1, 0);
    std::set<std::pair<std::int64_t, std::int64_t>> strays;
    for (const TCabRecords::TFile& f : r.Files)
        if (const std::size_t folder = FolderOf(r, f); folder < r.Folders.size())
            ++from[folder + 1];
        else
            strays.insert({f.Offset, f.Offset + f.Length});
    for (std::size_t f = 1; f < from.size(); ++f)
        from[f] += from[f - 1];
    std::vector<TCabRecords::TFile*> byFolder(from.back());
    std::vector<std::size_t> next(from.begin(), from.end() - 1);
    for (TCabRecords::TFile& f : r.Files)
        if (const std::size_t folder = FolderOf(r, f); folder < r.Folders.size())
            byFolder[next[folder]++] = &f;
    TCheckScratch scratch;
    for (std::size_t f = 0; f < r.Folders.size(); ++f)
        CheckFolder(r.Folders[f], std::span(byFolder).subspan(from[f], from[f + 1] - from[f]), strays,
                    recordsMissing, scratch);
    return r;
}

std::string CabFaultText(const TCabRecords& Records, const std::string& More) {
    constexpr std::size_t Told = 8;
    std::string all;
    for (std::size_t i = 0; i < std::min(Told, Records.Faults.size()); ++i)
        all += (all.empty() ? "" : "; ") + Records.Faults[i];
    if (Records.Faults.size() > Told)
        all += "; and " + std::to_string(Records.Faults.size() - Told) + " more";
    return More.empty() ? all : all.empty() ? More : all + "; " + More;
}

std::string RebuiltHeader(const TCabRecords& R) {
    if (!R.Read || R.Prefix.empty() || (R.Flags & (CabHasPrev | CabHasNext))) return {};
    std::vector<bool> used(R.Folders.size(), false);
    for (const TCabRecords::TFile& f : R.Files)
        if (f.Fault.empty() && !f.Continued() && f.Folder < R.Folders.size()) used[f.Folder] = true;
    std::vector<int> index(R.Folders.size(), -1);
    int kept = 0;
    std::int64_t dataStart = INT64_MAX;
    for (std::size_t f = 0; f < R.Folders.size(); ++f)
        if (used[f] && R.Folders[f].Whole && R.Folders[f].Blocks > 0) {
            index[f] = kept++;
            dataStart = std::min(dataStart, R.Folders[f].DataAt);
        }
    const auto put = [](std::string& Out, std::uint32_t V, int Bytes) {
        for (int b = 0; b < Bytes; ++b)
            Out += static_cast<char>((V >> (8 * b)) & 0xFF);
    };
    std::string folders, files;
    int count = 0;
    for (std::size_t f = 0; f < R.Folders.size(); ++f)
        if (index[f] >= 0) {
            put(folders, static_cast<std::uint32_t>(R.Folders[f].DataAt), 4);
            put(folders, R.Folders[f].Blocks, 2);
            put(folders, R.Folders[f].CompType, 2);
            folders.append(static_cast<std::size_t>(R.FolderReserve), '\0');
        }
    for (const TCabRecords::TFile& f : R.Files) {
        if (!f.Fault.empty() || f.Continued() || f.Folder >= R.Folders.size() || index[f.Folder] < 0)
            continue;
        put(files, static_cast<std::uint32_t>(f.Length), 4);
        put(files, f.Offset, 4);
        put(files, static_cast<std::uint32_t>(index[f.Folder]), 2);
        put(files, f.Date, 2);
        put(files, f.Time, 2);
        put(files, f.Attribs, 2);
        files += f.Name + '\0';
        ++count;
    }
    std::string header = R.Prefix;
    if (count == 0 || std::ssize(header) + std::ssize(folders) + std::ssize(files) > dataStart) return {};
    auto* h = reinterpret_cast<std::uint8_t*>(header.data());
    const auto set = [&](int At, std::uint32_t V, int Bytes) {
        for (int b = 0; b < Bytes; ++b)
            h[At + b] = static_cast<std::uint8_t>((V >> (8 * b)) & 0xFF);
    };
    set(16, static_cast<std::uint32_t>(header.size() + folders.size()), 4);
    set(26, static_cast<std::uint32_t>(kept), 2);
    set(28, static_cast<std::uint32_t>(count), 2);
    return header + folders + files;
}
