// The cabinet decompression context over libmspack: a mspack_system whose files are the
// caller's handles, a set of joined cabinets, and the notifications of a copy.
#include "platform/CabinetFdi.h"

#include "platform/CabinetFdiMsZip.h"
#include "platform/CabinetLayout.h"
#include "platform/CabinetRecords.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mspack.h>
#include <tuple>
#include <unordered_map>
#include <vector>

using namespace cabinet_layout;

namespace {

constexpr int RunAfterExtract = 0x40;
constexpr std::int64_t BlockSize = 32768;
// How often one next cabinet is asked for before the copy gives up.
constexpr int NextCabinetAttempts = 8;
// The name the output of the file being copied is opened by.
constexpr char OutputName[] = "\x01output";
// A cabinet of more folders than this is opened in parts of about this many folders each: the
// library finds each file's folder by walking its list of folders from the start.
constexpr std::size_t PartFolders = 256;
// Folder indexes from this one on mark files continued from or into other cabinets.
constexpr std::uint16_t FirstContinuedIndex = 0xFFFD;
// The prefix of the name a part is opened by (followed by its number and the cabinet's name).
constexpr char PartPrefix = '\x02';

int ErrorOf(int MspackError) {
    switch (MspackError) {
    case MSPACK_ERR_OK:
        return fdieNone;
    case MSPACK_ERR_OPEN:
        return fdieCabinetNotFound;
    case MSPACK_ERR_SIGNATURE:
        return fdieNotACabinet;
    case MSPACK_ERR_NOMEMORY:
        return fdieAllocFail;
    case MSPACK_ERR_WRITE:
        return fdieTargetFile;
    case MSPACK_ERR_READ:
    case MSPACK_ERR_SEEK:
    case MSPACK_ERR_DATAFORMAT:
    case MSPACK_ERR_CHECKSUM:
    case MSPACK_ERR_DECRUNCH:
        return fdieCorruptCabinet;
    default:
        return fdieMdiFail;
    }
}

bool SameTextNoCase(const std::string& A, const std::string& B) {
    if (A.size() != B.size()) return false;
    for (std::size_t i = 0; i < A.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(A[i])) != std::tolower(static_cast<unsigned char>(B[i])))
            return false;
    return true;
}

// The library's messages are not shown: its errors come back as error codes.
void Message(mspack_file* /*File*/, const char* /*Format*/, ...) {}

// A part of a cabinet of many folders, as the library reads it: Header (the cabinet's header
// with the records of the part's folders and files only), then the cabinet's own bytes from
// where Header ends, so that every data block lies where the folder records say.
struct TCabinetPart {
    std::string Name; // the name the part is opened by
    std::string Cabinet;
    std::string Header;
};

struct TMsFile {
    std::intptr_t Handle = -1;
    bool Output = false;
    void* Owner = nullptr; // the context that opened it
    const TCabinetPart* Part = nullptr;
    std::int64_t Pos = 0; // in the part
};

} // namespace

class TFdiContext::TImpl {
public:
    TImpl(TFdiFiles& Files, TFdiErf& Erf) : FFiles(Files), FErf(Erf), FMsZip(Files) {
        FSystem.open = &OpenFile;
        FSystem.close = &CloseFile;
        FSystem.read = &ReadFile;
        FSystem.write = &WriteFile;
        FSystem.seek = &SeekFile;
        FSystem.tell = &TellFile;
        FSystem.message = &Message;
        FSystem.alloc = [](mspack_system*, size_t Bytes) { return std::malloc(Bytes); };
        FSystem.free = [](void* Block) { std::free(Block); };
        FSystem.copy = [](void* Src, void* Dest, size_t Bytes) { std::memmove(Dest, Src, Bytes); };
        FSystem.null_ptr = nullptr;
        FSystem.Owner = this;
    }
    ~TImpl() {
        CloseSet();
        if (FDecomp) mspack_destroy_cab_decompressor(FDecomp);
    }
    TImpl(const TImpl&) = delete;
    TImpl& operator=(const TImpl&) = delete;

    bool Init() {
        int selftest = MSPACK_ERR_OK;
        MSPACK_SYS_SELFTEST(selftest);
        if (selftest != MSPACK_ERR_OK) return false;
        FDecomp = mspack_create_cab_decompressor(&FSystem);
        return FDecomp != nullptr;
    }

