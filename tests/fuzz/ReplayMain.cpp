// The replay of a fuzz target's corpus in the ordinary test build: every file of the folders
// given on the command line goes once through LLVMFuzzerTestOneInput, so an input that once
// crashed a reader is tried again in every test run. Fails when a folder is missing or empty;
// a crash or sanitizer report fails the test by itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pInput, std::size_t iSize);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* pArgc, char*** pArgv);

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::size_t iFiles = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        std::vector<std::filesystem::path> lFiles;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i], error))
            if (entry.is_regular_file()) lFiles.push_back(entry.path());
        if (error) {
            std::fprintf(stderr, "%s: %s\n", argv[i], error.message().c_str());
            return 1;
        }
        std::sort(lFiles.begin(), lFiles.end());
        for (const auto& file : lFiles) {
            // Shown when the test fails: the input that crashed is the last one named.
            std::fprintf(stderr, "%s\n", file.c_str());
            std::ifstream in(file, std::ios::binary);
            const std::vector<std::uint8_t> input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            // As libFuzzer does: an empty input gets a pointer all the same.
            const std::uint8_t iNothing = 0;
            LLVMFuzzerTestOneInput(input.empty() ? &iNothing : input.data(), input.size());
            ++iFiles;
        }
    }
    std::printf("%zu corpus files replayed\n", iFiles);
    return iFiles > 0 ? 0 : 1;
}
