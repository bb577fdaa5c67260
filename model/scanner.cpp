#include "scanner.h"

#include <fast_float/fast_float.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zel {

namespace {

int lower(int c) {
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}
bool isHexDigit(int c) {
    return isDigit(c) || (lower(c) >= 'a' && lower(c) <= 'f');
}

// A float token read straight from the bytes in the buffer. Reaching the end of the bytes held
// while more input may follow overruns the window; the caller then reads the token again through
// the scanner.
struct InPlaceCursor : Window {
    void take() { ++p; }
    void skip() { ++p; }
};

// A float token read through the scanner byte by byte and collected, for tokens that straddle a
// buffer refill.
struct CollectingCursor {
    Scanner& in;
    std::string token;

    int peek() { return in.peek(); }
    void take() {
        token.push_back(static_cast<char>(in.peek()));
        in.advance();
    }
    void skip() { in.advance(); }
};

// Consumes one float token by the C library's "%f" rules and reports whether it is one. The
// characters taken are the token; a character that breaks a "nan" or "inf[inity]" spelling is
// consumed without being taken, as the C library does, while the character that ends any other
// token is left unread. Called with the input on a byte that is not white space.
template <class Cursor>
bool scanFloatToken(Cursor& in, size_t* tokenLength) {
    size_t length = 0;
    auto take = [&]() {
        in.take();
        ++length;
    };
    // Consumes the next byte if it is `want` (in either case), or consumes the mismatch and fails.
    auto expect = [&](int want) {
        int c = in.peek();
        if (c != EOF && lower(c) == want) {
            take();
            return true;
        }
        if (c != EOF) in.skip();
        return false;
    };

    int c = in.peek();
    size_t signLength = 0;
    if (c == '-' || c == '+') {
        take();
        signLength = 1;
        c = in.peek();
        if (c == EOF) return false;
    }
    if (lower(c) == 'n') {
        take();
        if (!expect('a') || !expect('n')) return false;
        *tokenLength = length;
        return true;
    }
    if (lower(c) == 'i') {
        take();
        if (!expect('n') || !expect('f')) return false;
        if (lower(in.peek()) == 'i') {
            take();
            for (const char* rest = "nity"; *rest; ++rest)
                if (!expect(*rest)) return false;
        }
        *tokenLength = length;
        return true;
    }

    bool hex = false, gotDigit = false, gotDot = false, gotExponent = false;
    if (c == '0') {
        take();
        if (lower(in.peek()) == 'x') {
            take();
            hex = true;
        } else {
            gotDigit = true;
        }
    }
    const int exponentChar = hex ? 'p' : 'e';
    bool lastWasExponent = false;
    for (;;) {
        c = in.peek();
        bool exponentNow = false;
        if (isDigit(c) || (!gotExponent && hex && isHexDigit(c))) {
            gotDigit = true;
        } else if (lastWasExponent && (c == '-' || c == '+')) {
        } else if (gotDigit && !gotExponent && lower(c) == exponentChar) {
            gotExponent = gotDot = exponentNow = true;
        } else if (!gotDot && c == '.') {
            gotDot = true;
        } else {
            break;
        }
        take();
        lastWasExponent = exponentNow;
    }
    if (length == signLength || (hex && length == signLength + 2)) return false;
    *tokenLength = length;
    return true;
}

// Converts a complete token as strtof would; false when no number could be read from it.
bool convertFloat(const char* token, size_t length, float* value) {
    const char* digits = token;
    const char* end = token + length;
    bool negative = false;
    if (digits < end && (*digits == '-' || *digits == '+')) {
        negative = *digits == '-';
        ++digits;
    }
    bool rare = digits < end && (lower(*digits) == 'n' || lower(*digits) == 'i' ||
                                 (end - digits > 1 && digits[0] == '0' && lower(digits[1]) == 'x'));
    if (rare) {
        // nan, inf and hexadecimal forms go to the C library, whose results they are by definition.
        std::string copy(token, length);
        char* stop = nullptr;
        float result = std::strtof(copy.c_str(), &stop);
        if (stop == copy.c_str()) return false;
        *value = result;
        return true;
    }
    float result = 0;
    auto parsed = fast_float::from_chars(digits, end, result);
    if (parsed.ptr == digits) return false;
    *value = negative ? -result : result;
    return true;
}

}  // namespace

