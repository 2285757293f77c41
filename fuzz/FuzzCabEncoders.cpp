// Round-trip fuzz target of the LZX and Quantum encoders: the input (its first byte picks the
// method and window) is written as one file of a cabinet through the cabinet library layer,
// libmspack decodes the cabinet, and what comes out must be the input, byte for byte.
#include "ScratchFile.h"
#include "engine/formats/cab/krvCabCompressors.h"
#include "platform/CabinetFci.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mspack.h>

namespace {

class TFileOutput : public TFciOutput {
public:
    explicit TFileOutput(const std::string& Name) : FOut(Name, std::ios::binary | std::ios::trunc) {}
    bool Write(const void* Buffer, std::int64_t Count) override {
        FOut.write(static_cast<const char*>(Buffer), Count);
        return static_cast<bool>(FOut);
    }
    bool Close() override {
        FOut.close();
        return !FOut.fail();
    }

private:
    std::ofstream FOut;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    static const TScratchFile cabFile, outFile, spool;
    if (Size == 0) return 0;
    // Up to 256 KB of data: eight frames and more, enough to cross frames and blocks.
    const std::size_t count = std::min<std::size_t>(Size - 1, 256 * 1024);
    const std::uint8_t* plain = Data + 1;
    // LZX with windows 2^15 to 2^21, Quantum with windows 2^10 to 2^21.
    const int choice = Data[0] % 19;
    const TCOMP method = choice < 7 ? MakeLzxCompression(15 + choice) : MakeQuantumCompression(7, 3 + choice);

    TCCAB cab;
    cab.szCab = cabFile.Name();
    TFciErf erf;
    auto fci = TFciContext::Create(
        erf, cab, [](const std::string& Path) { return std::make_unique<TFileOutput>(Path); },
        [] {
            const std::string name = spool.Name() + ".spool";
            ::unlink(name.c_str());
            return CreateFileSpool(name);
        },
        [](TCOMP Compression) { return MakeCabCompressor(Compression, dtDeflateN); });
    if (!fci) std::abort();
    std::size_t read = 0;
    const TFciGetOpenInfo open = [&](const std::string&, TFciSource& Info) {
        Info.Size = static_cast<std::int64_t>(count);
        Info.Read = [&](void* Buffer, std::int64_t Want) {
            const std::size_t n = std::min(static_cast<std::size_t>(Want), count - read);
            std::memcpy(Buffer, plain + read, n);
            read += n;
            return static_cast<std::int64_t>(n);
        };
        return true;
    };
    // A method we have no encoder for is no finding.
    if (!fci->AddFile("input", "input", false, nullptr, nullptr, open, method)) return 0;
    if (!fci->FlushCabinet(false, nullptr, nullptr)) std::abort();

    mscab_decompressor* cabd = mspack_create_cab_decompressor(nullptr);
    mscabd_cabinet* c = cabd->open(cabd, cabFile.Name().c_str());
    if (!c || !c->files || c->files->next) std::abort();
    if (cabd->extract(cabd, c->files, outFile.Name().c_str()) != MSPACK_ERR_OK) std::abort();
    cabd->close(cabd, c);
    mspack_destroy_cab_decompressor(cabd);
    std::ifstream in(outFile.Name(), std::ios::binary);
    const std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (back.size() != count || std::memcmp(back.data(), plain, count) != 0) std::abort();
    return 0;
}