    bool IsCabinet(std::intptr_t Handle, TFdiCabinetInfo& Info) {
        std::uint8_t h[CabHeaderSize];
        if (FFiles.Seek(Handle, 0, 0) != 0 || FFiles.Read(Handle, h, CabHeaderSize) != CabHeaderSize ||
            U32(h) != CabSignature || h[25] != 1)
            return false;
        Info.cbCabinet = U32(h + 8);
        Info.cFolders = U16(h + 26);
        Info.cFiles = U16(h + 28);
        const std::uint16_t flags = U16(h + 30);
        Info.setID = U16(h + 32);
        Info.iCabinet = U16(h + 34);
        Info.hasprev = (flags & CabHasPrev) != 0;
        Info.hasnext = (flags & CabHasNext) != 0;
        Info.fReserve = (flags & CabHasReserve) != 0;
        if (Info.hasprev) ReadPrevious(Handle, Info);
        return true;
    }

    bool Copy(const std::string& CabinetName, const std::string& CabinetPath, const TFdiNotify& Notify) {
        FErf = {};
        FPath = CabinetPath;
        const std::string full = CabinetPath + CabinetName;
        const TCabRecords& records = RecordsOf(full);
        // A cabinet of the set is copied again (after a counting pass), or was joined while
        // a file of the cabinet before it ran on into it.
        std::size_t k = FindJoined(full);
        bool rebuilt = false;
        if (k == FJoined.size()) {
            const bool joins =
                FLast && FLast->nextname && SameTextNoCase(BareName(FLast->nextname), CabinetName);
            std::vector<mscabd_cabinet*> parts;
            if (!joins) parts = OpenInParts(full);
            mscabd_cabinet* cab = parts.empty() ? OpenCabinet(full) : parts.front();
            if (!cab) {
                // Where the library cannot take its records, those that can be right are
                // given to it alone; the others fail by name.
                cab = OpenPart(full, RebuiltHeader(records));
                if (!cab) return Unreadable(records, CabinetPath, Notify);
                parts = {cab};
                rebuilt = true;
            }
            const int before = FSet ? FileCount() : 0;
            if (joins && Joins(cab)) {
                FLast = cab;
            } else {
                // One that does not join the set was closed: it starts a set of its own.
                if (joins && !(cab = OpenCabinet(full))) return Unreadable(records, CabinetPath, Notify);
                CloseSet();
                FSet = FLast = cab;
                // The parts of the set before are closed: only this set's are kept.
                FParts.erase(FParts.begin(), FParts.end() - static_cast<std::ptrdiff_t>(parts.size()));
                if (!parts.empty()) FMoreParts.assign(parts.begin() + 1, parts.end());
                // A set entered in its middle: its first folder began in a cabinet not seen.
                FEnteredMidSet = (cab->flags & MSCAB_HDR_PREVCAB) != 0;
            }
            IndexSet();
            FJoined.push_back({full, cab, FSet == cab ? 0 : before, rebuilt});
            k = FJoined.size() - 1;
        }
        const mscabd_cabinet& own = *FJoined[k].Cabinet;
        const bool partialFirstFolder = FEnteredMidSet && k == 0;
        // A cabinet that is a set of its own has its MSZIP folders decoded here.
        const bool alone = FJoined.size() == 1 && !FJoined[0].Rebuilt &&
                           !(FSet->flags & (MSCAB_HDR_PREVCAB | MSCAB_HDR_NEXTCAB));
        FMsZip.Use(alone ? full : std::string());

        TFdiNotification info;
        info.psz1 = own.nextname ? own.nextname : "";
        info.psz2 = own.nextinfo ? own.nextinfo : "";
        info.psz3 = CabinetPath;
        info.setID = own.set_id;
        info.iCabinet = own.set_index;
        info.Where = CabFaultText(
            records, FJoined[k].Rebuilt ? "the cabinet library cannot read its records as they stand" : "");
        if (!Call(Notify, fdintCABINET_INFO, info)) return false;

        // The files that begin in this cabinet: up to the first of the next one joined. The
        // records the library passed over are told where they stand among them.
        std::size_t record = 0;
        const auto passOver = [&](std::size_t Upto) {
            for (; record < Upto; ++record)
                if (!records.Files[record].ContinuedFromPrev() &&
                    !Refuse(Notify, records.Files[record], own, "the cabinet library passes its record over"))
                    return false;
            return true;
        };
        const int count = k + 1 < FJoined.size() ? FJoined[k + 1].FirstFile : FileCount();
        for (int i = FJoined[k].FirstFile; i < count; ++i) {
            mscabd_file* file = FileAt(i);
            TFdiNotification n = Describe(*file, own);
            const std::size_t match = RecordOf(*file, n, record);
            const TCabRecords::TFile* ownRecord = nullptr;
            if (match < records.Files.size()) {
                if (!passOver(match)) return false;
                ownRecord = &records.Files[match];
                record = match + 1;
            }
            if (partialFirstFolder && file->folder == FSet->folders) {
                if (!Call(Notify, fdintPARTIAL_FILE, n)) return false;
                continue;
            }
            if (ownRecord && !ownRecord->Fault.empty()) {
                if (!Refuse(Notify, *ownRecord, own, "")) return false;
                continue;
            }
            if (FBroken && NeedsNextCabinet(*file)) {
                n.fdie = fdieCabinetNotFound;
                if (!Call(Notify, fdintPARTIAL_FILE, n)) return false;
                continue;
            }
            const std::intptr_t handle = Notify(fdintCOPY_FILE, n);
            if (handle == -1) return Fail(fdieUserAbort);
            if (handle == 0) continue;
            const bool damaged = AfterDamage(*file);
            // A file may run on over several cabinets.
            while (!damaged && !FBroken && NeedsNextCabinet(*file)) {
                if (!JoinNext(Notify)) {
                    if (FErf.fError) return false;
                    // The rest of the set cannot be had: what runs on into it fails.
                    FBroken = true;
                    break;
                }
                file = FileAt(i);
            }
            FOutputHandle = handle;
            // An empty file has no data to lose.
            const bool unreachable = FBroken && NeedsNextCabinet(*file);
            const int result = unreachable         ? MSPACK_ERR_OK
                               : !damaged          ? Extract(*file)
                               : file->length == 0 ? MSPACK_ERR_OK
                                                   : MSPACK_ERR_DECRUNCH;
            RethrowPending();
            if (unreachable) {
                n.fdie = fdieCabinetNotFound;
            } else if (result != MSPACK_ERR_OK && result != MSPACK_ERR_WRITE &&
                       result != MSPACK_ERR_NOMEMORY) {
                // This file fails; the folder's files after it cannot be trusted either. Only
                // an output that cannot be written or memory that runs out ends the copy.
                n.fdie = fdieCorruptCabinet;
                if (file->folder) {
                    const auto [at, added] = FDamaged.emplace(file->folder, file->offset);
                    if (!added) at->second = std::min(at->second, file->offset);
                }
            } else if (result != MSPACK_ERR_OK) {
                return Fail(ErrorOf(result));
            }
            n.hf = handle;
            n.cb = (file->attribs & RunAfterExtract) ? 1 : 0;
            n.attribs = static_cast<std::uint16_t>(file->attribs & ~RunAfterExtract);
            if (Notify(fdintCLOSE_FILE_INFO, n) == -1) return Fail(fdieUserAbort);
        }
        return passOver(records.Files.size());
    }

private:
    struct TSystem : mspack_system {
        TImpl* Owner = nullptr;
    };

