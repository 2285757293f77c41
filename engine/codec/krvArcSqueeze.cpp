// Arc's method 4: a Huffman tree stored in front of the data (a 16-bit node count, then two
// 16-bit children per node; a negative child -(v + 1) is the leaf of value v, 256 ends the
// data), codes read least significant bit first.
#include "engine/codec/krvArcOutput.h"
#include "engine/codec/krvBitReader.h"
#include "engine/core/krvErrorCodes.h"

#include <array>
#include <vector>

namespace {

constexpr int MaxNodes = 256;
constexpr int EndOfData = 256;

[[noreturn]] void BadTree() {
    throw TDecodeStop{ecFileContainsInvalidDecodeTree, false};
}

std::int32_t ReadWord(TBitReader& In) {
    const std::int32_t v = In.TryBits(16);
    if (v < 0) throw TDecodeStop{ecUnexpectedEndOfFile, false};
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
}

} // namespace

void ArcUnsqueeze(TBitReader& In, TArcOutput& Out) {
    const std::int32_t count = ReadWord(In);
    if (count < 0 || count > MaxNodes) BadTree();
    if (count == 0) return; // an empty tree: the data end at once
    std::vector<std::array<std::int32_t, 2>> nodes(static_cast<std::size_t>(count));
    for (auto& node : nodes) {
        for (std::int32_t& child : node) {
            child = ReadWord(In);
            // A child is a node of the tree or the leaf of a byte or of the end code.
            if (child >= count || child < -(EndOfData + 1)) BadTree();
        }
    }
    std::int32_t node = 0;
    while (!Out.Done()) {
        const std::int32_t bit = In.TryBits(1);
        if (bit < 0) return;
        node = nodes[static_cast<std::size_t>(node)][static_cast<std::size_t>(bit)];
        if (node >= 0) continue;
        const std::int32_t value = -(node + 1);
        if (value == EndOfData) return;
        Out.Put(static_cast<std::uint8_t>(value));
        node = 0;
    }
}
