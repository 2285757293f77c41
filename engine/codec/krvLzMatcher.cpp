#include "engine/codec/krvLzMatcher.h"

#include <algorithm>

namespace {

constexpr int HashBits = 20;
constexpr std::size_t FrameReserve = 32768;

std::uint32_t Hash3(const std::uint8_t* P) {
    return ((static_cast<std::uint32_t>(P[0]) << 16 | static_cast<std::uint32_t>(P[1]) << 8 | P[2]) *
            2654435761U) >>
           (32 - HashBits);
}

} // namespace

TLzMatcher::TLzMatcher(std::size_t Window, std::size_t MaxMatch, int MaxChain)
    : FWindow(Window), FMaxMatch(MaxMatch), FMaxChain(MaxChain), FHead(std::size_t{1} << HashBits, -1),
      FChain(Window, -1) {}

std::size_t TLzMatcher::Append(const std::uint8_t* Data, std::size_t Count) {
    // One window of history is kept before the data to come.
    if (FHistory.size() > 2 * FWindow + FrameReserve) {
        const std::size_t drop = FHistory.size() - FWindow;
        FHistory.erase(FHistory.begin(), FHistory.begin() + static_cast<std::ptrdiff_t>(drop));
        FBase += drop;
    }
    const std::size_t start = FBase + FHistory.size();
    FHistory.insert(FHistory.end(), Data, Data + Count);
    return start;
}

void TLzMatcher::Insert(std::size_t Pos) {
    std::int64_t& head = FHead[Hash3(FHistory.data() + (Pos - FBase))];
    FChain[Pos & (FWindow - 1)] = head;
    head = static_cast<std::int64_t>(Pos);
}

std::uint32_t TLzMatcher::LengthAt(std::size_t Pos, std::size_t Distance, std::size_t Limit) const {
    if (Distance == 0 || Distance > Pos - FBase) return 0;
    const std::uint8_t* cur = FHistory.data() + (Pos - FBase);
    const std::uint8_t* ref = cur - Distance;
    const std::size_t max = std::min(Limit, FMaxMatch);
    std::size_t n = 0;
    while (n < max && ref[n] == cur[n])
        ++n;
    return static_cast<std::uint32_t>(n);
}

std::uint32_t TLzMatcher::Longest(std::size_t Pos, std::size_t Limit, std::size_t MaxDistance,
                                  std::uint32_t Best, std::uint32_t& Distance) const {
    if (Limit < 3) return 0;
    const std::uint8_t* cur = FHistory.data() + (Pos - FBase);
    const std::size_t max = std::min(Limit, FMaxMatch);
    std::uint32_t best = Best;
    bool found = false;
    std::int64_t candidate = FHead[Hash3(cur)];
    for (int chain = 0; chain < FMaxChain && candidate >= 0 && static_cast<std::size_t>(candidate) >= FBase;
         ++chain) {
        const std::size_t distance = Pos - static_cast<std::size_t>(candidate);
        if (distance == 0 || distance > MaxDistance) break;
        const std::uint8_t* ref = cur - distance;
        if (best < max && ref[best] == cur[best]) {
            std::size_t n = 0;
            while (n < max && ref[n] == cur[n])
                ++n;
            if (n > best) {
                best = static_cast<std::uint32_t>(n);
                Distance = static_cast<std::uint32_t>(distance);
                found = true;
                if (n == max) break;
            }
        }
        const std::int64_t next = FChain[static_cast<std::size_t>(candidate) & (FWindow - 1)];
        if (next >= candidate) break;
        candidate = next;
    }
    return found ? best : 0;
}
