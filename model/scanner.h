// The text scanner shared by the OBJ and MTL readers: the one place that knows how words, integers,
// floats and line remainders are read.
//
// It reproduces the formatted-input rules the file formats are defined by ("%s" limited to 127
// characters, "%d", "%f", and a line remainder read into a 128-byte buffer): the same white space,
// the same characters consumed by a number read that fails, the same values bit for bit. A file
// streams through one fixed-size buffer, so memory stays flat however large the file; text already
// in memory is scanned in place, or through a buffer too, so that tests can place its refills.
#pragma once

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "digits.h"

namespace zel {

// Longest word or stored line remainder; buffers that receive them hold one byte more.
constexpr size_t kMaxToken = 127;

// The first line feed in [p, end), or null.
ZEL_HOT const char* findNewline(const char* p, const char* end) {
#ifdef __SSE2__
    const __m128i newline = _mm_set1_epi8('\n');
    for (; end - p >= 16; p += 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        unsigned found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)));
        if (found) return p + __builtin_ctz(found);
    }
#endif
    return static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
}

#ifdef __SSE2__
// For the 16 bytes at `at`: bit i set when byte i is a line feed (into *lineFeeds), and, returned,
// bit i set when byte i is above ' ' (unsigned): flipping the top bit makes the signed compare do.
ZEL_HOT unsigned wordAndLineFeedBits(const char* at, unsigned* lineFeeds) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    *lineFeeds =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))));
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i blank = _mm_set1_epi8(static_cast<char>(' ' ^ 0x80));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpgt_epi8(_mm_xor_si128(bytes, flip), blank)));
}
#endif

// What shortLineEnd reads from its position on.
constexpr size_t kShortLineBytes = 32;

// The line feed that ends the line at p when it lies among the kShortLineBytes bytes from p, with
// *atLeast set when at least n runs of bytes above ' ' come before it; null for a longer line. The
// cheap form of lineEndAndWords for the short lines most statements are: one load of each mask,
// and the count never taken, only whether it reaches n.
ZEL_HOT const char* shortLineEnd(const char* p, const char* end, unsigned n, bool* atLeast) {
    ZEL_ASSERT(readable(p, end, kShortLineBytes));
#ifdef __SSE2__
    unsigned low, high;
    const unsigned word = wordAndLineFeedBits(p, &low) | wordAndLineFeedBits(p + 16, &high) << 16;
    const unsigned found = low | high << 16;
    if (!found) return nullptr;
    unsigned starts = word & ~(word << 1) & ((found & -found) - 1);
#pragma GCC unroll 8
    for (unsigned i = 1; i < n; i++) starts &= starts - 1;
    *atLeast = n == 0 || starts != 0;
    return p + __builtin_ctz(found);
#else
    (void)n;
    (void)atLeast;
    return nullptr;
#endif
}

// The line feed that ends the line at p, searched for in [p, end), or null when there is none
// there. *words receives the number of runs of bytes above ' ' before it (or before end): an
// upper bound on the words of the line, since every white-space byte is at most ' '.
ZEL_HOT const char* lineEndAndWords(const char* p, const char* end, unsigned* words) {
    unsigned count = 0;
    unsigned inWord = 0;
#ifdef __SSE2__
    for (; end - p >= 32; p += 32) {
        unsigned low, high;
        const unsigned word = wordAndLineFeedBits(p, &low) | wordAndLineFeedBits(p + 16, &high)
                                                                 << 16;
        const unsigned found = low | high << 16;
        unsigned starts = word & ~((word << 1) | inWord);
        if (found) starts &= (found & -found) - 1;
        for (; starts; starts &= starts - 1) count++;  // a line has few words
        if (found) {
            *words = count;
            return p + __builtin_ctz(found);
        }
        inWord = word >> 31;
    }
#endif
    for (; p < end; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\n') break;
        count += c > ' ' && !inWord;
        inWord = c > ' ';
    }
    *words = count;
    return p < end ? p : nullptr;
}

