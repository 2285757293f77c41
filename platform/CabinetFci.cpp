#include "platform/CabinetFci.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::uint16_t ifoldCONTINUED_FROM_PREV = 0xFFFD;
constexpr std::uint16_t ifoldCONTINUED_TO_NEXT = 0xFFFE;
constexpr std::uint16_t ifoldCONTINUED_PREV_AND_NEXT = 0xFFFF;
constexpr std::uint16_t cfhdrPREV_CABINET = 0x0001;
constexpr std::uint16_t cfhdrNEXT_CABINET = 0x0002;
constexpr std::int64_t HeaderSize = 36;
constexpr std::int64_t FolderSize = 8;
constexpr std::int64_t FileSize = 16;
constexpr std::int64_t DataSize = 8;
// A folder's plain data stay below this, so that every offset fits its 32-bit field.
constexpr std::int64_t MaxFolderBytes = 0x7FFF0000;
// What a method's stored form of a block adds to its data at most (MSZIP: the signature and a
// stored block's header; LZX: the stream's header and three uncompressed blocks' headers,
// padding and repeated offsets, 57 bytes).
constexpr std::size_t StoredFraming = 64;

void Put16(std::vector<std::uint8_t>& B, std::uint32_t V) {
    B.push_back(static_cast<std::uint8_t>(V));
    B.push_back(static_cast<std::uint8_t>(V >> 8));
}
void Put32(std::vector<std::uint8_t>& B, std::uint32_t V) {
    Put16(B, V & 0xFFFF);
    Put16(B, V >> 16);
}
void PutZ(std::vector<std::uint8_t>& B, const std::string& S) {
    B.insert(B.end(), S.begin(), S.end());
    B.push_back(0);
}

} // namespace

std::uint32_t CabDataChecksum(const std::uint8_t* Data, std::size_t Count, std::uint32_t Seed) {
    std::uint32_t sum = Seed;
    std::size_t i = 0;
    for (; i + 4 <= Count; i += 4)
        sum ^= static_cast<std::uint32_t>(Data[i]) | (static_cast<std::uint32_t>(Data[i + 1]) << 8) |
               (static_cast<std::uint32_t>(Data[i + 2]) << 16) |
               (static_cast<std::uint32_t>(Data[i + 3]) << 24);
    std::uint32_t rest = 0;
    switch (Count & 3) {
    case 3:
        rest |= static_cast<std::uint32_t>(Data[i++]) << 16;
        [[fallthrough]];
    case 2:
        rest |= static_cast<std::uint32_t>(Data[i++]) << 8;
        [[fallthrough]];
    case 1:
        rest |= Data[i];
        break;
    default:
        break;
    }
    return sum ^ rest;
}

namespace {

class TFileSpool : public TFciSpool {
public:
    explicit TFileSpool(int Fd) : FFd(Fd) {}
    ~TFileSpool() override { ::close(FFd); }
    TFileSpool(const TFileSpool&) = delete;
    TFileSpool& operator=(const TFileSpool&) = delete;

    bool Append(const void* Data, std::size_t Count) override {
        const auto* p = static_cast<const std::uint8_t*>(Data);
        while (Count > 0) {
            const ssize_t n = ::pwrite(FFd, p, Count, FSize);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                if (n == 0) errno = ENOSPC;
                return false;
            }
            p += n;
            Count -= static_cast<std::size_t>(n);
            FSize += n;
        }
        return true;
    }
    bool ReadAt(std::int64_t Pos, void* Data, std::size_t Count) override {
        return ReadFully(FFd, Pos, Data, Count);
    }
    bool Clear() override {
        FSize = 0;
        return ::ftruncate(FFd, 0) == 0;
    }

private:
    int FFd;
    std::int64_t FSize = 0;
};

} // namespace

bool ReadFully(int Fd, std::int64_t Pos, void* Data, std::size_t Count) {
    auto* p = static_cast<std::uint8_t*>(Data);
    while (Count > 0) {
        const ssize_t n = ::pread(Fd, p, Count, Pos);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        p += n;
        Pos += n;
        Count -= static_cast<std::size_t>(n);
    }
    return true;
}

