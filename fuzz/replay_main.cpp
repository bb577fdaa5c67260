// A plain main for a fuzz target, for compilers without libFuzzer: runs the target once on each
// input file named on the command line, or on every file in a directory named there (in name
// order). A finding aborts, as it would under the fuzzer; otherwise prints how many were run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_DIRECTORY...\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; i++) {
        std::error_code error;
        if (fs::is_directory(argv[i], error)) {
            std::vector<fs::path> files;
            for (const auto& entry : fs::directory_iterator(argv[i]))
                if (entry.is_regular_file()) files.push_back(entry.path());
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        } else {
            inputs.emplace_back(argv[i]);
        }
    }
    for (const fs::path& path : inputs) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "%s: cannot read\n", path.c_str());
            return 1;
        }
        std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
        // Like libFuzzer, hand over an exact-size heap copy so that reads past the end are caught
        // by a sanitizer.
        std::vector<uint8_t> copy(bytes.begin(), bytes.end());
        uint8_t* data = copy.empty() ? nullptr : copy.data();
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), copy.size());
        LLVMFuzzerTestOneInput(data, copy.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    if (inputs.empty()) return 1;
    return 0;
}
