// A canonical Huffman code of the LHA family, read most significant bit first: a lookup
// table of TableBits bits with a binary tree below it for the longer codes, built from the
// code lengths (at most 16 bits) in the way LHA assigns codes (shorter codes first, then by
// symbol). Only a complete code is accepted: lengths whose Kraft sum is not exactly one are
// refused, so decoding always ends at a symbol.
#pragma once

#include "engine/codec/krvMsbBitReader.h"

#include <array>
#include <cstdint>
#include <span>

template <int N> class THuffmanTable {
public:
    // Builds the code of the Lengths.size() (at most N) symbols. False for an incomplete or
    // over-subscribed set or a length above 16.
    bool Build(std::span<const std::uint8_t> Lengths, int TableBits) {
        const int n = static_cast<int>(Lengths.size());
        if (n > N || TableBits < 1 || TableBits > MaxTableBits) return false;
        std::array<std::uint32_t, 18> start{};
        std::array<std::uint32_t, 17> count{};
        for (int i = 0; i < n; ++i) {
            if (Lengths[i] > 16) return false;
            ++count[Lengths[i]];
            FLength[static_cast<std::size_t>(i)] = Lengths[i];
        }
        for (int l = 1; l <= 16; ++l)
            start[l + 1] = start[l] + (count[l] << (16 - l));
        if (start[17] != 0x10000) return false;

        FN = n;
        FTableBits = TableBits;
        const int jut = 16 - TableBits;
        std::fill(FTable.begin(), FTable.begin() + (1 << TableBits), Empty);
        int avail = 0;
        for (int ch = 0; ch < n; ++ch) {
            const int l = Lengths[ch];
            if (l == 0) continue;
            const std::uint32_t code = start[l];
            start[l] += 1u << (16 - l);
            if (l <= TableBits) {
                for (std::uint32_t i = code >> jut; i < start[l] >> jut; ++i)
                    FTable[i] = static_cast<std::uint16_t>(ch);
                continue;
            }
            std::uint16_t* p = &FTable[code >> jut];
            for (int bit = 15 - TableBits; bit >= 16 - l; --bit) {
                if (*p == Empty) {
                    if (avail >= N) return false;
                    FLeft[static_cast<std::size_t>(avail)] = Empty;
                    FRight[static_cast<std::size_t>(avail)] = Empty;
                    *p = static_cast<std::uint16_t>(n + avail++);
                } else if (*p < n) {
                    return false; // a shorter code is a prefix of this one
                }
                const std::size_t node = static_cast<std::size_t>(*p - n);
                p = ((code >> bit) & 1u) ? &FRight[node] : &FLeft[node];
            }
            if (*p != Empty) return false;
            *p = static_cast<std::uint16_t>(ch);
        }
        return true;
    }

    // A code of one symbol that takes no bits: every symbol decodes as Symbol.
    void SetSingle(int Symbol, int TableBits) {
        FN = Symbol + 1;
        FTableBits = TableBits;
        std::fill(FTable.begin(), FTable.begin() + (1 << TableBits), static_cast<std::uint16_t>(Symbol));
        FLength[static_cast<std::size_t>(Symbol)] = 0;
    }

    // The next symbol (a code must have been built).
    int Decode(TMsbBitReader& In) const {
        const std::uint32_t bits = In.Peek16();
        int j = FTable[bits >> (16 - FTableBits)];
        if (j >= FN) {
            std::uint32_t mask = 1u << (15 - FTableBits);
            do {
                const std::size_t node = static_cast<std::size_t>(j - FN);
                j = (bits & mask) ? FRight[node] : FLeft[node];
                mask >>= 1;
            } while (j >= FN);
        }
        In.Skip(FLength[static_cast<std::size_t>(j)]);
        return j;
    }

private:
    static constexpr int MaxTableBits = 12;
    static constexpr std::uint16_t Empty = 0xFFFF;

    int FN = 0;
    int FTableBits = 1;
    std::array<std::uint16_t, 1u << MaxTableBits> FTable{};
    std::array<std::uint16_t, N> FLeft{};
    std::array<std::uint16_t, N> FRight{};
    std::array<std::uint8_t, N> FLength{};
};
