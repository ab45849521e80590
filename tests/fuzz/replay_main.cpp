// Runs a fuzz target's entry point over files, as libFuzzer runs a corpus once, without
// libFuzzer: the normal build compiles and links every target this way and the test suite
// replays the checked-in corpus, so a target that stops building or a seed that starts
// failing is seen at once. Usage: replay_<target> <file or folder>...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/common/tempdir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Defined by the targets that prepare something once.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const orvix_test::ScopedPrivateHome home; // the user's settings are not the tests'
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (fs::is_directory(argv[i])) {
            for (const auto& entry : fs::recursive_directory_iterator(argv[i]))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
        } else {
            inputs.push_back(argv[i]);
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) { // a corpus that is not where it is expected must not pass unnoticed
        fprintf(stderr, "usage: %s <file or folder>... (no input found)\n", argv[0]);
        return 2;
    }
    for (const auto& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
        fflush(stdout); // the input that crashes is the last one shown
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
