// Fuzzes the PPM (P6) reader over memory and over a file holding the same bytes.
//
// Either read returns a pixel block of width * height * 3 bytes with a positive width and height,
// or a one-line diagnostic that starts with the file name and leaves the out-values alone. Both
// reads must agree on everything: status, message, size and every pixel byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

constexpr int kUntouched = -7;

struct Result {
    zel::Status status;
    int width = kUntouched;
    int height = kUntouched;
    unsigned char* pixels = reinterpret_cast<unsigned char*>(1);
};

void check(const Result& r, const char* name, size_t inputSize) {
    if (!r.status.ok) {
        fuzz::checkFailureLine(r.status);
        FUZZ_CHECK(r.status.message.compare(0, std::strlen(name) + 2, std::string(name) + ": ") ==
                   0);
        FUZZ_CHECK(r.pixels == nullptr);
        FUZZ_CHECK(r.width == kUntouched && r.height == kUntouched);
        return;
    }
    FUZZ_CHECK(r.pixels != nullptr);
    FUZZ_CHECK(r.width > 0 && r.height > 0);
    const size_t bytes = size_t(r.width) * size_t(r.height) * 3;
    // A block larger than the input is allowed only within the reader's slack for short files.
    FUZZ_CHECK(bytes <= inputSize + (inputSize > (size_t(1) << 20) ? inputSize : size_t(1) << 20));
    // Every byte of the block must be readable and initialised.
    uint64_t sum = 0;
    for (size_t i = 0; i < bytes; i++) sum += r.pixels[i];
    FUZZ_CHECK(sum <= 255 * uint64_t{bytes});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemoryFile file;
    const char* path = file.set(data, size);

    Result memory;
    memory.status =
        zel::loadPPMMemory(path, data, size, &memory.width, &memory.height, &memory.pixels);
    check(memory, path, size);

    Result fromFile;
    fromFile.status = zel::loadPPMFile(path, &fromFile.width, &fromFile.height, &fromFile.pixels);
    check(fromFile, path, size);

    FUZZ_CHECK(memory.status.ok == fromFile.status.ok);
    FUZZ_CHECK(memory.status.message == fromFile.status.message);
    FUZZ_CHECK(memory.width == fromFile.width && memory.height == fromFile.height);
    if (memory.status.ok)
        FUZZ_CHECK(std::memcmp(memory.pixels, fromFile.pixels,
                               size_t(memory.width) * size_t(memory.height) * 3) == 0);
    std::free(memory.status.ok ? memory.pixels : nullptr);
    std::free(fromFile.status.ok ? fromFile.pixels : nullptr);
    return 0;
}