struct Window;

// The size of the buffer a file streams through unless a reader is told otherwise.
constexpr size_t kDefaultBufferSize = size_t{1} << 20;

// Where a scanner's bytes come from: a file read with pread (so that several scanners can read one
// file at different places at once), or bytes in memory.
struct Input {
    int fd = -1;                 // the file, when not -1
    const char* data = nullptr;  // otherwise the bytes, which must outlive every scanner
    uint64_t size = 0;           // the bytes in memory; a file's size when it was opened

    // Copies the bytes from `offset` on into dst, up to n of them; returns how many (fewer than n
    // only at the end of the input), or -1 when the file cannot be read.
    ptrdiff_t read(uint64_t offset, char* dst, size_t n) const;
};

class Scanner {
public:
    // Scans `input` from byte `start` through `buffer`, which the scanner refills as it goes (its
    // size, at least 1, is the most it holds at once). A file is read to its end, whatever size it
    // had when opened.
    Scanner(const Input& input, uint64_t start, std::vector<char>& buffer);
    // Scans `size` bytes at `data` in place from byte `start`; the bytes must outlive the scanner.
    Scanner(const char* data, size_t size, uint64_t start = 0);

    Scanner(const Scanner&) = delete;
    Scanner& operator=(const Scanner&) = delete;

    // Goes to byte `offset` of the input.
    void seek(uint64_t offset);
    // True when a read from the file failed (the rest of the input then reads as its end).
    bool failed() const { return ioError_; }
    // Bytes consumed since the start.
    uint64_t offset() const { return base_ + static_cast<uint64_t>(p_ - begin_); }
    // The 1-based number of the line holding byte `offset`. For error reports only: it rescans the
    // input, after which the scanner must not be used again.
    uint32_t lineAt(uint64_t offset);
    // Consumes up to `bytes` bytes and returns how many line feeds they held.
    uint64_t linesUpTo(uint64_t bytes);

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

    void skipSpace() {
        while (p_ < end_ && isSpace(static_cast<unsigned char>(*p_))) ++p_;
        if (p_ == end_) skipSpaceAcrossRefills();
    }
    // "%127s": skips white space and reads up to 127 other bytes into word (NUL-terminated).
    // Returns false at the end of the input.
    size_t readWord(char* word);
    // The same word without a copy where it lies wholly in the buffer: returns its first byte and
    // sets *length (0 at the end of the input). It stays valid until the next call.
    ZEL_HOT const char* word(size_t* length);
    // Consumes everything up to and including the next line feed, or to the end of the input.
    void skipLine();
    // Reads the rest of the line, line feed included. The first 127 bytes are stored in `line`
    // (NUL-terminated) and the rest of the line is consumed unstored. Returns the stored length.
    size_t readLine(char* line);
    // Reads the rest of the line, line feed included, and stores all of it but the line feed.
    void readRestOfLine(std::string* line);
    // "%d": 1 when a value was read (and stored, unless `value` is null), 0 on a matching failure,
    // EOF at the end of the input.
    inline int readInt(int* value);
    // "%f": 1 when a value was stored, 0 on a matching failure, EOF at the end of the input.
    ZEL_HOT int readFloat(float* value);
    // "%f %f ...": reads up to n floats, stopping at the first that fails; returns how many were
    // stored.
    int readFloats(float* values, int n);
    // Skips blanks (white space other than the line feed) and returns the next byte without
    // consuming it, or EOF at the end of the input.
    int peekInLine();
    // "%f" reads of up to n floats that stay on the current line: before each only blanks are
    // skipped, and reading stops at the line end (or the end of the input), with *ended set, or
    // at the first read that fails. Returns how many were stored. *whole turns false when a
    // number read is not a whole word (white space or the end of the input does not follow it).
    int readFloatsInLine(float* values, int n, bool* ended, bool* whole);
    // False when the rest of the line, from the next byte, is held and has fewer than n words;
    // true otherwise (a cheap test ahead of reading the words).
    bool lineMayHoldWords(unsigned n) const {
        unsigned words;
        return !lineEndAndWords(p_, end_, &words) && !atEnd_ ? true : words >= n;
    }