    static TImpl& Of(mspack_system* Self) { return *static_cast<TSystem*>(Self)->Owner; }
    static TMsFile& FileOf(mspack_file* File) { return *reinterpret_cast<TMsFile*>(File); }
    static TImpl& OwnerOf(mspack_file* File) { return *static_cast<TImpl*>(FileOf(File).Owner); }

    // Every callback keeps exceptions out of the library: the first one is kept and thrown
    // on once the library call has returned.
    template <typename F, typename R> R Guard(R Failed, F Body) {
        if (FPending) return Failed;
        try {
            return Body();
        } catch (...) {
            FPending = std::current_exception();
            return Failed;
        }
    }
    void RethrowPending() {
        if (!FPending) return;
        std::exception_ptr pending = FPending;
        FPending = nullptr;
        std::rethrow_exception(pending);
    }

    static mspack_file* OpenFile(mspack_system* Self, const char* Name, int Mode) {
        TImpl& impl = Of(Self);
        return impl.Guard<>(static_cast<mspack_file*>(nullptr), [&]() -> mspack_file* {
            auto file = std::make_unique<TMsFile>();
            file->Owner = &impl;
            if (std::strcmp(Name, OutputName) == 0) {
                if (Mode != MSPACK_SYS_OPEN_WRITE) return nullptr;
                file->Handle = impl.FOutputHandle;
                file->Output = true;
            } else {
                if (Mode != MSPACK_SYS_OPEN_READ) return nullptr;
                if (Name[0] == PartPrefix) {
                    for (const TCabinetPart& part : impl.FParts)
                        if (part.Name == Name) file->Part = &part;
                    if (!file->Part) return nullptr;
                }
                file->Handle = impl.FFiles.Open(file->Part ? file->Part->Cabinet : Name, OpenReadBinary, 0);
                if (file->Handle == -1) return nullptr;
            }
            return reinterpret_cast<mspack_file*>(file.release());
        });
    }
    static void CloseFile(mspack_file* File) {
        std::unique_ptr<TMsFile> file(&FileOf(File));
        // The output's handle is the caller's, closed after its close-file notification.
        if (file->Output) return;
        TImpl& owner = *static_cast<TImpl*>(file->Owner);
        owner.Guard(0, [&] { return owner.FFiles.Close(file->Handle); });
    }
    static int ReadFile(mspack_file* File, void* Buffer, int Bytes) {
        TImpl& impl = OwnerOf(File);
        return impl.Guard(-1, [&] {
            TMsFile& file = FileOf(File);
            if (!file.Part) return static_cast<int>(impl.FFiles.Read(file.Handle, Buffer, Bytes));
            return static_cast<int>(impl.ReadPart(file, static_cast<std::uint8_t*>(Buffer), Bytes));
        });
    }
    static int WriteFile(mspack_file* File, void* Buffer, int Bytes) {
        TImpl& impl = OwnerOf(File);
        return impl.Guard(-1, [&] {
            const TMsFile& file = FileOf(File);
            if (!file.Output) return -1;
            return impl.FFiles.Write(file.Handle, Buffer, Bytes) == Bytes ? Bytes : -1;
        });
    }
    static int SeekFile(mspack_file* File, off_t Offset, int Mode) {
        TImpl& impl = OwnerOf(File);
        return impl.Guard(-1, [&] {
            TMsFile& file = FileOf(File);
            if (file.Output) return -1;
            if (file.Part) {
                std::int64_t base = 0;
                if (Mode == MSPACK_SYS_SEEK_CUR) base = file.Pos;
                if (Mode == MSPACK_SYS_SEEK_END) base = impl.FFiles.Seek(file.Handle, 0, 2);
                if (base < 0 || base + Offset < 0) return -1;
                file.Pos = base + Offset;
                return 0;
            }
            const std::int64_t at = impl.FFiles.Seek(file.Handle, Offset, Mode);
            if (at < 0 || (Mode == MSPACK_SYS_SEEK_START && at != Offset)) return -1;
            return 0;
        });
    }
    static off_t TellFile(mspack_file* File) {
        TImpl& impl = OwnerOf(File);
        return impl.Guard(off_t{-1}, [&] {
            const TMsFile& file = FileOf(File);
            if (file.Part) return static_cast<off_t>(file.Pos);
            return file.Output ? off_t{-1} : static_cast<off_t>(impl.FFiles.Seek(file.Handle, 0, 1));
        });
    }