bool openForReading(const char* path, Input* input) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        errno = EISDIR;
        return false;
    }
    *input = Input{};
    input->fd = fd;
    input->size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    return true;
}

ptrdiff_t Input::read(uint64_t offset, char* dst, size_t n) const {
    if (fd < 0) {
        if (offset >= size) return 0;
        size_t count = static_cast<size_t>(std::min<uint64_t>(n, size - offset));
        std::memcpy(dst, data + offset, count);
        return static_cast<ptrdiff_t>(count);
    }
    size_t done = 0;
    while (done < n) {
        ssize_t got = pread(fd, dst + done, n - done, static_cast<off_t>(offset + done));
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<ptrdiff_t>(done);
}

std::string groupName(const char* line) {
    size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\n') {
        length--;
        if (length > 0 && line[length - 1] == '\r') length--;
    }
    return std::string(line, length);
}

std::string statementName(const char* line) {
    std::string words[2];
    int count = 0;
    for (const char* p = line; *p && count < 2;) {
        while (*p && isSpace(static_cast<unsigned char>(*p))) ++p;
        const char* start = p;
        while (*p && !isSpace(static_cast<unsigned char>(*p))) ++p;
        if (p > start) words[count++].assign(start, p);
    }
    if (count == 0) return line;
    return words[count - 1];
}

std::string trimmedName(const std::string& rest) {
    // A NUL ends it, as it ends every string a model holds.
    size_t first = 0, last = std::strlen(rest.c_str());
    while (first < last && isSpace(static_cast<unsigned char>(rest[first]))) ++first;
    while (last > first && isSpace(static_cast<unsigned char>(rest[last - 1]))) --last;
    return rest.substr(first, last - first);
}

Scanner::Scanner(const Input& input, uint64_t start, std::vector<char>& buffer)
    : input_(input), buffer_(buffer.data()), bufferSize_(buffer.size()) {
    seek(start);
}

Scanner::Scanner(const char* data, size_t size, uint64_t start)
    : begin_(data), p_(data), end_(data + size), atEnd_(true) {
    input_.data = data;
    input_.size = size;
    seek(start);
}

void Scanner::seek(uint64_t offset) {
    if (!buffer_) {
        p_ = begin_ + std::min<uint64_t>(offset, input_.size);
        return;
    }
    base_ = offset;
    p_ = end_ = begin_ = buffer_;
    atEnd_ = ioError_;
}

bool Scanner::refill() {
    if (atEnd_) return false;
    base_ += static_cast<uint64_t>(end_ - begin_);
    ptrdiff_t got = input_.read(base_, buffer_, bufferSize_);
    if (got < 0) {
        ioError_ = true;
        got = 0;
    }
    if (static_cast<size_t>(got) < bufferSize_) atEnd_ = true;
    p_ = begin_ = buffer_;
    end_ = begin_ + got;
    return got > 0;
}

bool Scanner::slide(size_t n) {
    if (atEnd_ || bufferSize_ < 2 * n) return false;
    size_t kept = static_cast<size_t>(end_ - p_);
    base_ += static_cast<uint64_t>(p_ - begin_);
    std::memmove(buffer_, p_, kept);
    ptrdiff_t got = input_.read(base_ + kept, buffer_ + kept, bufferSize_ - kept);
    if (got < 0) {
        ioError_ = true;
        got = 0;
    }
    if (static_cast<size_t>(got) < bufferSize_ - kept) atEnd_ = true;
    p_ = begin_ = buffer_;
    end_ = begin_ + kept + got;
    return static_cast<size_t>(end_ - p_) >= n;
}

int Scanner::slowPeek() {
    while (p_ >= end_)
        if (!refill()) return EOF;
    return static_cast<unsigned char>(*p_);
}

uint32_t Scanner::lineAt(uint64_t offset) {
    seek(0);
    uint64_t lines = 1 + linesUpTo(offset);
    return lines > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(lines);
}