    // The next byte, when at least n bytes from it on are held (refilling the buffer to get them
    // if need be), so that a quick path can read them without end checks; null otherwise (near the
    // end of the input, or with a buffer smaller than 2n). Memory scanned in place has no buffer to
    // refill.
    const char* ahead(size_t n) {
        return static_cast<size_t>(end_ - p_) >= n || slide(n) ? p_ : nullptr;
    }
    // Takes the position a quick path reached in the bytes ahead() gave.
    void advanceTo(const char* p) { p_ = p; }
    // The end of the bytes held, and where byte `offset` of the input lies in them (at most
    // their end).
    const char* heldEnd() const { return end_; }
    const char* heldAt(uint64_t offset) const {
        return offset - base_ < static_cast<uint64_t>(end_ - begin_) ? begin_ + (offset - base_)
                                                                     : end_;
    }
    uint64_t offsetOf(const char* p) const { return base_ + static_cast<uint64_t>(p - begin_); }

    // A window over the bytes held from the next byte on, and taking back the position a fast path
    // reached in it.
    ZEL_HOT Window window() const;
    ZEL_HOT void commit(const Window& window);

    // Runs scan(source) on a Window over the bytes in the buffer and keeps what it consumed; when
    // the scan ran into the end of those bytes before the end of the input, its result may be cut
    // short, so it runs again on the scanner itself, which refills as it goes. The scan must be
    // safe to repeat: it may only store values that the second run stores again.
    template <class Scan>
    auto scan(Scan&& scan);

private:
    int slowPeek();
    void skipSpaceAcrossRefills();
    const char* slowWord(size_t* length);
    int slowFloat(float* value);
    bool refill();
    bool slide(size_t n);

    Input input_;
    char* buffer_ = nullptr;  // null when scanning memory in place
    size_t bufferSize_ = 0;
    const char* begin_ = nullptr;  // start of the bytes held
    const char* p_ = nullptr;      // next byte
    const char* end_ = nullptr;    // end of the bytes held
    uint64_t base_ = 0;            // offset of begin_ in the input
    bool atEnd_ = false;           // nothing more to read beyond end_
    bool ioError_ = false;
    char spill_[kMaxToken + 1];  // a word that reaches past the bytes held
};

// Opens a file for reading, refusing directories (which the C library opens but cannot read), and
// fills `input` with its descriptor and size. Returns false with errno set on failure; the caller
// closes input->fd otherwise.
bool openForReading(const char* path, Input* input);

// The word [word, word + length) as a "%f" number read to its end; false when it is not one.
bool wholeNumber(const char* word, size_t length, float* value);

// The leading words of [text, text + size), up to n, that are whole numbers (wholeNumber), into
// values; returns how many.
int wholeNumbers(const char* text, size_t size, float* values, int n);

// The group name of a "g" line: the rest of the line as read, without its line end (a line feed,
// and a carriage return before it). Leading and inner white space stay.
std::string groupName(const char* line);

// The name of an "mtllib", "usemtl" or "newmtl" line: its second word when it has two or more, its
// first when it has one, and the rest of the line as read when it has none.
std::string statementName(const char* line);

// A name as whole-keyword reading takes it: `rest` (the rest of a line) with the white space
// around it removed, up to a NUL; inner blanks stay.
std::string trimmedName(const std::string& rest);

// The bytes the scanner holds, read without refills: the fast path of the readers' hot loops.
// Reading past them, unless the input ends there, marks the window overrun.
struct Window {
    const char* p;
    const char* end;
    bool inputEnds;
    bool overrun = false;