    // Count bytes of a part at its position: its header, then the cabinet's bytes.
    std::int64_t ReadPart(TMsFile& File, std::uint8_t* Buffer, std::int64_t Count) {
        const std::string& header = File.Part->Header;
        std::int64_t done = 0;
        while (done < Count) {
            std::int64_t n = 0;
            if (File.Pos < std::ssize(header)) {
                n = std::min(Count - done, std::ssize(header) - File.Pos);
                std::memcpy(Buffer + done, header.data() + File.Pos, static_cast<std::size_t>(n));
            } else {
                if (FFiles.Seek(File.Handle, File.Pos, 0) != File.Pos) break;
                n = FFiles.Read(File.Handle, Buffer + done, Count - done);
                if (n <= 0) break;
            }
            File.Pos += n;
            done += n;
        }
        return done;
    }

    // A single cabinet of more than PartFolders folders, whose files follow their folders in
    // order, opened as parts (each a cabinet of consecutive folders with their files); none
    // when the cabinet is not such a one or a part cannot be opened.
    // The cabinet FullName read with Header in place of its first bytes; null when Header is
    // empty or the library cannot open it.
    mscabd_cabinet* OpenPart(const std::string& FullName, std::string Header) {
        if (Header.empty()) return nullptr;
        FParts.push_back({PartPrefix + std::to_string(++FPartNumber) + PartPrefix + FullName, FullName,
                          std::move(Header)});
        return OpenCabinet(FParts.back().Name);
    }

    std::vector<mscabd_cabinet*> OpenInParts(const std::string& FullName) {
        std::vector<std::string> headers = PartHeaders(FullName);
        std::vector<mscabd_cabinet*> parts;
        for (std::string& header : headers) {
            mscabd_cabinet* part = OpenPart(FullName, std::move(header));
            if (!part) {
                for (mscabd_cabinet* opened : parts)
                    FDecomp->close(FDecomp, opened);
                return {};
            }
            parts.push_back(part);
        }
        return parts;
    }

    // The headers of the parts of FullName (see OpenInParts); none when it is not split.
    std::vector<std::string> PartHeaders(const std::string& FullName) {
        const std::intptr_t handle = FFiles.Open(FullName, OpenReadBinary, 0);
        if (handle == -1) return {};
        std::vector<std::string> headers;
        try {
            headers = ReadPartHeaders(handle);
        } catch (...) {
            FFiles.Close(handle);
            throw;
        }
        FFiles.Close(handle);
        return headers;
    }