uint64_t Scanner::linesUpTo(uint64_t bytes) {
    uint64_t lines = 0;
    while (bytes > 0 && peek() != EOF) {
        size_t span = static_cast<size_t>(end_ - p_);
        if (span > bytes) span = static_cast<size_t>(bytes);
        for (const char* q = p_; q < p_ + span; ++q) lines += *q == '\n';
        p_ += span;
        bytes -= span;
    }
    return lines;
}

void Scanner::skipSpaceAcrossRefills() {
    while (p_ == end_ && refill())
        while (p_ < end_ && isSpace(static_cast<unsigned char>(*p_))) ++p_;
}

const char* Scanner::slowWord(size_t* length) {
    size_t n = 0;
    int c;
    while (n < kMaxToken && (c = peek()) != EOF && !isSpace(c)) {
        spill_[n++] = static_cast<char>(c);
        ++p_;
    }
    spill_[n] = '\0';
    *length = n;
    return spill_;
}

size_t Scanner::readWord(char* word) {
    size_t length;
    const char* start = this->word(&length);
    std::memcpy(word, start, length);
    word[length] = '\0';
    return length;
}

void Scanner::skipLine() {
    for (;;) {
        if (p_ < end_) {
            const void* newline = std::memchr(p_, '\n', static_cast<size_t>(end_ - p_));
            if (newline) {
                p_ = static_cast<const char*>(newline) + 1;
                return;
            }
            p_ = end_;
        }
        if (!refill()) return;
    }
}

size_t Scanner::readLine(char* line) {
    size_t length = 0;
    int c;
    while (length < kMaxToken && (c = peek()) != EOF) {
        line[length++] = static_cast<char>(c);
        ++p_;
        if (c == '\n') break;
    }
    line[length] = '\0';
    if (length == kMaxToken && line[length - 1] != '\n') skipLine();
    return length;
}

void Scanner::readRestOfLine(std::string* line) {
    line->clear();
    for (;;) {
        if (p_ < end_) {
            const char* newline =
                static_cast<const char*>(std::memchr(p_, '\n', static_cast<size_t>(end_ - p_)));
            line->append(p_, newline ? newline : end_);
            if (newline) {
                p_ = newline + 1;
                return;
            }
            p_ = end_;
        }
        if (!refill()) return;
    }
}

int Scanner::slowFloat(float* value) {
    if (peek() == EOF) return EOF;
    InPlaceCursor fast{{p_, end_, atEnd_}};
    size_t length = 0;
    bool token = scanFloatToken(fast, &length);
    if (!fast.overrun) {
        const char* start = p_;
        p_ = fast.p;
        return token && convertFloat(start, length, value) ? 1 : 0;
    }
    CollectingCursor slow{*this, {}};
    token = scanFloatToken(slow, &length);
    return token && convertFloat(slow.token.data(), slow.token.size(), value) ? 1 : 0;
}

int Scanner::peekInLine() {
    int c;
    while ((c = peek()) != EOF && c != '\n' && isSpace(c)) ++p_;
    return c;
}

int Scanner::readFloatsInLine(float* values, int n, bool* ended, bool* whole) {
    *ended = false;
    for (int i = 0; i < n; i++) {
        int c = peekInLine();
        if (c == '\n' || c == EOF) {
            *ended = true;
            return i;
        }
        float value;
        if (readFloat(&value) != 1) return i;
        values[i] = value;
        c = peek();
        if (c != EOF && !isSpace(c)) *whole = false;
    }
    return n;
}

bool wholeNumber(const char* word, size_t length, float* value) {
    Scanner in(word, length);
    float number;
    if (in.readFloat(&number) != 1 || in.peek() != EOF) return false;
    *value = number;
    return true;
}

int wholeNumbers(const char* text, size_t size, float* values, int n) {
    const char* p = text;
    const char* const end = text + size;
    for (int i = 0; i < n; i++) {
        while (p < end && isSpace(static_cast<unsigned char>(*p))) ++p;
        const char* word = p;
        while (p < end && !isSpace(static_cast<unsigned char>(*p))) ++p;
        if (p == word || !wholeNumber(word, static_cast<size_t>(p - word), &values[i])) return i;
    }
    return n;
}

int Scanner::readFloats(float* values, int n) {
    for (int i = 0; i < n; i++) {
        float value;
        if (readFloat(&value) != 1) return i;
        values[i] = value;
    }
    return n;
}

}  // namespace zel
