#include "engine/codec/krvHuffmanBuild.h"

#include <algorithm>
#include <queue>

namespace {

// Unlimited Huffman lengths of the used symbols.
std::vector<std::uint8_t> PlainLengths(const std::vector<std::uint32_t>& Counts) {
    struct TNode {
        std::uint64_t Weight;
        int Index;
    };
    const auto later = [](const TNode& A, const TNode& B) {
        return A.Weight > B.Weight || (A.Weight == B.Weight && A.Index > B.Index);
    };
    std::priority_queue<TNode, std::vector<TNode>, decltype(later)> queue(later);
    const int n = static_cast<int>(Counts.size());
    std::vector<int> parent(static_cast<std::size_t>(2 * n), -1);
    for (int i = 0; i < n; ++i)
        if (Counts[static_cast<std::size_t>(i)] > 0) queue.push({Counts[static_cast<std::size_t>(i)], i});
    int next = n;
    while (queue.size() > 1) {
        const TNode a = queue.top();
        queue.pop();
        const TNode b = queue.top();
        queue.pop();
        parent[static_cast<std::size_t>(a.Index)] = next;
        parent[static_cast<std::size_t>(b.Index)] = next;
        queue.push({a.Weight + b.Weight, next++});
    }
    std::vector<std::uint8_t> lengths(Counts.size(), 0);
    for (int i = 0; i < n; ++i) {
        if (Counts[static_cast<std::size_t>(i)] == 0) continue;
        int depth = 0;
        for (int p = parent[static_cast<std::size_t>(i)]; p >= 0; p = parent[static_cast<std::size_t>(p)])
            ++depth;
        lengths[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::min(depth, 255));
    }
    return lengths;
}

} // namespace

std::vector<std::uint8_t> HuffmanLengths(const std::vector<std::uint32_t>& Counts, int MaxLength) {
    std::vector<std::uint32_t> counts = Counts;
    int used = 0;
    for (std::uint32_t c : counts)
        used += c > 0 ? 1 : 0;
    // One symbol alone, or none, still makes a complete code of two one-bit codes.
    for (std::size_t i = 0; used < 2 && i < counts.size(); ++i)
        if (counts[i] == 0) {
            counts[i] = 1;
            ++used;
        }
    for (;;) {
        std::vector<std::uint8_t> lengths = PlainLengths(counts);
        if (*std::max_element(lengths.begin(), lengths.end()) <= MaxLength) return lengths;
        // Too deep: flatten the counts and build again.
        for (std::uint32_t& c : counts)
            if (c > 0) c = (c >> 1) | 1;
    }
}

std::vector<std::uint32_t> CanonicalCodes(const std::vector<std::uint8_t>& Lengths) {
    std::vector<std::uint32_t> codes(Lengths.size(), 0);
    std::uint32_t code = 0;
    for (int length = 1; length <= 32; ++length) {
        for (std::size_t s = 0; s < Lengths.size(); ++s)
            if (Lengths[s] == length) codes[s] = code++;
        code <<= 1;
    }
    return codes;
}