    std::vector<std::string> ReadPartHeaders(std::intptr_t Handle) {
        const auto read = [&](std::int64_t At, std::int64_t Count, std::string& Out) {
            Out.assign(static_cast<std::size_t>(Count), '\0');
            return FFiles.Seek(Handle, At, 0) == At && FFiles.Read(Handle, Out.data(), Count) == Count;
        };
        std::string head;
        if (!read(0, CabHeaderSize, head)) return {};
        const auto* h = reinterpret_cast<const std::uint8_t*>(head.data());
        const std::uint16_t flags = U16(h + 30);
        const std::size_t folders = U16(h + 26);
        const std::size_t files = U16(h + 28);
        if (U32(h) != CabSignature || h[25] != 1 || (flags & (CabHasPrev | CabHasNext)) ||
            folders <= PartFolders || files == 0)
            return {};
        std::string reserve; // the reserve sizes and the header's reserved bytes
        std::size_t folderSize = 8;
        if (flags & CabHasReserve) {
            if (!read(CabHeaderSize, 4, reserve)) return {};
            const auto* r = reinterpret_cast<const std::uint8_t*>(reserve.data());
            std::string reserved;
            if (!read(CabHeaderSize + 4, U16(r), reserved)) return {};
            reserve += reserved;
            folderSize += r[2];
        }
        std::string folderRecords;
        if (!read(CabHeaderSize + std::ssize(reserve), static_cast<std::int64_t>(folders * folderSize),
                  folderRecords))
            return {};
        // The file records: 16 bytes, then the name up to its NUL; read in blocks as they come.
        std::string fileRecords;
        const std::int64_t filesAt = U32(h + 16);
        const auto more = [&] {
            std::string block(65536, '\0');
            const std::int64_t at = filesAt + std::ssize(fileRecords);
            const std::int64_t n =
                FFiles.Seek(Handle, at, 0) == at ? FFiles.Read(Handle, block.data(), 65536) : 0;
            fileRecords.append(block, 0, static_cast<std::size_t>(std::max<std::int64_t>(n, 0)));
            return n > 0;
        };
        std::vector<std::string> fileOf;         // each file's record
        std::vector<std::uint16_t> folderOfFile; // and its folder
        std::size_t pos = 0;
        for (std::size_t i = 0; i < files; ++i) {
            while (fileRecords.size() < pos + 16 + 257 && more()) {
            }
            const std::size_t nul = fileRecords.find('\0', pos + 16);
            if (pos + 16 > fileRecords.size() || nul == std::string::npos || nul - pos - 16 > 256) return {};
            const std::uint16_t folder =
                U16(reinterpret_cast<const std::uint8_t*>(fileRecords.data() + pos + 8));
            // Files in another order than their folders keep the library's own reading.
            if (folder >= folders || folder >= FirstContinuedIndex ||
                (!folderOfFile.empty() && folder < folderOfFile.back()))
                return {};
            fileOf.push_back(fileRecords.substr(pos, nul + 1 - pos));
            folderOfFile.push_back(folder);
            pos = nul + 1;
        }
        // The data of the first folder lie behind every header: the parts' headers, which are
        // shorter than the cabinet's, never reach them.
        std::uint32_t firstData = 0xFFFFFFFF;
        for (std::size_t f = 0; f < folders; ++f)
            firstData = std::min(
                firstData, U32(reinterpret_cast<const std::uint8_t*>(folderRecords.data() + f * folderSize)));

        std::vector<std::string> headers;
        std::size_t file = 0;
        for (std::size_t first = 0; first < folders;) {
            // About PartFolders folders with their files, ending where a folder's files end.
            std::size_t end = std::min(folders, first + PartFolders);
            while (file < files && folderOfFile[file] < first)
                ++file;
            const std::size_t firstFile = file;
            std::size_t endFile = firstFile;
            while (endFile < files && folderOfFile[endFile] < end)
                ++endFile;
            if (endFile == firstFile) {
                // A part needs a file: folders without any join the part after them.
                if (endFile == files) {
                    if (headers.empty()) return {};
                    break;
                }
                end = std::min<std::size_t>(folders, folderOfFile[endFile] + 1u);
                while (endFile < files && folderOfFile[endFile] < end)
                    ++endFile;
            }
            if (endFile == files) end = folders;
            std::string part = head;
            auto* p = reinterpret_cast<std::uint8_t*>(part.data());
            const std::size_t count = end - first;
            const auto put16 = [](std::uint8_t* At, std::size_t V) {
                At[0] = static_cast<std::uint8_t>(V);
                At[1] = static_cast<std::uint8_t>(V >> 8);
            };
            const std::size_t partFilesAt = CabHeaderSize + reserve.size() + count * folderSize;
            for (int b = 0; b < 4; ++b)
                p[16 + b] = static_cast<std::uint8_t>(partFilesAt >> (8 * b));
            put16(p + 26, count);
            put16(p + 28, endFile - firstFile);
            part += reserve;
            part.append(folderRecords, first * folderSize, count * folderSize);
            for (std::size_t i = firstFile; i < endFile; ++i) {
                std::string record = fileOf[i];
                put16(reinterpret_cast<std::uint8_t*>(record.data() + 8), folderOfFile[i] - first);
                part += record;
            }
            if (part.size() > firstData) return {};
            headers.push_back(std::move(part));
            file = endFile;
            first = end;
        }
        return headers;
    }

