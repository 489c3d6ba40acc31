// Feeds every file of the folders given (a seed corpus, its regression
// inputs) to a fuzz harness's LLVMFuzzerTestOneInput, in name order, as
// libFuzzer would replay them. A missing folder counts as empty; no file at
// all fails, so that a corpus cannot vanish unnoticed. A broken input ends
// the run through the harness's own checks or a sanitizer.
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

namespace {

std::vector<std::filesystem::path> InputsIn(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.is_regular_file() && !entry.path().filename().string().starts_with('.'))
            files.push_back(std::filesystem::absolute(entry.path()));
    std::sort(files.begin(), files.end());
    return files;
}

std::string Slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const auto found = InputsIn(argv[i]);
        files.insert(files.end(), found.begin(), found.end());
    }
    if (files.empty()) {
        std::fprintf(stderr, "fuzz replay: no input files in the folders given\n");
        return 1;
    }
    // Paths are absolute already: the harness may change what is current.
    LLVMFuzzerInitialize(&argc, &argv);
    for (const auto& file : files) {
        std::fprintf(stderr, "fuzz replay: %s\n", file.c_str());
        const std::string bytes = Slurp(file);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("fuzz replay: %zu inputs, no failure\n", files.size());
    return 0;
}
