// The bh writer, checked byte by byte: every header field, the CRC-32, deflate data that zlib
// inflates, method-3 data that the LZH decoder takes with bh's parameters, the cipher under
// the right password and not under a wrong one; updates keep entries with extra fields whole.
// (Round trips through the engine's bh reader belong beside that reader.)
#include "tests/engine/formats/zip/ZipWriterFixture.h"

#include "engine/codec/krvLzhDecode.h"
#include "engine/formats/bh/krvBhRecords.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvCrypt.h"
#include "engine/formats/bh/krvBlakHole.h"

#include <zlib.h>

using namespace testsupport;

namespace {

struct TBhItem {
    TBhHeader Entry;
    std::string Bytes; // header to the end of the data
    std::string Data;  // the packed data, cipher header included
};

std::map<std::string, TBhItem> WalkBh(const fs::path& Archive) {
    const std::string data = ReadFile(Archive);
    const auto size = static_cast<std::int64_t>(data.size());
    const TReadAtFunc read = [&](std::int64_t At, void* Buffer, std::int64_t Count) -> std::int64_t {
        const std::int64_t n = std::clamp<std::int64_t>(size - At, 0, Count);
        std::copy_n(data.data() + At, n, static_cast<char*>(Buffer));
        return n;
    };
    std::map<std::string, TBhItem> out;
    TBhHeader e;
    std::int64_t pos = 0;
    TBhRead r;
    while ((r = ReadBhHeader(read, pos, size, e)) == TBhRead::Ok) {
        const auto at = static_cast<std::size_t>(e.HeaderPos);
        out[e.Name] = {e, data.substr(at, static_cast<std::size_t>(e.NextPos - e.HeaderPos)),
                       data.substr(static_cast<std::size_t>(e.DataPos), e.Image.PackedSize)};
        pos = e.NextPos;
    }
    EXPECT_EQ(r, TBhRead::End) << Archive;
    return out;
}

std::uint32_t Crc32(const std::string& Data) {
    std::uint32_t crc = 0xFFFFFFFFU;
    UpdateCrc32Buf(Data.data(), static_cast<std::int64_t>(Data.size()), crc);
    return Data.empty() ? 0 : crc ^ 0xFFFFFFFFU;
}

std::string Inflate(const std::string& Packed, std::size_t Size) {
    std::string out(Size, '\0');
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Packed.data()));
    z.avail_in = static_cast<uInt>(Packed.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(Size);
    const int rc = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return rc == Z_STREAM_END ? out : "inflate failed";
}

std::string LzhDecodeBh(const std::string& Packed, std::int64_t Size) {
    std::string out;
    std::size_t at = 0;
    TDecoderIO io;
    io.Input = [&](std::uint8_t* Buffer, std::int64_t Count) {
        const std::size_t n = std::min(Packed.size() - at, static_cast<std::size_t>(Count));
        std::copy_n(Packed.data() + at, n, Buffer);
        at += n;
        return static_cast<std::int64_t>(n);
    };
    io.Output = [&](const std::uint8_t* Buffer, std::int64_t Count) {
        out.append(reinterpret_cast<const char*>(Buffer), static_cast<std::size_t>(Count));
    };
    io.PackedSize = static_cast<std::int64_t>(Packed.size());
    io.UnpackedSize = Size;
    return LzhDecode(io, TLzhParams{15, 5}).ErrorCode == 0 ? out : "decode failed";
}

// The plain data of an entry under Password ("" for none): deciphered, checked against the
// cipher header's check byte and decoded by the method; empty with Failed set when any step
// fails.
std::string PlainData(const TBhItem& Item, const std::string& Password, bool& Failed) {
    const TBhImage& h = Item.Entry.Image;
    std::string data = Item.Data;
    Failed = false;
    if (h.Flags & BhEnciphered) {
        TZipCipher c;
        c.InitCryptKeys(Password);
        c.DecryptBuf(data.data(), static_cast<std::int64_t>(data.size()));
        if (static_cast<std::uint8_t>(data[CryptHeaderSize - 1]) != h.Crc >> 24) {
            Failed = true;
            return {};
        }
        data.erase(0, CryptHeaderSize);
    }
    std::string plain = h.Method == BhDeflate ? Inflate(data, h.UnpackedSize)
                        : h.Method == BhLzh15 ? LzhDecodeBh(data, h.UnpackedSize)
                                              : data;
    Failed = Crc32(plain) != h.Crc;
    return plain;
}

class BlakHoleTest : public ZipWriterFixture {
protected:
    BlakHoleTest() { ArchiveName = "out.bh"; }
    void SetUp() override {
        ZipWriterFixture::SetUp();
        Put("empty", "");
        Put("one", "1");
        Put("text.txt", TextBytes(100000, 1));
        Put("random.bin", RandomBytes(50000, 2));
        Put("fibonacci.txt", FibonacciBytes(22));
        Put("sub/caf\xc3\xa9 \xe6\x97\xa5.txt", TextBytes(3000, 3));
        fs::create_directories(Src() / "sub" / "empty folder");
    }
};