    mscabd_cabinet* OpenCabinet(const std::string& FullName) {
        FNames.push_back(FullName);
        mscabd_cabinet* cab = FDecomp->open(FDecomp, FNames.back().data());
        RethrowPending();
        return cab;
    }

    const TCabRecords& RecordsOf(const std::string& FullName) {
        if (FRecordsOf != FullName) {
            FRecordsOf = FullName;
            FRecords = {};
            const std::intptr_t handle = FFiles.Open(FullName, OpenReadBinary, 0);
            if (handle != -1) {
                try {
                    FRecords = ReadCabRecords(FFiles, handle);
                } catch (...) {
                    FFiles.Close(handle);
                    throw;
                }
                FFiles.Close(handle);
            }
        }
        // Indexed again for each copy: a copy uses up the index.
        FRecordIndex.clear();
        for (std::size_t i = 0; i < FRecords.Files.size(); ++i) {
            const TCabRecords::TFile& f = FRecords.Files[i];
            FRecordIndex[{f.Offset, f.Length, f.Date, f.Time}].push_back(i);
        }
        return FRecords;
    }

    // The first record at or after From of the library's file (its offset, size and time):
    // the records' size when there is none.
    using TRecordKey = std::tuple<std::uint32_t, std::int64_t, std::uint16_t, std::uint16_t>;
    std::size_t RecordOf(const mscabd_file& File, const TFdiNotification& N, std::size_t From) {
        const auto found = FRecordIndex.find({File.offset, File.length, N.date, N.time});
        if (found == FRecordIndex.end()) return FRecords.Files.size();
        std::deque<std::size_t>& at = found->second;
        while (!at.empty() && at.front() < From)
            at.pop_front();
        return at.empty() ? FRecords.Files.size() : at.front();
    }

    // A cabinet the library cannot open: where its own records can be read, its faults are
    // told and each file that begins in it is failed by name; else the copy fails.
    bool Unreadable(const TCabRecords& Records, const std::string& CabinetPath, const TFdiNotify& Notify) {
        const int error = ErrorOf(FDecomp->last_error(FDecomp));
        if (!Records.Read || error == fdieAllocFail) return Fail(error);
        TFdiNotification info;
        info.psz1 = Records.NextName;
        info.psz2 = Records.NextDisk;
        info.psz3 = CabinetPath;
        info.setID = Records.SetID;
        info.iCabinet = Records.Index;
        info.Where = CabFaultText(Records, "the cabinet library cannot read it");
        if (!Call(Notify, fdintCABINET_INFO, info)) return false;
        mscabd_cabinet none{};
        none.set_id = Records.SetID;
        none.set_index = Records.Index;
        for (const TCabRecords::TFile& file : Records.Files)
            if (!file.ContinuedFromPrev() && !Refuse(Notify, file, none, "its cabinet cannot be read"))
                return false;
        return true;
    }

    // Tells a file that is not copied, by its record, as a partial file with what is wrong.
    bool Refuse(const TFdiNotify& Notify, const TCabRecords::TFile& File, const mscabd_cabinet& Own,
                const std::string& Why) {
        TFdiNotification n;
        n.cb = File.Length;
        n.psz1 = File.Name;
        n.date = File.Date;
        n.time = File.Time;
        n.attribs = static_cast<std::uint16_t>(File.Attribs & ~RunAfterExtract);
        n.setID = Own.set_id;
        n.iCabinet = Own.set_index;
        n.iFolder = File.Folder;
        n.fdie = fdieCorruptCabinet;
        n.Where = File.Fault.empty() ? Why : File.Fault;
        return Call(Notify, fdintPARTIAL_FILE, n);
    }

    // Joins Next behind the set's last cabinet; false (Next closed) when it does not belong.
    bool Joins(mscabd_cabinet* Next) {
        if (Next->set_id != FLast->set_id || Next->set_index != FLast->set_index + 1 ||
            FDecomp->append(FDecomp, FLast, Next) != MSPACK_ERR_OK) {
            FDecomp->close(FDecomp, Next);
            return false;
        }
        return true;
    }

