// The text scanner shared by the OBJ and MTL readers: the one place that knows how words, integers,
// floats and line remainders are read.
//
// It reproduces the formatted-input rules the file formats are defined by ("%s" limited to 127
// characters, "%d", "%f", and a line remainder read into a 128-byte buffer): the same white space,
// the same characters consumed by a number read that fails, the same values bit for bit. A file
// streams through one fixed-size buffer, so memory stays flat however large the file; text already
// in memory is scanned in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zel {

// Longest word or stored line remainder; buffers that receive them hold one byte more.
constexpr size_t kMaxToken = 127;

inline bool isSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool isDigit(int c) { return c >= '0' && c <= '9'; }

class Scanner {
public:
    // Scans an open file from its current position; the file stays the caller's.
    explicit Scanner(FILE* file);
    // Scans `size` bytes at `data`, which must outlive the scanner.
    Scanner(const char* data, size_t size);

    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // Goes back to the first byte.
    void rewind();
    // True when a read from the file failed (the rest of the input then reads as its end).
    bool failed() const { return ioError_; }
    // Bytes consumed since the start.
    uint64_t offset() const { return base_ + static_cast<uint64_t>(p_ - begin_); }
    // The 1-based number of the line holding byte `offset`. For error reports only: it rescans the
    // input, after which the scanner must not be used again.
    uint32_t lineAt(uint64_t offset);

    // The next byte (0..255) without consuming it, or EOF at the end of the input.
    int peek() { return p_ < end_ ? static_cast<unsigned char>(*p_) : slowPeek(); }
    // Consumes the byte that peek() returned; must follow a peek() that was not EOF.
    void advance() { ++p_; }
    // Consumes the next byte when it equals c.
    bool literal(int c) {
        if (peek() != c) return false;
        ++p_;
        return true;
    }

    void skipSpace();
    // "%127s": skips white space and reads up to 127 other bytes into word (NUL-terminated).
    // Returns false at the end of the input.
    bool readWord(char* word);
    // Consumes everything up to and including the next line feed, or to the end of the input.
    void skipLine();
    // Reads the rest of the line, line feed included. The first 127 bytes are stored in `line`
    // (NUL-terminated) and the rest of the line is consumed unstored. Returns the stored length.
    size_t readLine(char* line);
    // "%d": 1 when a value was stored, 0 on a matching failure, EOF at the end of the input.
    int readInt(int* value);
    // "%f": 1 when a value was stored, 0 on a matching failure, EOF at the end of the input.
    int readFloat(float* value);
    // "%f %f ...": reads up to n floats, stopping at the first that fails; returns how many were
    // stored.
    int readFloats(float* values, int n);

private:
    int slowPeek();
    bool refill();

    FILE* file_ = nullptr;
    std::vector<char> buffer_;
    const char* begin_ = nullptr;  // start of the bytes held
    const char* p_ = nullptr;      // next byte
    const char* end_ = nullptr;    // end of the bytes held
    uint64_t base_ = 0;            // offset of begin_ in the input
    bool atEnd_ = false;           // nothing more to read beyond end_
    bool ioError_ = false;
};

// Opens a file for reading, refusing directories (which the C library opens but cannot read).
// Returns null with errno set on failure.
FILE* openForReading(const char* path);

// The group name of a "g" line: the rest of the line as read, without its line end (a line feed,
// and a carriage return before it). Leading and inner white space stay.
std::string groupName(const char* line);

// The name of an "mtllib", "usemtl" or "newmtl" line: its second word when it has two or more, its
// first when it has one, and the rest of the line as read when it has none.
std::string statementName(const char* line);

// Scans a "%d" from any source with peek()/advance()/skipSpace(), with the rules of the scanner:
// an optional sign, then decimal digits; the value is converted as a long (saturating) and stored
// as an int, as the C library does.
template <class Source>
int scanInt(Source& in, int* value) {
    in.skipSpace();
    int c = in.peek();
    if (c == EOF) return EOF;
    bool negative = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        in.advance();
        c = in.peek();
    }
    if (!isDigit(c)) return 0;
    // Saturate at 2^63 like strtol; beyond that the digits are consumed but no longer counted.
    constexpr uint64_t kLimit = uint64_t{1} << 63;
    uint64_t magnitude = 0;
    do {
        if (magnitude <= kLimit) magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
        if (magnitude > kLimit) magnitude = kLimit + 1;
        in.advance();
        c = in.peek();
    } while (isDigit(c));
    int64_t wide;
    if (negative)
        wide = magnitude >= kLimit ? INT64_MIN : -static_cast<int64_t>(magnitude);
    else
        wide = magnitude >= kLimit ? INT64_MAX : static_cast<int64_t>(magnitude);
    *value = static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
    return 1;
}

}  // namespace zel
