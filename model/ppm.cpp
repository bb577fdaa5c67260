// The binary PPM (P6) reader. The header is read line by line through a 70-byte buffer, as fgets
// reads it; the same code runs over a file and over a block in memory. Sizes are checked before
// anything is allocated, and pixel bytes missing at the end of the file read as zero.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zel_internal.h"

namespace zel {
namespace {

// The header line buffer: one read takes at most 69 characters.
constexpr int kLineBuffer = 70;
// A pixel block may exceed what the file still holds by this much (the missing bytes read as
// zero); beyond it the size is taken for a broken header rather than a short file.
constexpr size_t kMissingSlack = size_t(1) << 20;

struct MemorySource {
    const unsigned char* data;
    size_t size;
    size_t position;
};

struct FileSource {
    FILE* file;
};

// Reads the next line, or its next 69 characters, into `line` as fgets does. False at the end.
bool readLine(MemorySource& source, char (&line)[kLineBuffer]) {
    if (source.position >= source.size) return false;
    int n = 0;
    while (n < kLineBuffer - 1 && source.position < source.size) {
        char c = static_cast<char>(source.data[source.position++]);
        line[n++] = c;
        if (c == '\n') break;
    }
    line[n] = '\0';
    return true;
}

bool readLine(FileSource& source, char (&line)[kLineBuffer]) {
    return std::fgets(line, kLineBuffer, source.file) != nullptr;
}

size_t readBytes(MemorySource& source, unsigned char* out, size_t count) {
    size_t n = std::min(count, source.size - source.position);
    std::memcpy(out, source.data + source.position, n);
    source.position += n;
    return n;
}

size_t readBytes(FileSource& source, unsigned char* out, size_t count) {
    return std::fread(out, 1, count, source.file);
}

// Bytes left to read, or SIZE_MAX when that cannot be known (a pipe).
size_t bytesLeft(MemorySource& source) {
    return source.size - source.position;
}

size_t bytesLeft(FileSource& source) {
    struct stat info;
    long position = std::ftell(source.file);
    if (fstat(fileno(source.file), &info) != 0 || !S_ISREG(info.st_mode) || position < 0)
        return SIZE_MAX;
    return info.st_size > position ? static_cast<size_t>(info.st_size - position) : 0;
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Scans up to `wanted` integers from the start of `line` as sscanf does with "%d %d %d" (or its
// shorter forms): white space is skipped before each number, and the scan stops at the first
// text that is not one. Returns how many were converted. Numbers beyond the int range are clamped.
int scanInts(const char* line, int* values, int wanted) {
    const char* p = line;
    int converted = 0;
    while (converted < wanted) {
        while (isSpace(*p)) p++;
        const char* q = p;
        bool negative = false;
        if (*q == '+' || *q == '-') negative = *q++ == '-';
        if (!isDigit(*q)) break;
        long long magnitude = 0;
        for (; isDigit(*q); q++)
            if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (*q - '0');
        if (negative) magnitude = -magnitude;
        values[converted++] = magnitude > INT_MAX   ? INT_MAX
                              : magnitude < INT_MIN ? INT_MIN
                                                    : static_cast<int>(magnitude);
        p = q;
    }
    return converted;
}

template <class Source>
Status loadPPMFrom(Source& source, const char* name, int* width, int* height,
                   unsigned char** pixels) {
    *pixels = nullptr;
    char line[kLineBuffer];
    if (!readLine(source, line) || line[0] != 'P' || line[1] != '6')
        return failure(Stream::Err, "%s: Not a raw PPM file\n", name);

    int numbers[3] = {0, 0, 0};  // width, height, maximum value
    int count = 0;
    while (count < 3) {
        if (!readLine(source, line))
            return failure(Stream::Err,
                           "%s: PPM header ends before width, height and maximum value\n", name);
        if (line[0] == '#') continue;
        count += scanInts(line, numbers + count, 3 - count);
    }

    const int w = numbers[0], h = numbers[1];
    size_t size;
    if (w <= 0 || h <= 0 ||
        __builtin_mul_overflow(static_cast<size_t>(w), static_cast<size_t>(h), &size) ||
        __builtin_mul_overflow(size, size_t(3), &size))
        return failure(Stream::Err, "%s: bad PPM size %d x %d\n", name, w, h);
    const size_t left = bytesLeft(source);
    if (left != SIZE_MAX && size - std::min(size, left) > std::max(left, kMissingSlack))
        return failure(Stream::Err,
                       "%s: PPM size %d x %d needs %zu pixel bytes, the file holds only %zu\n",
                       name, w, h, size, left);

    unsigned char* block = static_cast<unsigned char*>(std::calloc(size, 1));
    if (!block) {
        Status status =
            failure(Stream::Err, "%s: can't allocate %zu bytes for a %d x %d PPM image\n", name,
                    size, w, h);
        status.outOfMemory = true;
        return status;
    }
    readBytes(source, block, size);  // a short read leaves zeros behind
    *pixels = block;
    *width = w;
    *height = h;
    return Status{};
}

// loadPPMFrom, with the reason of a failure marked past the "NAME: " it starts with.
template <class Source>
Status loadPPM(Source& source, const char* name, int* width, int* height, unsigned char** pixels) {
    Status status = loadPPMFrom(source, name, width, height, pixels);
    const size_t length = std::strlen(name);
    if (!status.ok && status.message.compare(0, length, name) == 0 &&
        status.message.compare(length, 2, ": ") == 0)
        status.reasonAt = static_cast<uint32_t>(length + 2);
    return status;
}

}  // namespace

Status loadPPMMemory(const char* name, const unsigned char* data, size_t size, int* width,
                     int* height, unsigned char** pixels) {
    ZEL_REQUIRE(name && width && height && pixels);
    ZEL_REQUIRE(data || size == 0);
    MemorySource source{data, size, 0};
    return loadPPM(source, name, width, height, pixels);
}

Status loadPPMFile(const char* filename, int* width, int* height, unsigned char** pixels) {
    ZEL_REQUIRE(filename && width && height && pixels);
    *pixels = nullptr;
    FILE* file = std::fopen(filename, "rb");
    if (!file) {
        // As perror(filename) reports it.
        const char* reason = std::strerror(errno);
        if (filename[0] == '\0') return failure(Stream::Err, "%s\n", reason);
        Status status = failure(Stream::Err, "%s: %s\n", filename, reason);
        status.reasonAt = static_cast<uint32_t>(std::strlen(filename) + 2);
        return status;
    }
    FileSource source{file};
    Status status = loadPPM(source, filename, width, height, pixels);
    std::fclose(file);
    return status;
}

}  // namespace zel

namespace {

// Runs a PPM load with out of memory caught as a failure.
template <class Load>
zel::Status loadCatching(const char* name, Load&& load) {
    try {
        return load();
    } catch (const std::bad_alloc&) {
        return zel::outOfMemory("zelLoadPPM", "reading", name);
    }
}

}  // namespace

unsigned char* zelLoadPPM(const char* filename, int* width, int* height) {
    unsigned char* pixels = nullptr;
    const zel::Status status =
        loadCatching(filename, [&] { return zel::loadPPMFile(filename, width, height, &pixels); });
    if (!status.ok) std::fputs(status.message.c_str(), stderr);
    return pixels;
}

unsigned char* zelLoadPPMFile(const char* filename, int* width, int* height, ZelError* error) {
    unsigned char* pixels = nullptr;
    const zel::Status status =
        loadCatching(filename, [&] { return zel::loadPPMFile(filename, width, height, &pixels); });
    if (!status.ok) zel::fillError(status, error);
    return pixels;
}

unsigned char* zelLoadPPMMemory(const char* name, const unsigned char* data, size_t size,
                                int* width, int* height, ZelError* error) {
    unsigned char* pixels = nullptr;
    const zel::Status status = loadCatching(
        name, [&] { return zel::loadPPMMemory(name, data, size, width, height, &pixels); });
    if (!status.ok) zel::fillError(status, error);
    return pixels;
}
