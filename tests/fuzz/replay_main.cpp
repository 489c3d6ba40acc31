// Feeds every file of the folders given (a seed corpus, its regression
// inputs) to a harness's LLVMFuzzerTestOneInput in name order, as libFuzzer
// would replay them. A missing folder counts as empty; no file at all fails,
// so that a corpus cannot vanish unnoticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const auto first = files.size();
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i], ec))
            if (entry.is_regular_file() && !entry.path().filename().string().starts_with('.'))
                files.push_back(std::filesystem::absolute(entry.path())); // the harness may change folder
        std::sort(files.begin() + static_cast<std::ptrdiff_t>(first), files.end());
    }
    if (files.empty()) {
        std::fprintf(stderr, "fuzz replay: no input files in the folders given\n");
        return 1;
    }
    LLVMFuzzerInitialize(&argc, &argv);
    for (const auto& file : files) {
        std::fprintf(stderr, "fuzz replay: %s\n", file.c_str());
        std::ifstream stream(file, std::ios::binary);
        const std::string input{std::istreambuf_iterator<char>(stream), {}};
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    }
    std::printf("fuzz replay: %zu inputs, no failure\n", files.size());
    return 0;
}
