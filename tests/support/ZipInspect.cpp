#include "ZipInspect.h"

#include "TestSupport.h"

#include "engine/core/krvByteAccess.h"
#include "engine/core/krvRegisterKorva.h"
#include "engine/core/krvStreams.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace testsupport {

ZipContents InspectZip(const std::filesystem::path& Path) {
    ZipContents zip;
    const std::string bytes = ReadFile(Path);
    auto at = [&](std::size_t Pos) { return reinterpret_cast<const std::uint8_t*>(bytes.data()) + Pos; };
    std::uint8_t status = fsOpenOk;
    TFileStream32 stream(Path.string(), fmOpenRead, status);
    EXPECT_EQ(status, fsOpenOk) << Path;
    TRegisterKorva korva;
    const std::int64_t dir = korva.LocateZipDirectory(stream);
    if (!(korva.HeaderState & htEnding)) {
        ADD_FAILURE() << "no end record in " << Path;
        return zip;
    }
    zip.End = TZipEndRecord::FromBytes(korva.EndRecord.data());
    if (korva.ZipCommentPos > 0)
        zip.Comment.assign(at(static_cast<std::size_t>(korva.ZipCommentPos)),
                           at(static_cast<std::size_t>(korva.ZipCommentPos)) + zip.End.CommentLength);
    std::size_t p = static_cast<std::size_t>(std::max<std::int64_t>(dir, 0));
    zip.FirstEntry = static_cast<std::int64_t>(bytes.size());
    for (int i = 0; i < zip.End.TotalEntries; ++i) {
        if (p + 46 > bytes.size()) {
            ADD_FAILURE() << "directory cut short in " << Path;
            break;
        }
        std::array<std::uint8_t, 46> rec{};
        std::copy_n(at(p), 46, rec.begin());
        bool enciphered = false;
        if (TRegisterKorva::ZipHeaderKind(GetU32LE(rec.data()), zkCentral, enciphered) != zkCentral) {
            ADD_FAILURE() << "bad central record " << i << " in " << Path;
            break;
        }
        if (enciphered) korva.DecryptZipHeader(rec, zkCentral);
        ZipEntryBytes e;
        e.Central = TZipCentralHeader::FromBytes(rec.data());
        const std::size_t n = e.Central.NameLength, m = e.Central.ExtraLength, k = e.Central.CommentLength;
        e.Name.assign(bytes, p + 46, n);
        if (enciphered) korva.DecryptHeaderBuf(e.Name.data(), static_cast<std::int64_t>(n));
        e.Extra.assign(at(p + 46 + n), at(p + 46 + n + m));
        e.Comment.assign(at(p + 46 + n + m), at(p + 46 + n + m + k));
        e.CentralRecord = bytes.substr(p, 46 + n + m + k);
        e.CentralRecord.replace(42, 4, 4, '\0');
        p += 46 + n + m + k;

        const std::size_t local =
            e.Central.LocalHeaderOffset + static_cast<std::size_t>(korva.ZipOffsetCorrection);
        zip.FirstEntry = std::min<std::int64_t>(zip.FirstEntry, static_cast<std::int64_t>(local));
        std::array<std::uint8_t, 30> lrec{};
        if (local + 30 > bytes.size()) {
            ADD_FAILURE() << "local header outside " << Path;
            break;
        }
        std::copy_n(at(local), 30, lrec.begin());
        bool localEnciphered = false;
        EXPECT_EQ(TRegisterKorva::ZipHeaderKind(GetU32LE(lrec.data()), zkLocal, localEnciphered), zkLocal);
        if (localEnciphered) korva.DecryptZipHeader(lrec, zkLocal);
        e.Local = TZipLocalHeader::FromBytes(lrec.data());
        e.LocalName.assign(bytes, local + 30, e.Local.NameLength);
        if (localEnciphered) korva.DecryptHeaderBuf(e.LocalName.data(), e.Local.NameLength);
        std::size_t length = 30 + e.Local.NameLength + e.Local.ExtraLength + e.Central.CompressedSize;
        if (e.Central.Flags & zfDescriptor) {
            const std::size_t d = local + length;
            length += (d + 4 <= bytes.size() && GetU32LE(at(d)) == ZipDescriptorSig) ? 16 : 12;
        }
        e.Span = bytes.substr(local, length);
        zip.Entries.push_back(std::move(e));
    }
    return zip;
}

const ZipEntryBytes* FindEntry(const ZipContents& Zip, const std::string& Name) {
    for (const ZipEntryBytes& e : Zip.Entries)
        if (e.Name == Name) return &e;
    return nullptr;
}

std::string EntryData(const std::filesystem::path& /*Path*/, const ZipEntryBytes& Entry) {
    const std::size_t start = 30 + Entry.Local.NameLength + Entry.Local.ExtraLength;
    const std::string packed = Entry.Span.substr(start, Entry.Central.CompressedSize);
    if (Entry.Central.Method == 0) return packed;
    std::string out(Entry.Central.UncompressedSize, '\0');
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    EXPECT_TRUE(rc == Z_STREAM_END) << "inflate " << rc << " for " << Entry.Name;
    return out;
}

} // namespace testsupport
