// The string table of arc's crunched methods 5 to 7: 4096 entries of (predecessor code,
// follower byte), the single bytes included, each placed at a hash of its pair; a pair whose
// slot is taken goes to a free slot from 101 past the end of the slot's collision chain, and
// the chain links to it. Methods 5 and 6 hash one way, method 7 another.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TCrunchTable {
public:
    static constexpr int Size = 4096;
    static constexpr std::uint16_t NoPred = 0xFFFF;

    struct TEntry {
        bool Used = false;
        std::uint16_t Next = 0;
        std::uint16_t Predecessor = 0;
        std::uint8_t Follower = 0;
    };

    explicit TCrunchTable(bool NewHash) : FNewHash(NewHash), FEntries(Size) {
        for (int c = 0; c < 256; ++c)
            Add(NoPred, static_cast<std::uint8_t>(c));
    }

    const TEntry& operator[](int Code) const { return FEntries[static_cast<std::size_t>(Code)]; }

    // Places the pair (nothing once all entries are used).
    void Add(std::uint16_t Predecessor, std::uint8_t Follower) {
        if (FCount == Size) return;
        ++FCount;
        TEntry& e = FEntries[Slot(Predecessor, Follower)];
        e.Used = true;
        e.Next = 0;
        e.Predecessor = Predecessor;
        e.Follower = Follower;
    }

    // The code of the pair, or -1 (the encoder's look-up).
    int Find(std::uint16_t Predecessor, std::uint8_t Follower) const {
        std::size_t at = Hash(Predecessor, Follower);
        for (int guard = 0; FEntries[at].Used && guard < Size; ++guard) {
            const TEntry& e = FEntries[at];
            if (e.Predecessor == Predecessor && e.Follower == Follower) return static_cast<int>(at);
            if (e.Next == 0) break;
            at = e.Next;
        }
        return -1;
    }

private:
    std::size_t Hash(std::uint16_t Predecessor, std::uint8_t Follower) const {
        const std::uint32_t sum = static_cast<std::uint16_t>(Predecessor + Follower);
        if (FNewHash) return (sum * 15073u) & 0xFFF;
        const std::uint32_t v = sum | 0x800;
        return ((v * v) >> 6) & 0xFFF;
    }

    // A free slot for the pair: its hash, or past the end of the hash's collision chain.
    std::size_t Slot(std::uint16_t Predecessor, std::uint8_t Follower) {
        std::size_t at = Hash(Predecessor, Follower);
        if (!FEntries[at].Used) return at;
        for (int guard = 0; FEntries[at].Next != 0 && guard < Size; ++guard)
            at = FEntries[at].Next;
        std::size_t free = (at + 101) & 0xFFF;
        while (FEntries[free].Used)
            free = (free + 1) % Size;
        FEntries[at].Next = static_cast<std::uint16_t>(free);
        return free;
    }

    bool FNewHash;
    std::vector<TEntry> FEntries;
    int FCount = 0;
};