    int peek() {
        if (p < end) return static_cast<unsigned char>(*p);
        overrun |= !inputEnds;
        return EOF;
    }
    void advance() { ++p; }
    bool literal(int c) {
        if (peek() != c) return false;
        ++p;
        return true;
    }
    void skipSpace() {
        while (p < end && isSpace(static_cast<unsigned char>(*p))) ++p;
    }
    ZEL_HOT int readInt(int* value);
};

// Scans a "%d" from any source with peek()/advance()/skipSpace(), with the rules of the scanner:
// an optional sign, then decimal digits; the value is converted as a long (saturating) and stored
// as an int, as the C library does. With `value` null the number is only consumed.
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
    uint64_t magnitude = 0;
    do {
        magnitude = addDigit(magnitude, c - '0');
        in.advance();
        c = in.peek();
    } while (isDigit(c));
    if (value) *value = intFromMagnitude(magnitude, negative);
    return 1;
}

// "%d" on the bytes of a window, without a byte-by-byte peek.
ZEL_HOT int scanInt(Window& in, int* value) {
    const char* p = in.p;
    const char* end = in.end;
    while (p < end && isSpace(static_cast<unsigned char>(*p))) ++p;
    if (end - p < 2) {  // too close to the end for the shortcuts below
        in.p = p;
        return scanInt<Window>(in, value);
    }
    bool negative = false;
    if (*p == '-' || *p == '+') negative = *p++ == '-';
    if (!isDigit(static_cast<unsigned char>(*p))) {
        in.p = p;
        return 0;
    }
    const char* digits = p;
    uint64_t magnitude = 0;
    size_t run = readable(p, end, kDigitRunBytes) ? leadingDigits(p, end) : 0;
    if (run > 0 && run < 8) {
        // The whole number is in one 8-byte load.
        if (value) magnitude = digitsAt(p, end, static_cast<unsigned>(run));
        p += run;
    } else if (value) {
        while (p < end && isDigit(static_cast<unsigned char>(*p)))
            magnitude = magnitude * 10 + static_cast<uint64_t>(*p++ - '0');
    } else {
        while (p < end && isDigit(static_cast<unsigned char>(*p))) ++p;
    }
    if (p == end && !in.inputEnds) {
        in.overrun = true;
        return 0;
    }
    in.p = p;
    if (value) {
        if (p - digits > 18) {  // eighteen digits stay below 2^63; longer numbers saturate
            magnitude = 0;
            for (const char* d = digits; d < p; ++d) magnitude = addDigit(magnitude, *d - '0');
        }
        *value = intFromMagnitude(magnitude, negative);
    }
    return 1;
}

int Window::readInt(int* value) {
    return scanInt(*this, value);
}

Window Scanner::window() const {
    return Window{p_, end_, atEnd_};
}
void Scanner::commit(const Window& window) {
    p_ = window.p;
}

template <class Scan>
auto Scanner::scan(Scan&& scan) {
    Window fast = window();
    auto result = scan(fast);
    if (!fast.overrun) {
        commit(fast);
        return result;
    }
    return scan(*this);
}

const char* Scanner::word(size_t* length) {
    skipSpace();
    if (end_ - p_ <= static_cast<ptrdiff_t>(kMaxToken) && !atEnd_) return slowWord(length);
    const char* start = p_;
    const char* limit =
        p_ + (end_ - p_ < static_cast<ptrdiff_t>(kMaxToken) ? end_ - p_ : kMaxToken);
    while (p_ < limit && !isSpace(static_cast<unsigned char>(*p_))) ++p_;
    *length = static_cast<size_t>(p_ - start);
    return start;
}

int Scanner::readFloat(float* value) {
    skipSpace();
    if (end_ - p_ >= 32 && quickDecimal(p_, end_, value)) return 1;
    return slowFloat(value);
}

int Scanner::readInt(int* value) {
    return scan([value](auto& in) { return scanInt(in, value); });
}

}  // namespace zel
