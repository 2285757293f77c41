#include "engine/codec/krvLzhHuffEncode.h"

#include <algorithm>
#include <array>
#include <vector>

int LzhMakeLengths(std::span<const std::uint32_t> Freq, std::span<std::uint8_t> Lengths, int& Single) {
    const int n = static_cast<int>(Freq.size());
    std::fill(Lengths.begin(), Lengths.end(), 0);
    Single = 0;
    // Leaves are 0..n-1, inner nodes n.., each with its frequency and its children.
    std::vector<std::uint64_t> weight(static_cast<std::size_t>(2 * n));
    std::vector<int> left(static_cast<std::size_t>(2 * n), -1), right(static_cast<std::size_t>(2 * n), -1);
    std::vector<int> heap;
    heap.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        weight[static_cast<std::size_t>(i)] = Freq[static_cast<std::size_t>(i)];
        if (Freq[static_cast<std::size_t>(i)] != 0) heap.push_back(i);
    }
    const int used = static_cast<int>(heap.size());
    if (used < 2) {
        if (used == 1) Single = heap.front();
        return used;
    }
    // A min-heap by frequency; equal frequencies by node number, so the result is stable.
    const auto greater = [&weight](int a, int b) {
        const std::uint64_t wa = weight[static_cast<std::size_t>(a)],
                            wb = weight[static_cast<std::size_t>(b)];
        return wa != wb ? wa > wb : a > b;
    };
    std::make_heap(heap.begin(), heap.end(), greater);
    const auto pop = [&] {
        std::pop_heap(heap.begin(), heap.end(), greater);
        const int v = heap.back();
        heap.pop_back();
        return v;
    };
    int next = n;
    while (heap.size() > 1) {
        const int a = pop();
        const int b = pop();
        const auto k = static_cast<std::size_t>(next);
        weight[k] = weight[static_cast<std::size_t>(a)] + weight[static_cast<std::size_t>(b)];
        left[k] = a;
        right[k] = b;
        heap.push_back(next++);
        std::push_heap(heap.begin(), heap.end(), greater);
    }

    // Depth of every leaf; deeper than 16 counts as 16 for now.
    std::vector<int> depth(static_cast<std::size_t>(2 * n), 0);
    std::array<std::uint32_t, LzhMaxCodeLength + 1> count{};
    for (int node = next - 1; node >= n; --node) {
        const int d = depth[static_cast<std::size_t>(node)] + 1;
        depth[static_cast<std::size_t>(left[static_cast<std::size_t>(node)])] = d;
        depth[static_cast<std::size_t>(right[static_cast<std::size_t>(node)])] = d;
    }
    std::vector<int> leaves;
    leaves.reserve(static_cast<std::size_t>(used));
    for (int i = 0; i < n; ++i)
        if (Freq[static_cast<std::size_t>(i)] != 0) {
            leaves.push_back(i);
            ++count[static_cast<std::size_t>(std::min(depth[static_cast<std::size_t>(i)], LzhMaxCodeLength))];
        }
    // Capping made the code over-full: move leaves down until the Kraft sum is exact.
    std::uint64_t kraft = 0;
    for (int i = 1; i <= LzhMaxCodeLength; ++i)
        kraft += static_cast<std::uint64_t>(count[static_cast<std::size_t>(i)]) << (LzhMaxCodeLength - i);
    while (kraft > (1U << LzhMaxCodeLength)) {
        --count[LzhMaxCodeLength];
        for (int i = LzhMaxCodeLength - 1; i > 0; --i) {
            if (count[static_cast<std::size_t>(i)] != 0) {
                --count[static_cast<std::size_t>(i)];
                count[static_cast<std::size_t>(i + 1)] += 2;
                break;
            }
        }
        --kraft;
    }
    // The least frequent symbols take the longest codes.
    std::stable_sort(leaves.begin(), leaves.end(), [&](int a, int b) {
        const std::uint32_t fa = Freq[static_cast<std::size_t>(a)], fb = Freq[static_cast<std::size_t>(b)];
        if (fa != fb) return fa < fb;
        return depth[static_cast<std::size_t>(a)] > depth[static_cast<std::size_t>(b)];
    });
    std::size_t k = 0;
    for (int len = LzhMaxCodeLength; len > 0; --len)
        for (std::uint32_t c = 0; c < count[static_cast<std::size_t>(len)]; ++c)
            Lengths[static_cast<std::size_t>(leaves[k++])] = static_cast<std::uint8_t>(len);
    return used;
}

void LzhMakeCodes(std::span<const std::uint8_t> Lengths, std::span<std::uint16_t> Codes) {
    std::array<std::uint32_t, LzhMaxCodeLength + 2> count{}, start{};
    for (const std::uint8_t l : Lengths)
        ++count[l];
    count[0] = 0;
    for (int i = 1; i <= LzhMaxCodeLength; ++i)
        start[static_cast<std::size_t>(i + 1)] =
            (start[static_cast<std::size_t>(i)] + count[static_cast<std::size_t>(i)]) << 1;
    for (std::size_t s = 0; s < Lengths.size(); ++s)
        Codes[s] = Lengths[s] ? static_cast<std::uint16_t>(start[Lengths[s]]++) : 0;
}