TEST_F(BlakHoleTest, EachMethodWithAndWithoutPasswordWritesWhatTheFormatReadsBack) {
    const std::map<std::string, std::string> sources = Sources();
    for (const TCompressMethod method : {cmDeflate, cmFuse}) {
        for (const std::string password : {"", "s3cret pass"}) {
            SCOPED_TRACE(std::string(method == cmFuse ? "fuse" : "deflate") + " '" + password + "'");
            fs::remove(Archive());
            auto bh = Writer<TBlakHole>(Archive());
            bh->SetCompressMethod(method);
            bh->Password = password;
            bh->StoreEmptySubDirs = true;
            ASSERT_EQ(bh->Compress(), 7);
            EXPECT_TRUE(Errors.empty());

            const std::map<std::string, TBhItem> items = WalkBh(Archive());
            ASSERT_EQ(items.size(), 7U);
            const TBhImage& folder = items.at("sub/empty folder/").Entry.Image;
            EXPECT_EQ(folder.Attr, 0x10);
            EXPECT_EQ(folder.PackedSize, 0U);
            for (const auto& [name, source] : sources) {
                SCOPED_TRACE(name);
                ASSERT_EQ(items.count(name), 1U);
                const TBhItem& item = items.at(name);
                const TBhImage& h = item.Entry.Image;
                EXPECT_EQ(h.TotalLength, 37 + name.size());
                EXPECT_EQ(h.HeaderSize, 37);
                EXPECT_EQ(h.VersionMadeBy, 4);
                EXPECT_EQ(h.VersionNeeded, 8);
                EXPECT_EQ(h.ExtraLength, 0);
                EXPECT_EQ(h.UnpackedSize, source.size());
                EXPECT_EQ(h.Crc, Crc32(source));
                // Deflate keeps what it made (as the zip writer does); LZH gives up on random data.
                const bool stored = source.size() <= 1 || (method == cmFuse && name == "random.bin");
                EXPECT_EQ(h.Method, stored ? 0 : method == cmFuse ? 3 : 8);
                const bool enciphered = !password.empty() && !source.empty();
                EXPECT_EQ(h.Flags & BhEnciphered, enciphered ? 1 : 0);
                EXPECT_EQ(h.PackedSize,
                          (stored ? source.size() : h.PackedSize) + (stored && enciphered ? 12 : 0));
                bool failed = false;
                EXPECT_TRUE(PlainData(item, password, failed) == source);
                EXPECT_FALSE(failed);
                if (enciphered) {
                    const std::string wrong = PlainData(item, "wrong", failed);
                    EXPECT_TRUE(failed || wrong != source);
                }
            }
        }
    }
}

// A bh archive of stored entries, each with an extra field of ten bytes.
std::string WithExtraFields(const std::vector<std::pair<std::string, std::string>>& Files) {
    std::string out;
    for (const auto& [name, data] : Files) {
        TBhImage h;
        h.NameLength = static_cast<std::uint16_t>(name.size());
        h.ExtraLength = 10;
        h.TotalLength = static_cast<std::uint16_t>(37 + name.size() + 10);
        h.PackedSize = h.UnpackedSize = static_cast<std::uint32_t>(data.size());
        h.Crc = Crc32(data);
        h.DosDateTime = 0x5A8C4C21;
        h.Attr = 0x20;
        const auto image = h.Image();
        out.append(image.begin(), image.end()).append(name).append("EXTRAFIELD").append(data);
    }
    return out;
}

TEST_F(BlakHoleTest, UpdatesKeepEntriesWithExtraFieldsWhole) {
    const std::string old =
        WithExtraFields({{"a.txt", TextBytes(3000, 5)}, {"one", "other data"}, {"c.txt", "c"}});
    WriteFile(Archive(), old);
    const std::map<std::string, TBhItem> before = WalkBh(Archive());
    ASSERT_EQ(before.size(), 3U);

    // "one" gathered again but not to replace the entry: the entry is renamed.
    auto bh = Writer<TBlakHole>(Archive());
    bh->SetCompressMethod(cmFuse);
    bh->OnReplaceFile = [](TZipCommon&, const std::string&, const std::string&, TDateTime, TDateTime,
                           std::int64_t, std::int64_t, int, int, bool& Replace) { Replace = false; };
    bh->OnRenameDupeFile = [](TZipCommon&, const std::string&, std::string& NewName, bool& Rename) {
        NewName = "one renamed";
        Rename = true;
    };
    ASSERT_EQ(bh->Compress(), 6);
    EXPECT_TRUE(Errors.empty());
    std::map<std::string, TBhItem> after = WalkBh(Archive());
    ASSERT_EQ(after.size(), 9U);
    EXPECT_TRUE(after.at("a.txt").Bytes == before.at("a.txt").Bytes);
    EXPECT_TRUE(after.at("c.txt").Bytes == before.at("c.txt").Bytes);
    const TBhItem& renamed = after.at("one renamed");
    EXPECT_EQ(renamed.Entry.Image.TotalLength, 37 + 11 + 10);
    EXPECT_EQ(renamed.Bytes.substr(37 + 11), before.at("one").Bytes.substr(37 + 3)); // extra field and data
    bool failed = false;
    EXPECT_EQ(PlainData(after.at("one"), "", failed), "1");

    // Deleting leaves the others as they were.
    auto del = Writer<TBlakHole>(Archive());
    del->Switch = swDelete;
    del->FileSpec = {"one*"};
    ASSERT_EQ(del->Compress(), 2);
    const std::map<std::string, TBhItem> left = WalkBh(Archive());
    ASSERT_EQ(left.size(), 7U);
    for (const auto& [name, item] : left)
        EXPECT_TRUE(item.Bytes == after.at(name).Bytes) << name;
}

TEST_F(BlakHoleTest, AnArchiveWithBytesThatAreNoEntryIsNotRewritten) {
    const std::string old = WithExtraFields({{"a.txt", "a"}}) + "this is no bh header at all, just bytes";
    WriteFile(Archive(), old);
    auto bh = Writer<TBlakHole>(Archive());
    EXPECT_EQ(bh->Compress(), 0);
    EXPECT_EQ(Errors, std::vector<int>{ecBadFileHeader});
    EXPECT_EQ(ReadFile(Archive()), old);
    EXPECT_TRUE(Strays().empty());
}

} // namespace
