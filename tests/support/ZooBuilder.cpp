#include "ZooBuilder.h"

#include "engine/core/krvCrc.h"

#include <map>
#include <utility>

namespace testsupport {

namespace {

constexpr std::uint32_t ZooTag = 0xFDC4A7DC;
constexpr std::uint32_t FirstEntry = 64;

void Put(std::string& Out, std::uint32_t Value, int Bytes) {
    for (int i = 0; i < Bytes; ++i)
        Out += static_cast<char>((Value >> (8 * i)) & 0xFF);
}

void PutAt(std::string& Out, std::size_t At, std::uint32_t Value) {
    for (int i = 0; i < 4; ++i)
        Out[At + static_cast<std::size_t>(i)] = static_cast<char>((Value >> (8 * i)) & 0xFF);
}

// A type 2 directory entry without its positions (filled in by the caller).
std::string DirEntry(const ZooItem& Item) {
    std::uint16_t crc = 0;
    UpdateCrc16Buf(Item.Plain.data(), static_cast<std::int64_t>(Item.Plain.size()), crc);
    std::string e;
    Put(e, ZooTag, 4);
    e += '\x02';
    e += static_cast<char>(Item.Method);
    Put(e, 0, 4); // next
    Put(e, 0, 4); // data
    Put(e, 0x5A8B, 2);
    Put(e, 0x6000, 2);
    Put(e, crc, 2);
    Put(e, static_cast<std::uint32_t>(Item.Plain.size()), 4);
    Put(e, static_cast<std::uint32_t>(Item.Packed.size()), 4);
    e += '\x02'; // versions
    e += '\x01';
    e += Item.Deleted ? '\x01' : '\x00';
    e += '\x00';  // structure
    Put(e, 0, 4); // comment
    Put(e, 0, 2);
    std::string shortName = Item.ShortName;
    shortName.resize(13, '\0');
    e += shortName;
    const std::string longName = Item.LongName.empty() ? "" : Item.LongName + '\0';
    const std::string folder = Item.Folder.empty() ? "" : Item.Folder + '\0';
    std::string var;
    var += static_cast<char>(longName.size());
    var += static_cast<char>(folder.size());
    var += longName + folder;
    Put(var, 0, 2);        // system: Unix
    Put(var, 0x4001A4, 3); // permissions 0644, marked as given
    Put(var, 0, 4);        // version flag and number
    Put(e, static_cast<std::uint32_t>(var.size()), 2);
    e += '\x7F'; // no time zone
    Put(e, 0, 2);
    return e + var;
}

} // namespace

std::string MakeZooArchive(const std::vector<ZooItem>& Items, int LinkBack) {
    std::string out = "ZOO 2.10 Archive.\x1A";
    out.resize(20, '\0');
    Put(out, ZooTag, 4);
    Put(out, FirstEntry, 4);
    Put(out, static_cast<std::uint32_t>(-static_cast<std::int32_t>(FirstEntry)), 4);
    out += "\x02\x01\x01"; // versions and header type
    out.resize(FirstEntry, '\0');
    std::vector<std::size_t> entryPos;
    for (const ZooItem& item : Items) {
        entryPos.push_back(out.size());
        const std::string e = DirEntry(item);
        out += e;
        PutAt(out, entryPos.back() + 10, static_cast<std::uint32_t>(out.size()));
        out += item.Packed;
        PutAt(out, entryPos.back() + 6, static_cast<std::uint32_t>(out.size()));
    }
    if (LinkBack >= 0 && !entryPos.empty())
        PutAt(out, entryPos.back() + 6,
              static_cast<std::uint32_t>(entryPos[static_cast<std::size_t>(LinkBack)]));
    // The closing entry: next 0.
    std::string end;
    Put(end, ZooTag, 4);
    end += '\x02';
    end.resize(64, '\0');
    return out + end;
}

std::string ZooLzwEncode(const std::string& Data) {
    constexpr int clearCode = 256;
    constexpr int endCode = 257;
    constexpr int firstFree = 258;
    constexpr int tableSize = 8192;
    std::string out;
    std::uint32_t bits = 0;
    int bitCount = 0;
    // The decoder's view: it adds a string for every code but the first after a clear.
    int width = 9;
    int limit = 512;
    int decoderNext = firstFree;
    bool first = true;
    auto emit = [&](int Code) {
        bits |= static_cast<std::uint32_t>(Code) << bitCount;
        bitCount += width;
        while (bitCount >= 8) {
            out += static_cast<char>(bits & 0xFF);
            bits >>= 8;
            bitCount -= 8;
        }
        if (Code == clearCode) {
            width = 9;
            limit = 512;
            decoderNext = firstFree;
            first = true;
            return;
        }
        if (first) {
            first = false;
            return;
        }
        if (decoderNext < tableSize && ++decoderNext >= limit && width < 13) {
            ++width;
            limit <<= 1;
        }
    };
    std::map<std::pair<int, std::uint8_t>, int> table;
    int next = firstFree;
    emit(clearCode);
    if (!Data.empty()) {
        int w = static_cast<std::uint8_t>(Data[0]);
        for (std::size_t i = 1; i < Data.size(); ++i) {
            const auto c = static_cast<std::uint8_t>(Data[i]);
            const auto found = table.find({w, c});
            if (found != table.end()) {
                w = found->second;
                continue;
            }
            emit(w);
            table[{w, c}] = next++;
            if (next == tableSize) {
                emit(clearCode);
                table.clear();
                next = firstFree;
            }
            w = c;
        }
        emit(w);
    }
    emit(endCode);
    if (bitCount > 0) out += static_cast<char>(bits & 0xFF);
    return out;
}

} // namespace testsupport