std::unique_ptr<TFciSpool> CreateFileSpool(const std::string& Name) {
    const int fd = ::open(Name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    // The spool has no name: nothing is left behind, however the job ends.
    ::unlink(Name.c_str());
    return std::make_unique<TFileSpool>(fd);
}

bool TFciCompressor::CompressBatch(const std::uint8_t* Data, std::size_t Count,
                                   std::vector<std::vector<std::uint8_t>>& Outs, bool /*Last*/) {
    const std::size_t blocks = (Count + CabBlockSize - 1) / CabBlockSize;
    Outs.resize(blocks);
    for (std::size_t i = 0; i < blocks; ++i) {
        Outs[i].clear();
        if (!Compress(Data + i * CabBlockSize, std::min(CabBlockSize, Count - i * CabBlockSize), Outs[i]))
            return false;
    }
    return true;
}

class TFciContext::TImpl {
public:
    struct TBlock {
        std::int64_t SpoolPos = 0;
        std::uint16_t CbData = 0;
        std::uint16_t CbUncomp = 0;
        std::uint32_t Checksum = 0;
    };
    struct TFolder {
        TCOMP Type = 0;
        std::vector<TBlock> Blocks;
        std::int64_t Plain = 0;  // plain bytes of its blocks
        std::int64_t Packed = 0; // CFDATA bytes of its blocks
    };
    struct TFile {
        std::string Name;
        std::uint32_t Size = 0;
        std::int64_t Offset = 0; // in its folder's plain data
        std::size_t Folder = 0;
        std::uint16_t Date = 0, Time = 0, Attribs = 0;
        std::size_t FirstUnit = 0, LastUnit = 0; // the units of the layout its data touch
    };
    // A unit of the layout: one block of a folder, or a folder without blocks.
    struct TUnit {
        std::size_t Folder = 0;
        int Block = -1;
        std::int64_t Bytes = 0; // in the cabinet
    };

    TCCAB Cab;
    TFciErf Erf;
    TFciCreateCabinet CreateCabinet;
    TFciMakeCompressor MakeCompressor;
    std::unique_ptr<TFciSpool> Spool;
    std::int64_t SpoolSize = 0;
    std::vector<TFolder> Folders;
    bool FolderOpen = false;
    std::unique_ptr<TFciCompressor> Compressor;
    std::vector<std::uint8_t> Pending;
    std::vector<TFile> Files;
    std::vector<std::vector<std::uint8_t>> Outs;

    // Type: the system's error number where one caused the failure (ENOSPC: the disk is full).
    bool Fail(int Oper, int Type = 0) {
        Erf.erfOper = Oper;
        Erf.erfType = Type;
        Erf.fError = true;
        return false;
    }

    std::size_t PendingLimit() const {
        return CabBlockSize * std::max<std::size_t>(Compressor->BatchBlocks(), 1);
    }

    // Compresses what is pending as blocks of 32768 bytes (the last may be shorter) and
    // spools them; Last: they end the folder.
    bool EmitBlocks(const TFciStatus& Status, bool Last) {
        TFolder& f = Folders.back();
        const std::size_t count = (Pending.size() + CabBlockSize - 1) / CabBlockSize;
        if (f.Blocks.size() + count > CabMaxFolderBlocks) return Fail(fcierrCAB_FORMAT_LIMIT);
        if (!Compressor->CompressBatch(Pending.data(), Pending.size(), Outs, Last) || Outs.size() != count)
            return Fail(fcierrMCI_FAIL);
        for (std::size_t i = 0; i < count; ++i) {
            const std::vector<std::uint8_t>& packed = Outs[i];
            if (packed.size() > 0xFFFF) return Fail(fcierrMCI_FAIL);
            const std::size_t plain = std::min(CabBlockSize, Pending.size() - i * CabBlockSize);
            if (Cab.fFailOnIncompressible && packed.size() > plain + StoredFraming)
                return Fail(fcierrMCI_FAIL, EDOM);
            TBlock b;
            b.SpoolPos = SpoolSize;
            b.CbData = static_cast<std::uint16_t>(packed.size());
            b.CbUncomp =
                static_cast<std::uint16_t>(std::min(CabBlockSize, Pending.size() - i * CabBlockSize));
            std::uint8_t sizes[4] = {
                static_cast<std::uint8_t>(b.CbData), static_cast<std::uint8_t>(b.CbData >> 8),
                static_cast<std::uint8_t>(b.CbUncomp), static_cast<std::uint8_t>(b.CbUncomp >> 8)};
            b.Checksum = CabDataChecksum(sizes, 4, CabDataChecksum(packed.data(), packed.size(), 0));
            if (!Spool->Append(packed.data(), packed.size())) return Fail(fcierrTEMP_FILE, errno);
            SpoolSize += static_cast<std::int64_t>(packed.size());
            f.Blocks.push_back(b);
            f.Plain += b.CbUncomp;
            f.Packed += DataSize + b.CbData;
            Unwritten += DataSize + b.CbData;
            if (Status && Status(0, b.CbData, b.CbUncomp) == -1) return Fail(fcierrUSER_ABORT);
        }
        Pending.clear();
        return true;
    }

    bool CloseFolder(const TFciStatus& Status) {
        if (!FolderOpen) return true;
        if (!Pending.empty() && !EmitBlocks(Status, true)) return false;
        FolderOpen = false;
        Compressor.reset();
        if (Status && Status(1, static_cast<std::uint32_t>(Folders.back().Packed), 0) == -1)
            return Fail(fcierrUSER_ABORT);
        return true;
    }

    bool OpenFolder(TCOMP Compression) {
        Compressor = MakeCompressor ? MakeCompressor(Compression) : nullptr;
        if (!Compressor) return Fail(fcierrBAD_COMPR_TYPE);
        if (Folders.size() >= 0xFFFC) return Fail(fcierrCAB_FORMAT_LIMIT);
        TFolder f;
        f.Type = Compression;
        Folders.push_back(std::move(f));
        FolderOpen = true;
        return true;
    }

    bool AddFile(const std::string& Source, const std::string& StoredName,
                 const TFciGetNextCabinet& GetNextCab, const TFciStatus& Status,
                 const TFciGetOpenInfo& GetOpenInfo, TCOMP Compression) {
        if (Files.size() >= 0xFFFF) return Fail(fcierrCAB_FORMAT_LIMIT);
        TFciSource src;
        if (!GetOpenInfo || !GetOpenInfo(Source, src) || !src.Read) return Fail(fcierrOPEN_SRC);
        if (src.Size > MaxFolderBytes) return Fail(fcierrCAB_FORMAT_LIMIT);
        if (FolderOpen) {
            const TFolder& f = Folders.back();
            const std::int64_t plain = f.Plain + static_cast<std::int64_t>(Pending.size());
            const std::int64_t size = std::max<std::int64_t>(src.Size, 0);
            // A new folder before this file would overfill the one open: 65535 blocks, or
            // plain data beyond what the offsets hold, or the folder threshold passed.
            const bool full =
                f.Type != Compression ||
                f.Blocks.size() + static_cast<std::size_t>((plain % CabBlockSize + size) / CabBlockSize) + 2 >
                    CabMaxFolderBlocks ||
                plain + size > MaxFolderBytes || f.Packed > static_cast<std::int64_t>(Cab.cbFolderThresh);
            if (full && !CloseFolder(Status)) return false;
        }
        if (!FolderOpen && !OpenFolder(Compression)) return false;
        TFile file;
        file.Name = StoredName;
        file.Folder = Folders.size() - 1;
        file.Offset = Folders.back().Plain + static_cast<std::int64_t>(Pending.size());
        file.Date = src.Date;
        file.Time = src.Time;
        file.Attribs = src.Attribs;
        std::int64_t total = 0;
        std::vector<std::uint8_t> buffer(CabBlockSize);
        for (;;) {
            const std::int64_t n = src.Read(buffer.data(), static_cast<std::int64_t>(buffer.size()));
            if (n < 0) return Fail(fcierrREAD_SRC);
            if (n == 0) break;
            total += n;
            if (file.Offset + total > MaxFolderBytes) return Fail(fcierrCAB_FORMAT_LIMIT);
            std::size_t used = 0;
            while (used < static_cast<std::size_t>(n)) {
                // A full batch goes when more data come: the one that ends the folder is known
                // as such.
                if (Pending.size() == PendingLimit() && !EmitBlocks(Status, false)) return false;
                const std::size_t take =
                    std::min(PendingLimit() - Pending.size(), static_cast<std::size_t>(n) - used);
                Pending.insert(Pending.end(), buffer.begin() + static_cast<std::ptrdiff_t>(used),
                               buffer.begin() + static_cast<std::ptrdiff_t>(used + take));
                used += take;
            }
        }
        file.Size = static_cast<std::uint32_t>(total);
        Unwritten += FileSize + static_cast<std::int64_t>(file.Name.size()) + 1;
        Files.push_back(std::move(file));
        return WriteCabinets(false, GetNextCab, Status);
    }

    // ---- the layout of the cabinets ----------------------------------------------------------

    std::vector<TUnit> Units;

    void BuildUnits() {
        Units.clear();
        std::vector<std::size_t> firstUnit(Folders.size());
        for (std::size_t f = 0; f < Folders.size(); ++f) {
            firstUnit[f] = Units.size();
            if (Folders[f].Blocks.empty()) Units.push_back({f, -1, 0});
            for (std::size_t b = 0; b < Folders[f].Blocks.size(); ++b)
                Units.push_back({f, static_cast<int>(b), DataSize + Folders[f].Blocks[b].CbData});
        }
        for (TFile& file : Files) {
            const TFolder& f = Folders[file.Folder];
            const std::size_t base = firstUnit[file.Folder];
            // Every block of a folder but its last holds CabBlockSize plain bytes.
            const auto unitOf = [&](std::int64_t Pos) {
                const std::size_t b = static_cast<std::size_t>(Pos / static_cast<std::int64_t>(CabBlockSize));
                return base + std::min(b, f.Blocks.empty() ? 0 : f.Blocks.size() - 1);
            };
            file.FirstUnit = unitOf(file.Offset);
            file.LastUnit = file.Size == 0 ? file.FirstUnit : unitOf(file.Offset + file.Size - 1);
        }
    }

    struct TNames {
        std::string PrevCab, PrevDisk, NextCab, NextDisk;
        bool HasPrev = false, HasNext = false;
    };

    // The units a cabinet holds: S to L; unit S from byte SOff of its data, unit L up to byte
    // LEnd. A block cut at either end is split between two cabinets of the set: the part in
    // the earlier cabinet says 0 plain bytes, the part in the later one the block's count.
    struct TRange {
        std::size_t S = 0;
        std::int64_t SOff = 0;
        std::size_t L = 0;
        std::int64_t LEnd = 0;
    };

    std::int64_t DataOf(std::size_t U) const { return Units[U].Block < 0 ? 0 : Units[U].Bytes - DataSize; }
    std::int64_t PieceOf(const TRange& R, std::size_t U) const {
        return (U == R.L ? R.LEnd : DataOf(U)) - (U == R.S ? R.SOff : 0);
    }
    bool Touches(const TFile& F, const TRange& R) const { return F.LastUnit >= R.S && F.FirstUnit <= R.L; }
    bool FromPrev(const TFile& F, const TRange& R) const {
        return F.FirstUnit < R.S || (F.FirstUnit == R.S && R.SOff > 0);
    }
    bool ToNext(const TFile& F, const TRange& R) const {
        return F.LastUnit > R.L || (F.LastUnit == R.L && R.LEnd < DataOf(R.L));
    }

    static std::int64_t NamesSize(const TNames& Names) {
        std::int64_t size = 0;
        if (Names.HasPrev)
            size += static_cast<std::int64_t>(Names.PrevCab.size() + Names.PrevDisk.size() + 2);
        if (Names.HasNext)
            size += static_cast<std::int64_t>(Names.NextCab.size() + Names.NextDisk.size() + 2);
        return size;
    }

    std::int64_t CabinetSize(const TRange& R, const TNames& Names) const {
        std::int64_t size = HeaderSize + NamesSize(Names);
        std::size_t lastFolder = SIZE_MAX;
        for (std::size_t u = R.S; u <= R.L; ++u) {
            if (Units[u].Folder != lastFolder) size += FolderSize;
            lastFolder = Units[u].Folder;
            if (Units[u].Block >= 0) size += DataSize + PieceOf(R, u);
        }
        for (const TFile& f : Files)
            if (Touches(f, R)) size += FileSize + static_cast<std::int64_t>(f.Name.size()) + 1;
        return size;
    }

    // The largest L (from S on) for which S..L, whole but for unit S's start, fits; false when
    // not even unit S does.
    bool FitUnits(std::size_t S, std::int64_t SOff, const TNames& Names, std::size_t& L) const {
        const auto fits = [&](std::size_t Last) {
            return CabinetSize({S, SOff, Last, DataOf(Last)}, Names) <= static_cast<std::int64_t>(Cab.cb);
        };
        if (!fits(S)) return false;
        std::size_t lo = S, hi = Units.size() - 1;
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo + 1) / 2;
            if (fits(mid))
                lo = mid;
            else
                hi = mid - 1;
        }
        L = lo;
        return true;
    }

    bool WriteCabinet(const TRange& R, const TNames& Names, int Index, const TFciStatus& Status) {
        struct TFolderRun {
            std::size_t Folder;
            std::size_t FirstUnit;
            std::uint16_t Count;
        };
        std::vector<TFolderRun> runs;
        for (std::size_t u = R.S; u <= R.L; ++u) {
            if (runs.empty() || runs.back().Folder != Units[u].Folder)
                runs.push_back({Units[u].Folder, u, 0});
            if (Units[u].Block >= 0) ++runs.back().Count;
        }
        std::vector<const TFile*> files;
        for (const TFile& f : Files)
            if (Touches(f, R)) files.push_back(&f);
        if (files.size() > 0xFFFF) return Fail(fcierrCAB_FORMAT_LIMIT);
        const std::int64_t total = CabinetSize(R, Names);
        const std::int64_t coffFiles =
            HeaderSize + NamesSize(Names) + FolderSize * static_cast<std::int64_t>(runs.size());
        std::int64_t filesBytes = 0;
        for (const TFile* f : files)
            filesBytes += FileSize + static_cast<std::int64_t>(f->Name.size()) + 1;

        std::vector<std::uint8_t> head;
        head.insert(head.end(), {'M', 'S', 'C', 'F'});
        Put32(head, 0);
        Put32(head, static_cast<std::uint32_t>(total));
        Put32(head, 0);
        Put32(head, static_cast<std::uint32_t>(coffFiles));
        Put32(head, 0);
        head.push_back(3);
        head.push_back(1);
        Put16(head, static_cast<std::uint32_t>(runs.size()));
        Put16(head, static_cast<std::uint32_t>(files.size()));
        Put16(head, (Names.HasPrev ? cfhdrPREV_CABINET : 0) | (Names.HasNext ? cfhdrNEXT_CABINET : 0));
        Put16(head, Cab.setID);
        Put16(head, static_cast<std::uint32_t>(Index));
        if (Names.HasPrev) {
            PutZ(head, Names.PrevCab);
            PutZ(head, Names.PrevDisk);
        }
        if (Names.HasNext) {
            PutZ(head, Names.NextCab);
            PutZ(head, Names.NextDisk);
        }
        std::int64_t dataPos = coffFiles + filesBytes;
        for (const TFolderRun& r : runs) {
            Put32(head, static_cast<std::uint32_t>(dataPos));
            Put16(head, r.Count);
            Put16(head, Folders[r.Folder].Type);
            for (std::size_t u = r.FirstUnit; u <= R.L && Units[u].Folder == r.Folder; ++u)
                if (Units[u].Block >= 0) dataPos += DataSize + PieceOf(R, u);
        }
        for (const TFile* f : files) {
            const bool before = FromPrev(*f, R), after = ToNext(*f, R);
            std::uint16_t folder = 0;
            if (before && after)
                folder = ifoldCONTINUED_PREV_AND_NEXT;
            else if (before)
                folder = ifoldCONTINUED_FROM_PREV;
            else if (after)
                folder = ifoldCONTINUED_TO_NEXT;
            else
                for (std::size_t i = 0; i < runs.size(); ++i)
                    if (runs[i].Folder == f->Folder) folder = static_cast<std::uint16_t>(i);
            Put32(head, f->Size);
            Put32(head, static_cast<std::uint32_t>(f->Offset));
            Put16(head, folder);
            Put16(head, f->Date);
            Put16(head, f->Time);
            Put16(head, f->Attribs);
            PutZ(head, f->Name);
        }

        std::unique_ptr<TFciOutput> out = CreateCabinet ? CreateCabinet(Cab.szCabPath + Cab.szCab) : nullptr;
        if (!out) return Fail(fcierrCAB_FILE);
        if (!out->Write(head.data(), static_cast<std::int64_t>(head.size()))) return Fail(fcierrCAB_FILE);
        std::vector<std::uint8_t> block;
        for (std::size_t u = R.S; u <= R.L; ++u) {
            if (Units[u].Block < 0) continue;
            const TBlock& b = Folders[Units[u].Folder].Blocks[static_cast<std::size_t>(Units[u].Block)];
            const std::int64_t from = u == R.S ? R.SOff : 0;
            const std::int64_t count = PieceOf(R, u);
            const bool whole = from == 0 && count == b.CbData;
            const std::uint16_t plain = from + count == b.CbData ? b.CbUncomp : 0;
            block.assign(DataSize + static_cast<std::size_t>(count), 0);
            if (!Spool->ReadAt(b.SpoolPos + from, block.data() + DataSize, static_cast<std::size_t>(count)))
                return Fail(fcierrTEMP_FILE, errno);
            block[4] = static_cast<std::uint8_t>(count);
            block[5] = static_cast<std::uint8_t>(count >> 8);
            block[6] = static_cast<std::uint8_t>(plain);
            block[7] = static_cast<std::uint8_t>(plain >> 8);
            const std::uint32_t sum =
                whole ? b.Checksum
                      : CabDataChecksum(
                            block.data() + 4, 4,
                            CabDataChecksum(block.data() + DataSize, static_cast<std::size_t>(count), 0));
            for (int i = 0; i < 4; ++i)
                block[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sum >> (8 * i));
            if (!out->Write(block.data(), static_cast<std::int64_t>(block.size())))
                return Fail(fcierrCAB_FILE);
        }
        if (!out->Close()) return Fail(fcierrCAB_FILE);
        if (Status && Status(2, static_cast<std::uint32_t>(total), 0) == -1) return Fail(fcierrUSER_ABORT);
        return true;
    }

    // Where the cabinets not yet written begin, and the cabinets written so far.
    std::size_t WrittenUnit = 0;
    std::int64_t WrittenOff = 0;
    TNames Names;
    int CabIndex = 0;
    // CFDATA and CFFILE bytes added since the last cabinet was written: a cheap bound that
    // tells when the layout must be looked at.
    std::int64_t Unwritten = 0;

    // Writes the cabinets the data added so far fill. With Final, everything is written (the
    // last cabinet too); without, a cabinet is written only when the data go beyond it, and the
    // folder being filled is closed, so that a cabinet's folder that goes on into the next
    // cabinet holds only the files that crossed into it.
    bool WriteCabinets(bool Final, const TFciGetNextCabinet& GetNextCab, const TFciStatus& Status) {
        if (!Final) {
            const std::int64_t bound =
                Unwritten + static_cast<std::int64_t>(Pending.size()) + HeaderSize + 2048;
            if (bound <= static_cast<std::int64_t>(Cab.cb)) return true;
        }
        if (!CloseFolder(Status)) return false;
        BuildUnits();
        std::size_t& s = WrittenUnit;
        std::int64_t& sOff = WrittenOff;
        while (s < Units.size()) {
            Names.HasNext = false;
            std::size_t l = 0;
            const bool some = FitUnits(s, sOff, Names, l);
            if (some && l + 1 == Units.size()) {
                if (!Final) return true;
                if (!WriteCabinet({s, sOff, l, DataOf(l)}, Names, CabIndex, Status)) return false;
                s = Units.size();
                break;
            }
            // It does not all fit: the set goes on in a next cabinet.
            TCCAB next = Cab;
            ++next.iCab;
            const std::uint32_t estimate =
                some ? static_cast<std::uint32_t>(CabinetSize({s, sOff, l, DataOf(l)}, Names)) : Cab.cb;
            if (!GetNextCab || !GetNextCab(next, estimate)) return Fail(fcierrUSER_ABORT);
            Names.HasNext = true;
            Names.NextCab = next.szCab;
            Names.NextDisk = next.szDisk;
            const bool any = FitUnits(s, sOff, Names, l);
            // The unit after the last whole one: cut into it when it goes on with the same folder.
            const std::size_t u = any ? l + 1 : s;
            TRange r;
            if (u < Units.size() && Units[u].Block >= 0 && (!any || Units[u].Folder == Units[l].Folder)) {
                const std::int64_t from = u == s ? sOff : 0;
                const std::int64_t room =
                    static_cast<std::int64_t>(Cab.cb) - CabinetSize({s, sOff, u, from}, Names);
                if (room >= 1) {
                    r = {s, sOff, u, from + room};
                } else if (any && Units[l].Block >= 0 && PieceOf({s, sOff, l, DataOf(l)}, l) >= 2) {
                    // No room for a byte of the next block: the last whole one is cut instead.
                    r = {s, sOff, l, DataOf(l) - 1};
                } else {
                    return Fail(fcierrCAB_FORMAT_LIMIT);
                }
            } else {
                if (!any) return Fail(fcierrCAB_FORMAT_LIMIT);
                r = {s, sOff, l, DataOf(l)};
            }
            if (!WriteCabinet(r, Names, CabIndex, Status)) return false;
            if (r.LEnd < DataOf(r.L)) {
                s = r.L;
                sOff = r.LEnd;
            } else {
                s = r.L + 1;
                sOff = 0;
            }
            Names.HasPrev = true;
            Names.PrevCab = Cab.szCab;
            Names.PrevDisk = Cab.szDisk;
            Cab = next;
            ++CabIndex;
        }
        Unwritten = 0;
        for (std::size_t u = s; u < Units.size(); ++u)
            Unwritten += Units[u].Bytes;
        return true;
    }

    bool FlushCabinet(const TFciGetNextCabinet& GetNextCab, const TFciStatus& Status) {
        if (!WriteCabinets(true, GetNextCab, Status)) return false;
        Folders.clear();
        Files.clear();
        Units.clear();
        WrittenUnit = 0;
        WrittenOff = 0;
        Unwritten = 0;
        Names = {};
        CabIndex = 0;
        SpoolSize = 0;
        if (!Spool->Clear()) return Fail(fcierrTEMP_FILE, errno);
        return true;
    }
};

