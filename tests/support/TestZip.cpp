#include "TestZip.h"

#include <zlib.h>

namespace testsupport {

namespace {

void Put16(std::string& Out, std::uint32_t V) {
    Out += static_cast<char>(V & 0xFF);
    Out += static_cast<char>((V >> 8) & 0xFF);
}

void Put32(std::string& Out, std::uint32_t V) {
    Put16(Out, V & 0xFFFF);
    Put16(Out, V >> 16);
}

} // namespace

std::uint32_t Crc32Of(const std::string& Data) {
    return static_cast<std::uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(Data.data()), static_cast<z_size_t>(Data.size())));
}

std::string DeflateRaw(const std::string& Data, int Level) {
    z_stream z{};
    deflateInit2(&z, Level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, static_cast<uLong>(Data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    z.avail_in = static_cast<uInt>(Data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

TestZip& TestZip::Add(const TestZipEntry& Entry) {
    FEntries.push_back(Entry);
    return *this;
}

TestZip& TestZip::AddUnix(const std::string& Name, const std::string& Data, std::uint32_t Mode) {
    TestZipEntry e{Name, Data};
    e.VersionMadeBy = 0x031E;
    e.ExternalAttr = (Mode << 16) | ((Mode & 0170000) == 0040000 ? 0x10 : 0);
    return Add(e);
}

std::string TestZip::Bytes() const {
    std::string out, central;
    for (const TestZipEntry& e : FEntries) {
        const std::string& packed = e.Method == 0 && e.Packed.empty() ? e.Data : e.Packed;
        const std::uint32_t offset = static_cast<std::uint32_t>(out.size());
        const std::uint32_t crc = Crc32Of(e.Data);
        Put32(out, 0x04034B50);
        Put16(out, 20);
        Put16(out, e.Flags);
        Put16(out, e.Method);
        Put32(out, e.DosDateTime);
        Put32(out, crc);
        Put32(out, static_cast<std::uint32_t>(packed.size()));
        Put32(out, static_cast<std::uint32_t>(e.Data.size()));
        Put16(out, static_cast<std::uint32_t>(e.Name.size()));
        Put16(out, 0);
        out += e.Name;
        out += packed;

        Put32(central, 0x02014B50);
        Put16(central, e.VersionMadeBy);
        Put16(central, 20);
        Put16(central, e.Flags);
        Put16(central, e.Method);
        Put32(central, e.DosDateTime);
        Put32(central, crc);
        Put32(central, static_cast<std::uint32_t>(packed.size()));
        Put32(central, static_cast<std::uint32_t>(e.Data.size()));
        Put16(central, static_cast<std::uint32_t>(e.Name.size()));
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put16(central, 0);
        Put32(central, e.ExternalAttr);
        Put32(central, offset);
        central += e.Name;
    }
    const std::uint32_t centralPos = static_cast<std::uint32_t>(out.size());
    out += central;
    Put32(out, 0x06054B50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<std::uint32_t>(FEntries.size()));
    Put16(out, static_cast<std::uint32_t>(FEntries.size()));
    Put32(out, static_cast<std::uint32_t>(central.size()));
    Put32(out, centralPos);
    Put16(out, 0);
    return out;
}

} // namespace testsupport
