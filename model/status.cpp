// Failure reporting shared by the library's operations.
#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zel_internal.h"

namespace zel {

void failedPrecondition(const char* expr, const char* file, int line, const char* func) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s:%d: %s: Assertion `%s' failed.\n", program_invocation_short_name,
                 file, line, func, expr);
    std::abort();
}

Status failure(Stream stream, const char* fmt, ...) {
    Status status;
    status.ok = false;
    status.stream = stream;
    va_list args;
    va_start(args, fmt);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, fmt, args);
    va_end(args);
    if (n >= 0 && static_cast<size_t>(n) < sizeof small) {
        status.message.assign(small, static_cast<size_t>(n));
    } else if (n > 0) {
        status.message.resize(static_cast<size_t>(n) + 1);
        va_start(args, fmt);
        std::vsnprintf(&status.message[0], status.message.size(), fmt, args);
        va_end(args);
        status.message.resize(static_cast<size_t>(n));
    }
    return status;
}

void exitWith(const Status& status) {
    FILE* stream = status.stream == Stream::Out ? stdout : stderr;
    std::fputs(status.message.c_str(), stream);
    std::fflush(stream);
    std::exit(1);
}

void fillError(const Status& status, ZelError* error) {
    if (!error) return;
    const std::string& message = status.message;
    size_t length = message.size() - (!message.empty() && message.back() == '\n');
    length = std::min(length, sizeof error->message - 1);
    std::memcpy(error->message, message.data(), length);
    error->message[length] = '\0';
    error->line = status.line;
    error->reason = static_cast<uint32_t>(std::min<size_t>(status.reasonAt, length));
    error->outofmemory = status.outOfMemory;
}

void* allocate(size_t bytes) {
    void* block = std::malloc(bytes ? bytes : 1);
    if (!block) throw std::bad_alloc();
    return block;
}

void* allocateZeroed(size_t count, size_t size) {
    void* block = std::calloc(count ? count : 1, size ? size : 1);
    if (!block) throw std::bad_alloc();
    return block;
}

char* copyString(const char* text) {
    char* copy = strdup(text);
    if (!copy) throw std::bad_alloc();
    return copy;
}

Status outOfMemory(const char* operation, const char* doing, const char* path) noexcept {
    Status status;
    try {
        status =
            failure(Stream::Err, "%s() failed: out of memory %s \"%s\".\n", operation, doing, path);
    } catch (const std::bad_alloc&) {
        status.ok = false;
    }
    status.outOfMemory = true;
    return status;
}

void exitOutOfMemory(const char* operation) {
    std::fflush(stdout);
    std::fputs(operation, stderr);
    std::fputs("() failed: out of memory.\n", stderr);
    std::exit(1);
}

}  // namespace zel
