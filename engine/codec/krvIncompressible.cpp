#include "engine/codec/krvIncompressible.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Smaller inputs are left to the deflater: looking costs more than it saves.
constexpr std::size_t MinLookedAt = 64 << 10;
// Bits per byte from which a Huffman code of the bytes saves less than 0.25%.
constexpr double EvenEntropy = 7.98;
// A first look at spread-out samples of this size, of this many: most data that compress show
// uneven bytes there already, and the whole is not looked at.
constexpr std::size_t SampleSize = 4096;
constexpr std::size_t Samples = 16;
// Deflate's window, and the four-byte repeats found in it beyond which deflate may gain.
constexpr std::size_t Window = 32768;
constexpr std::size_t RepeatsPerMatchFree = 1024; // one repeat per this many bytes at most
constexpr int HashBits = 14;

double EntropyBits(const std::array<std::uint64_t, 256>& Counts, std::uint64_t Total) {
    double bits = 0;
    for (const std::uint64_t c : Counts)
        if (c != 0)
            bits -= static_cast<double>(c) * std::log2(static_cast<double>(c) / static_cast<double>(Total));
    return bits / static_cast<double>(Total);
}

bool EvenBytes(std::span<const std::uint8_t> Data, std::size_t Step, std::size_t Run) {
    // Four tables, so that runs of one byte do not wait on one counter.
    std::array<std::array<std::uint64_t, 256>, 4> counts{};
    std::uint64_t total = 0;
    for (std::size_t at = 0; at < Data.size(); at += Step) {
        const std::size_t n = std::min(Run, Data.size() - at);
        const std::uint8_t* p = Data.data() + at;
        std::size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            ++counts[0][p[i]];
            ++counts[1][p[i + 1]];
            ++counts[2][p[i + 2]];
            ++counts[3][p[i + 3]];
        }
        for (; i < n; ++i)
            ++counts[0][p[i]];
        total += n;
    }
    for (std::size_t b = 0; b < 256; ++b)
        counts[0][b] += counts[1][b] + counts[2][b] + counts[3][b];
    return EntropyBits(counts[0], total) >= EvenEntropy;
}

std::uint32_t Load32(const std::uint8_t* P) {
    std::uint32_t v;
    std::memcpy(&v, P, 4);
    return v;
}

// Whether hardly any four bytes repeat within the window: the last place of each hash is kept,
// as a fast deflater's match finder keeps it.
bool FewRepeats(std::span<const std::uint8_t> Data) {
    std::array<std::uint32_t, std::size_t{1} << HashBits> last{}; // place + 1, 0 for none
    const std::size_t allowed = Data.size() / RepeatsPerMatchFree;
    const std::uint8_t* p = Data.data();
    std::size_t repeats = 0;
    for (std::size_t i = 0; i + 4 <= Data.size(); ++i) {
        const std::uint32_t v = Load32(p + i);
        const std::uint32_t h = (v * 2654435761U) >> (32 - HashBits);
        const std::size_t seen = last[h];
        last[h] = static_cast<std::uint32_t>(i + 1);
        if (seen != 0 && i + 1 - seen <= Window && Load32(p + seen - 1) == v && ++repeats > allowed)
            return false;
    }
    return true;
}

} // namespace

bool LooksIncompressible(std::span<const std::uint8_t> Data) {
    // The repeat finder keeps places in 32 bits: a larger buffer is left to the deflater.
    if (Data.size() < MinLookedAt || Data.size() > std::numeric_limits<std::uint32_t>::max()) return false;
    const std::size_t step = Data.size() / Samples;
    return EvenBytes(Data, step, SampleSize) && EvenBytes(Data, Data.size(), Data.size()) && FewRepeats(Data);
}

void AppendStoredBlocks(std::span<const std::uint8_t> Data, bool Final, std::vector<std::uint8_t>& Out) {
    constexpr std::size_t MaxStored = 65535;
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(MaxStored, Data.size() - at);
        const bool last = Final && at + n == Data.size();
        // The header's three bits (final, type 00) padded to the byte, then LEN and NLEN.
        const std::uint8_t header[5] = {static_cast<std::uint8_t>(last ? 1 : 0), static_cast<std::uint8_t>(n),
                                        static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(~n),
                                        static_cast<std::uint8_t>(~n >> 8)};
        Out.insert(Out.end(), header, header + 5);
        Out.insert(Out.end(), Data.begin() + static_cast<std::ptrdiff_t>(at),
                   Data.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < Data.size());
}
