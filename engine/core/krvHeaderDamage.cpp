#include "engine/core/krvHeaderDamage.h"

#include <algorithm>
#include <cstring>
#include <vector>

std::int64_t FindHeader(const TReadAtFunc& Read, std::int64_t From, std::int64_t Size,
                        std::string_view Marker, std::int64_t MarkerAt,
                        const std::function<bool(std::int64_t At)>& Whole) {
    constexpr std::int64_t block = 65536;
    const auto markerSize = static_cast<std::int64_t>(Marker.size());
    std::vector<char> buf(static_cast<std::size_t>(block + markerSize));
    for (std::int64_t at = std::max<std::int64_t>(From, 0); at + MarkerAt + markerSize <= Size; at += block) {
        const std::int64_t n =
            Read(at + MarkerAt, buf.data(), std::min<std::int64_t>(std::ssize(buf), Size - at - MarkerAt));
        for (std::int64_t i = 0; i + markerSize <= n && i < block; ++i)
            if (buf[i] == Marker[0] && std::memcmp(&buf[i], Marker.data(), Marker.size()) == 0 &&
                Whole(at + i))
                return at + i;
        if (n < markerSize) break;
    }
    return -1;
}

std::string NameBytesAt(const TReadAtFunc& Read, std::int64_t At, std::int64_t Count, std::int64_t Size) {
    constexpr std::int64_t maxName = 1024;
    if (At < 0 || Count <= 0 || Count > maxName || At + Count > Size) return {};
    std::string name(static_cast<std::size_t>(Count), '\0');
    if (Read(At, name.data(), Count) != Count) return {};
    const bool text = std::ranges::all_of(name, [](char C) { return static_cast<unsigned char>(C) >= 0x20; });
    return text ? name : std::string();
}

void FollowHeaders(std::int64_t DataPos, std::int64_t& NextPos, std::int64_t Size,
                   const std::function<bool(std::int64_t At)>& IsNext,
                   const std::function<std::int64_t(std::int64_t From)>& Find,
                   const std::function<std::string(std::int64_t At)>& NameAt, THeaderRange& Range) {
    if (NextPos <= Size && IsNext(NextPos)) return;
    const std::int64_t found = Find(DataPos);
    Range.RangeBad = found >= 0 && found < NextPos;
    Range.DataCut = found < 0 && NextPos > Size;
    if (!Range.RangeBad && !Range.DataCut) {
        Range.GapAt = NextPos;
        Range.GapName = NameAt(NextPos);
    }
    NextPos = found >= 0 ? found : Size;
}
