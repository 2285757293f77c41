#include "engine/core/krvParallelDeflate.h"

#include "engine/core/EngineHost.h"
#include "engine/core/krvCrc.h"
#include "engine/core/krvCrypt.h"

#include <chrono>
#include <deque>
#include <future>
#include <vector>
#include <zlib.h>

namespace {

struct TPiece {
    std::vector<std::uint8_t> Packed;
    std::uint32_t Crc = 0; // of this block alone
    std::int64_t Size = 0;
    bool Ok = false;
};

TPiece MakePiece(TWholeDeflater& Deflater, const std::vector<std::uint8_t>& Plain, bool Final) {
    TPiece piece;
    piece.Size = std::ssize(Plain);
    std::uint32_t crc = 0xFFFFFFFFU;
    UpdateCrc32Buf(Plain.data(), piece.Size, crc);
    piece.Crc = crc ^ 0xFFFFFFFFU;
    piece.Ok = Deflater.DeflatePiece(Plain, Final, piece.Packed);
    return piece;
}

// A block of Input: full unless Input ended within it.
std::vector<std::uint8_t> ReadBlock(TStream32& Input) {
    std::vector<std::uint8_t> plain(static_cast<std::size_t>(ParallelDeflateBlock));
    std::int64_t n = 0;
    for (std::int64_t r;
         n < ParallelDeflateBlock && (r = Input.Read(plain.data() + n, ParallelDeflateBlock - n)) > 0;)
        n += r;
    plain.resize(static_cast<std::size_t>(n));
    return plain;
}

} // namespace

TParallelDeflateResult ParallelDeflate(TStream32& Input, TStream32& Output, TDeflateType Level,
                                       unsigned Threads, TZipCipher* Cipher,
                                       const std::function<bool(std::int64_t)>& Step) {
    TParallelDeflateResult result;
    std::uint32_t crc = 0;
    // One deflater per worker slot; a slot's deflater serves one block at a time.
    const std::size_t slots = std::max(1U, Threads);
    std::vector<std::unique_ptr<TWholeDeflater>> deflaters;
    for (std::size_t i = 0; i < slots; ++i)
        deflaters.push_back(std::make_unique<TWholeDeflater>(Level));
    struct TInHand {
        std::future<TPiece> Piece;
        std::size_t Slot = 0;
        bool Final = false;
    };
    std::deque<TInHand> inHand;
    std::vector<bool> busy(slots, false);
    bool ended = false;
    for (;;) {
        // Blocks are read in order and handed to free slots; the last short block is the final one.
        while (!ended && inHand.size() < slots) {
            auto plain = std::make_shared<std::vector<std::uint8_t>>(ReadBlock(Input));
            ended = std::ssize(*plain) < ParallelDeflateBlock;
            std::size_t slot = 0;
            while (busy[slot])
                ++slot;
            busy[slot] = true;
            TWholeDeflater& deflater = *deflaters[slot];
            const bool final = ended;
            auto work = [&deflater, plain, final] { return MakePiece(deflater, *plain, final); };
            inHand.push_back(
                {std::async(slots > 1 ? std::launch::async : std::launch::deferred, work), slot, final});
        }
        if (inHand.empty()) break;
        TInHand next = std::move(inHand.front());
        inHand.pop_front();
        // The host runs while the next block is being deflated.
        while (next.Piece.wait_for(std::chrono::milliseconds(5)) == std::future_status::timeout)
            EngineHost::PumpIfDue();
        TPiece piece = next.Piece.get();
        busy[next.Slot] = false;
        if (!piece.Ok) return result; // the blocks in hand finish as the futures go
        if (Cipher) Cipher->EncryptBuf(piece.Packed.data(), std::ssize(piece.Packed));
        Output.WriteBuffer(piece.Packed.data(), std::ssize(piece.Packed));
        crc = static_cast<std::uint32_t>(crc32_combine64(crc, piece.Crc, piece.Size));
        result.In += piece.Size;
        if (!Step(piece.Size)) return result;
        if (next.Final) {
            result.Ok = true;
            break;
        }
    }
    result.Crc = crc;
    return result;
}
