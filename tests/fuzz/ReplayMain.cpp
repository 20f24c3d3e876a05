// Runs a fuzz harness over every file of its seed corpus, so the corpus is a regression test in
// every build. An empty or missing corpus is a failure: a replay of nothing proves nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

bool ReplayFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return false;
    }
    std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    // A copy in its own heap block, so ASan sees any read past the input's end.
    std::vector<uint8_t> input(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(input.empty() ? nullptr : input.data(), input.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        const std::filesystem::path root(argv[i]);
        if (std::filesystem::is_directory(root, error)) {
            std::vector<std::filesystem::path> files;
            for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
            for (const auto& file : files) {
                if (!ReplayFile(file)) {
                    return 1;
                }
                ++replayed;
            }
        } else if (std::filesystem::is_regular_file(root, error)) {
            if (!ReplayFile(root)) {
                return 1;
            }
            ++replayed;
        } else {
            std::fprintf(stderr, "replay: %s is neither a file nor a folder\n", argv[i]);
            return 1;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed == 0 ? 1 : 0;
}