TFciContext::TFciContext(std::unique_ptr<TImpl> Impl) : FImpl(std::move(Impl)) {}
TFciContext::~TFciContext() = default;

std::unique_ptr<TFciContext> TFciContext::Create(TFciErf& Erf, const TCCAB& Cab,
                                                 TFciCreateCabinet CreateCabinet,
                                                 const TFciCreateSpool& CreateSpool,
                                                 TFciMakeCompressor MakeCompressor) {
    Erf = {};
    auto impl = std::make_unique<TImpl>();
    impl->Cab = Cab;
    impl->CreateCabinet = std::move(CreateCabinet);
    impl->MakeCompressor = std::move(MakeCompressor);
    impl->Spool = CreateSpool ? CreateSpool() : nullptr;
    if (!impl->Spool) {
        Erf.erfOper = fcierrTEMP_FILE;
        Erf.erfType = errno;
        Erf.fError = true;
        return nullptr;
    }
    return std::unique_ptr<TFciContext>(new TFciContext(std::move(impl)));
}

bool TFciContext::AddFile(const std::string& Source, const std::string& StoredName, bool /*Execute*/,
                          const TFciGetNextCabinet& GetNextCab, const TFciStatus& Status,
                          const TFciGetOpenInfo& GetOpenInfo, TCOMP Compression) {
    FImpl->Erf = {};
    return FImpl->AddFile(Source, StoredName, GetNextCab, Status, GetOpenInfo, Compression);
}

bool TFciContext::FlushFolder(const TFciGetNextCabinet& /*GetNextCab*/, const TFciStatus& Status) {
    FImpl->Erf = {};
    return FImpl->CloseFolder(Status);
}

bool TFciContext::FlushCabinet(bool /*GetNextCab*/, const TFciGetNextCabinet& GetNextCabinet,
                               const TFciStatus& Status) {
    FImpl->Erf = {};
    return FImpl->FlushCabinet(GetNextCabinet, Status);
}

const TFciErf& TFciContext::Erf() const {
    return FImpl->Erf;
}