    // Whether the file lies at or after the place in its folder where decoding failed.
    bool AfterDamage(const mscabd_file& File) const {
        const auto found = FDamaged.find(File.folder);
        return found != FDamaged.end() && File.offset >= found->second;
    }

    // The previous cabinet's name and disk, which follow the header (and its reserved bytes).
    void ReadPrevious(std::intptr_t Handle, TFdiCabinetInfo& Info) {
        std::int64_t at = CabHeaderSize;
        if (Info.fReserve) {
            std::uint8_t r[4];
            if (FFiles.Seek(Handle, at, 0) != at || FFiles.Read(Handle, r, 4) != 4) return;
            at += 4 + U16(r);
        }
        // Each name ends in a NUL within 256 bytes.
        std::string names(2 * 256, '\0');
        if (FFiles.Seek(Handle, at, 0) != at) return;
        const std::int64_t got = FFiles.Read(Handle, names.data(), std::ssize(names));
        names.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
        const std::size_t end = names.find('\0');
        if (end == std::string::npos || end > 255) return;
        const std::size_t diskEnd = names.find('\0', end + 1);
        Info.PrevCabinet = names.substr(0, end);
        if (diskEnd != std::string::npos) Info.PrevDisk = names.substr(end + 1, diskEnd - end - 1);
    }

    // Whether the file's data run on behind the last block of the set's last cabinet.
    bool NeedsNextCabinet(const mscabd_file& File) const {
        if (!(FLast->flags & MSCAB_HDR_NEXTCAB) || !File.folder || File.folder->next) return false;
        const std::int64_t whole = (static_cast<std::int64_t>(File.folder->num_blocks) - 1) * BlockSize;
        return static_cast<std::int64_t>(File.offset) + File.length > whole;
    }

    // Joins the next cabinet of the set; false when it cannot be had (with the error record set
    // when the copy is to end).
    bool JoinNext(const TFdiNotify& Notify) {
        TFdiNotification n;
        n.psz1 = FLast->nextname ? FLast->nextname : "";
        n.psz2 = FLast->nextinfo ? FLast->nextinfo : "";
        n.psz3 = FPath;
        n.setID = FLast->set_id;
        n.iCabinet = static_cast<std::uint16_t>(FLast->set_index + 1);
        std::string tried;
        for (int attempt = 0; attempt < NextCabinetAttempts; ++attempt) {
            if (Notify(fdintNEXT_CABINET, n) == -1) return Fail(fdieUserAbort);
            const std::string full = n.psz3 + n.psz1;
            // None, or the one that failed given again.
            if (n.psz1.empty() || full == tried) return false;
            tried = full;
            const int before = FileCount();
            mscabd_cabinet* next = OpenCabinet(full);
            if (!next) {
                n.fdie = fdieCabinetNotFound;
                continue;
            }
            if (!Joins(next)) {
                n.fdie = fdieWrongCabinet;
                continue;
            }
            FJoined.push_back({full, next, before});
            FLast = next;
            IndexSet();
            FPath = n.psz3;
            return true;
        }
        return false;
    }

    // The file's data into the output handle: by FMsZip where it reads the file's folder, else
    // by the library.
    int Extract(mscabd_file& File) {
        const mscabd_folder* folder = File.folder;
        const std::uint16_t index = folder ? FolderIndex(folder) : 0;
        if (!folder || !FMsZip.Reads(index, static_cast<std::uint16_t>(folder->comp_type),
                                     static_cast<std::uint16_t>(folder->num_blocks)))
            return FDecomp->extract(FDecomp, &File, OutputName);
        return FMsZip.Extract(index, File.offset, File.length,
                              [&](const std::uint8_t* Data, std::int64_t Count) {
                                  return FFiles.Write(FOutputHandle, Data, Count) == Count;
                              });
    }

    std::size_t FindJoined(const std::string& Name) const {
        std::size_t k = 0;
        while (k < FJoined.size() && FJoined[k].Name != Name)
            ++k;
        return k;
    }

    bool Call(const TFdiNotify& Notify, TFdiNotificationType Type, TFdiNotification& N) {
        return Notify(Type, N) != -1 || Fail(fdieUserAbort);
    }

    bool Fail(int Error) {
        FErf.erfOper = Error;
        FErf.erfType = 0;
        FErf.fError = true;
        return false;
    }

