// Replays inputs through a fuzz target without libFuzzer: every regular file below the
// folders (or files) named on the command line is fed once to LLVMFuzzerTestOneInput.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size);

namespace {

namespace fs = std::filesystem;

int Feed(const fs::path& File) {
    std::ifstream in(File, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", File.c_str());
        return 1;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    int failures = 0;
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path root = argv[i];
        std::error_code ec;
        if (fs::is_regular_file(root, ec)) {
            failures += Feed(root);
            ++count;
            continue;
        }
        if (!fs::is_directory(root, ec)) {
            std::fprintf(stderr, "replay: no such folder %s\n", root.c_str());
            ++failures;
            continue;
        }
        for (const auto& entry : fs::recursive_directory_iterator(root, ec)) {
            if (!entry.is_regular_file()) continue;
            failures += Feed(entry.path());
            ++count;
        }
    }
    std::printf("replayed %zu inputs\n", count);
    return failures == 0 && count > 0 ? 0 : 1;
}
