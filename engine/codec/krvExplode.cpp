#include "engine/codec/krvExplode.h"

#include "engine/core/krvErrorCodes.h"
#include "engine/codec/krvBitReader.h"
#include "engine/codec/krvDecodeOutput.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace {

constexpr std::int16_t EmptySlot = -1;
constexpr int MaxBitLength = 16;

[[noreturn]] void BadTree() {
    throw E_RAISE(ecAmbiguousShannonFanoTree);
}

// A Shannon-Fano decode tree of node pairs: indexes below Symbols are symbols (leaves), the
// root is 2 * Symbols - 1 and internal nodes are numbered downwards from the root.
class TShannonFanoTree {
public:
    explicit TShannonFanoTree(int ASymbols) : Symbols(ASymbols), Nodes(2 * ASymbols) {}

    // Reads the tree's description from the stream and builds it. Raises 25293 for a tree
    // that does not describe exactly its symbols, or that is over-subscribed or incomplete.
    void Read(TBitReader& In);

    int Decode(TBitReader& In) const {
        int node = Root();
        do {
            node = Nodes[node][In.Bits(1)];
            if (node == EmptySlot) BadTree();
        } while (node >= Symbols);
        return node;
    }

private:
    int Root() const { return 2 * Symbols - 1; }
    void Insert(int Symbol, int BitLength, std::uint32_t Code, int& NextNode);

    int Symbols;
    std::vector<std::array<std::int16_t, 2>> Nodes;
};

void TShannonFanoTree::Read(TBitReader& In) {
    std::vector<std::uint8_t> lengths;
    lengths.reserve(Symbols);
    const std::uint32_t descriptionBytes = In.Bits(8) + 1;
    for (std::uint32_t i = 0; i < descriptionBytes; ++i) {
        const std::uint32_t b = In.Bits(8);
        const std::uint32_t repeat = (b >> 4) + 1;
        if (lengths.size() + repeat > static_cast<std::size_t>(Symbols)) BadTree();
        lengths.insert(lengths.end(), repeat, static_cast<std::uint8_t>((b & 15) + 1));
    }
    if (lengths.size() != static_cast<std::size_t>(Symbols)) BadTree();

    // Only a complete prefix code leaves no slot of the tree empty and none taken twice.
    std::uint32_t kraft = 0;
    for (const std::uint8_t len : lengths)
        kraft += 1u << (MaxBitLength - len);
    if (kraft != 1u << MaxBitLength) BadTree();

    // Codes: symbols by ascending bit length (ties by symbol); the longest codes count up from
    // zero, each length adding its step to the next shorter code.
    std::vector<int> order(Symbols);
    for (int s = 0; s < Symbols; ++s)
        order[s] = s;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return lengths[a] < lengths[b]; });

    for (auto& node : Nodes)
        node = {EmptySlot, EmptySlot};
    int nextNode = Root() - 1;
    std::uint32_t code = 0;
    std::uint32_t increment = 0;
    int lastLength = 0;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const int len = lengths[*it];
        code += increment;
        if (len != lastLength) {
            lastLength = len;
            increment = 1u << (MaxBitLength - len);
        }
        Insert(*it, len, (code >> (MaxBitLength - len)) & 0xFFFF, nextNode);
    }
}

// The stream holds each code most significant bit first.
void TShannonFanoTree::Insert(int Symbol, int BitLength, std::uint32_t Code, int& NextNode) {
    const std::uint32_t bits = Code;
    int node = Root();
    for (int bit = BitLength - 1; bit >= 1; --bit) {
        std::int16_t& slot = Nodes[node][(bits >> bit) & 1];
        if (slot == EmptySlot) {
            if (NextNode < Symbols) BadTree();
            slot = static_cast<std::int16_t>(NextNode--);
        } else if (slot < Symbols) {
            BadTree();
        }
        node = slot;
    }
    std::int16_t& leaf = Nodes[node][bits & 1];
    if (leaf != EmptySlot) BadTree();
    leaf = static_cast<std::int16_t>(Symbol);
}

} // namespace

struct TExplode::TState {
    TState(const TDecoderIO& IO, bool ALargeWindow, bool AThreeTrees)
        : In(IO), Out(IO, ALargeWindow ? 8192 : 4096), LargeWindow(ALargeWindow), ThreeTrees(AThreeTrees) {}

    void Decode();

    TBitReader In;
    TDecodeOutput Out;
    bool LargeWindow;
    bool ThreeTrees;
    TShannonFanoTree Literals{256};
    TShannonFanoTree Lengths{64};
    TShannonFanoTree Distances{64};
};

TExplode::TExplode(const TDecoderIO& IO, bool LargeWindow, bool ThreeTrees)
    : F(std::make_unique<TState>(IO, LargeWindow, ThreeTrees)) {}

TExplode::~TExplode() = default;

TDecodeResult TExplode::Run() {
    return F->Out.Run([this] { F->Decode(); });
}

void TExplode::TState::Decode() {
    if (Out.Done()) return;
    if (ThreeTrees) Literals.Read(In);
    Lengths.Read(In);
    Distances.Read(In);

    const int lowBits = LargeWindow ? 7 : 6;
    const std::uint32_t minMatch = ThreeTrees ? 3 : 2;
    while (!Out.Done()) {
        if (In.Bits(1) == 1) {
            const int literal = ThreeTrees ? Literals.Decode(In) : static_cast<int>(In.Bits(8));
            Out.Put(static_cast<std::uint8_t>(literal));
            continue;
        }
        const std::uint32_t low = In.Bits(lowBits);
        const std::uint32_t high = static_cast<std::uint32_t>(Distances.Decode(In));
        const std::uint32_t distance = (high << lowBits) | low;
        std::uint32_t length = static_cast<std::uint32_t>(Lengths.Decode(In));
        if (length == 63) length += In.Bits(8);
        Out.Copy(distance + 1, length + minMatch);
    }
}

TDecodeResult ZipExplode(const TDecoderIO& IO, bool LargeWindow, bool ThreeTrees) {
    return TExplode(IO, LargeWindow, ThreeTrees).Run();
}