    // The set's files and folders in order, indexed once per change of the set: a walk of the
    // library's lists per file would make a copy quadratic in the files.
    void IndexSet() {
        FFileList.clear();
        FFolderIndex.clear();
        if (!FSet) return;
        std::uint16_t index = 0;
        const auto add = [&](const mscabd_cabinet* Cabinet) {
            for (mscabd_file* f = Cabinet->files; f; f = f->next)
                FFileList.push_back(f);
            for (const mscabd_folder* f = Cabinet->folders; f; f = f->next)
                FFolderIndex.emplace(f, index++);
        };
        add(FSet);
        for (const mscabd_cabinet* part : FMoreParts)
            add(part);
    }
    int FileCount() const { return static_cast<int>(FFileList.size()); }
    mscabd_file* FileAt(int Index) const {
        return Index >= 0 && Index < FileCount() ? FFileList[static_cast<std::size_t>(Index)] : nullptr;
    }
    std::uint16_t FolderIndex(const mscabd_folder* Folder) const {
        const auto it = FFolderIndex.find(Folder);
        return it == FFolderIndex.end() ? static_cast<std::uint16_t>(FFolderIndex.size()) : it->second;
    }

    TFdiNotification Describe(const mscabd_file& File, const mscabd_cabinet& Own) const {
        TFdiNotification n;
        n.cb = File.length;
        n.psz1 = File.filename ? File.filename : "";
        n.date = static_cast<std::uint16_t>(((File.date_y - 1980) << 9) | (File.date_m << 5) | File.date_d);
        n.time = static_cast<std::uint16_t>((File.time_h << 11) | (File.time_m << 5) | (File.time_s / 2));
        n.attribs = static_cast<std::uint16_t>(File.attribs);
        n.setID = Own.set_id;
        n.iCabinet = Own.set_index;
        n.iFolder = FolderIndex(File.folder);
        return n;
    }

    void CloseSet() {
        if (FSet) FDecomp->close(FDecomp, FSet);
        for (mscabd_cabinet* part : FMoreParts)
            FDecomp->close(FDecomp, part);
        FMoreParts.clear();
        FSet = FLast = nullptr;
        IndexSet();
        FJoined.clear();
        FEnteredMidSet = false;
        FBroken = false;
        FDamaged.clear();
    }

    TSystem FSystem{};
    TFdiFiles& FFiles;
    TFdiErf& FErf;
    mscab_decompressor* FDecomp = nullptr;
    mscabd_cabinet* FSet = nullptr;  // the set's first cabinet (the one closed)
    mscabd_cabinet* FLast = nullptr; // its last cabinet joined so far
    // A cabinet of many folders opened in parts: FSet is the first, these are the others.
    std::vector<mscabd_cabinet*> FMoreParts;
    std::deque<TCabinetPart> FParts; // of the set, and any opened since
    int FPartNumber = 0;             // of the last part made
    // The cabinets of the set, in order, with the index of the first file that begins in each.
    struct TJoined {
        std::string Name;
        mscabd_cabinet* Cabinet = nullptr;
        int FirstFile = 0;
        bool Rebuilt = false; // opened with a header rebuilt from its records
    };
    std::vector<TJoined> FJoined;
    std::string FPath;
    bool FEnteredMidSet = false; // the set's first cabinet continues one not seen
    bool FBroken = false;        // the set's next cabinet cannot be had
    // The records of the cabinet read last.
    std::string FRecordsOf;
    TCabRecords FRecords;
    std::map<TRecordKey, std::deque<std::size_t>> FRecordIndex;
    // The folders whose decoding failed, with the lowest offset of a file that failed.
    std::unordered_map<const mscabd_folder*, std::uint32_t> FDamaged;
    // Names the library keeps pointers to, for the life of the context: a cabinet opened
    // before the set it replaces is closed keeps its name.
    std::deque<std::string> FNames;
    std::intptr_t FOutputHandle = 0;
    std::exception_ptr FPending;
    std::vector<mscabd_file*> FFileList;
    std::unordered_map<const mscabd_folder*, std::uint16_t> FFolderIndex;
    TFdiMsZipFolders FMsZip;
};

std::unique_ptr<TFdiContext> TFdiContext::Create(TFdiFiles& Files, TFdiErf& Erf) {
    Erf = {};
    auto impl = std::make_unique<TImpl>(Files, Erf);
    if (!impl->Init()) {
        Erf = {fdieAllocFail, 0, true};
        return nullptr;
    }
    return std::unique_ptr<TFdiContext>(new TFdiContext(std::move(impl)));
}

TFdiContext::TFdiContext(std::unique_ptr<TImpl> Impl) : FImpl(std::move(Impl)) {}

TFdiContext::~TFdiContext() = default;

bool TFdiContext::IsCabinet(std::intptr_t Handle, TFdiCabinetInfo& Info) {
    return FImpl->IsCabinet(Handle, Info);
}

bool TFdiContext::Copy(const std::string& CabinetName, const std::string& CabinetPath,
                       const TFdiNotify& Notify) {
    return FImpl->Copy(CabinetName, CabinetPath, Notify);
}
