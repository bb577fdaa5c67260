// The scanner against the C library's formatted input: for every input, the same result, the same
// value bit for bit, and the same next unread byte. And the number kernels it reads with: none
// reads past the bytes it says it needs.
#include "scanner.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int result;
    uint32_t bits;  // the value's bits (float) or the int itself
    int next;       // next unread byte, EOF at the end
    bool operator==(const Outcome& o) const {
        return result == o.result && (result != 1 || bits == o.bits) && next == o.next;
    }
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
    return out << "{result " << o.result << ", bits " << std::hex << o.bits << std::dec << ", next "
               << o.next << "}";
}

Outcome libraryFloat(const std::string& text) {
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    float value = 0;
    Outcome o{std::fscanf(f, "%f", &value), 0, 0};
    std::memcpy(&o.bits, &value, 4);
    o.next = std::fgetc(f);
    std::fclose(f);
    return o;
}

Outcome scannerFloat(const std::string& text) {
    zel::Scanner in(text.data(), text.size());
    float value = 0;
    Outcome o{in.readFloat(&value), 0, 0};
    std::memcpy(&o.bits, &value, 4);
    o.next = in.peek();
    return o;
}

Outcome libraryInt(const std::string& text) {
    FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    int value = 0;
    Outcome o{std::fscanf(f, "%d", &value), 0, 0};
    o.bits = static_cast<uint32_t>(value);
    o.next = std::fgetc(f);
    std::fclose(f);
    return o;
}

Outcome scannerInt(const std::string& text) {
    zel::Scanner in(text.data(), text.size());
    int value = 0;
    Outcome o{in.readInt(&value), 0, 0};
    o.bits = static_cast<uint32_t>(value);
    o.next = in.peek();
    return o;
}

const char* kTrickyFloats[] = {
    "1",
    "-0",
    "+0",
    "1.5e3x",
    "1e x",
    "1e+ x",
    "1e-x",
    "1E5",
    "1e5e",
    "1e5.5",
    ".5",
    "-.5",
    "5.",
    ".",
    "-",
    "+",
    "--1",
    "-x",
    ".e5",
    "e5",
    "1..2",
    "1.2.3",
    "00012",
    "0",
    "0.",
    "0.x1",
    "inf",
    "INF",
    "-inf",
    "infinity",
    "Infinityx",
    "infx",
    "in x",
    "infi x",
    "infin x",
    "infinit x",
    "i",
    "-i x",
    "nan",
    "NaNx",
    "+nan",
    "-nan",
    "nan(123)",
    "nax",
    "n",
    "nan(",
    "0x1p3",
    "0X1P-2",
    "0x",
    "0xx",
    "0xg",
    "0x.",
    "0x.8",
    "0x.p1",
    "0x1.p1",
    "0x1P+",
    "0x1p",
    "0x1g",
    "-0x1p3",
    "0x1e5",
    "0x1e5p2",
    "1p3",
    "3.4028235e38",
    "3.4028236e38",
    "1e39",
    "-1e39",
    "1e-45",
    "1e-46",
    "7e-46",
    "1.17549435e-38",
    "0.000000000000000000000000000000000000001",
    "123456789012345678901234567890",
    "0.1000000000000000055511151231257827021181583404541015625",
    "16777217",
    "16777216.5",
    "12345678",
    "1234567.8",
    "0.0000001",
    "99999999",
    "0.16777216",
    "16777215",
    "   \n\t 42",
    "\n",
    "",
    "  ",
    "1\r\n",
    "\v\f-2.5",
};

// Every input is also tried with text after it, so that the scanner's in-buffer shortcuts, which
// need bytes ahead, take it too.
std::vector<std::string> variants(const std::string& text) {
    return {text, text + std::string(40, ' '), text + "\n" + std::string(40, '7'),
            text + "x" + std::string(40, ' ')};
}

TEST(ScannerNumbers, FloatsReadAsTheCLibraryReadsThem) {
    for (const char* base : kTrickyFloats)
        for (const std::string& text : variants(base))
            EXPECT_EQ(scannerFloat(text), libraryFloat(text)) << "input \"" << text << "\"";
}

TEST(ScannerNumbers, RandomFloatTextReadsAsTheCLibraryReadsIt) {
    std::mt19937 random(7);
    const char alphabet[] = "0123456789.eE+-xXpPaAfFnNiItTyY ";
    for (int i = 0; i < 50000; i++) {
        std::string text;
        int length = 1 + static_cast<int>(random() % 12);
        for (int k = 0; k < length; k++) text += alphabet[random() % (sizeof alphabet - 1)];
        for (const std::string& variant : variants(text))
            ASSERT_EQ(scannerFloat(variant), libraryFloat(variant))
                << "input \"" << variant << "\"";
    }
    for (int i = 0; i < 50000; i++) {
        uint32_t bits = static_cast<uint32_t>(random());
        float value;
        std::memcpy(&value, &bits, 4);
        char text[64];
        std::snprintf(text, sizeof text, (i & 1) ? "%.9g" : "%.6f", value);
        for (const std::string& variant : variants(text))
            ASSERT_EQ(scannerFloat(variant), libraryFloat(variant))
                << "input \"" << variant << "\"";
    }
}

TEST(ScannerNumbers, IntegersReadAsTheCLibraryReadsThem) {
    const char* cases[] = {"0",
                           "-0",
                           "+7",
                           "-5x",
                           "- x",
                           "+x",
                           "x",
                           "",
                           " \n 12 ",
                           "12345678901",
                           "4294967296",
                           "99999999999999999999999",
                           "-99999999999999999999999",
                           "9223372036854775807",
                           "9223372036854775808",
                           "-9223372036854775808",
                           "-9223372036854775809",
                           "0x10",
                           "1/2",
                           "//",
                           "2147483648"};
    for (const char* base : cases)
        for (const std::string& text : variants(base))
            EXPECT_EQ(scannerInt(text), libraryInt(text)) << "input \"" << text << "\"";
    std::mt19937 random(11);
    const char alphabet[] = "0123456789+- /x\n";
    for (int i = 0; i < 20000; i++) {
        std::string text;
        int length = 1 + static_cast<int>(random() % 24);
        for (int k = 0; k < length; k++) text += alphabet[random() % (sizeof alphabet - 1)];
        for (const std::string& variant : variants(text))
            ASSERT_EQ(scannerInt(variant), libraryInt(variant)) << "input \"" << variant << "\"";
    }
}

TEST(ScannerText, WordsLinesAndLimits) {
    std::string text = "  first\tsecond\r\nrest of line\r\n" + std::string(130, 'w') + " tail\n" +
                       "x" + std::string(200, 'y') + "\nlast";
    zel::Scanner in(text.data(), text.size());
    char buffer[zel::kMaxToken + 1];
    ASSERT_TRUE(in.readWord(buffer));
    EXPECT_STREQ(buffer, "first");
    ASSERT_TRUE(in.readWord(buffer));
    EXPECT_STREQ(buffer, "second");
    EXPECT_EQ(in.readLine(buffer), 2u);  // the line end of the second word's line
    EXPECT_STREQ(buffer, "\r\n");
    EXPECT_EQ(in.readLine(buffer), 14u);
    EXPECT_STREQ(buffer, "rest of line\r\n");
    ASSERT_TRUE(in.readWord(buffer));  // a long word is cut at 127 bytes, the rest is a word
    EXPECT_EQ(std::string(buffer), std::string(127, 'w'));
    ASSERT_TRUE(in.readWord(buffer));
    EXPECT_STREQ(buffer, "www");
    in.skipLine();
    EXPECT_EQ(in.readLine(buffer), 127u);  // a long line keeps 127 bytes and is consumed whole
    EXPECT_EQ(std::string(buffer), "x" + std::string(126, 'y'));
    ASSERT_TRUE(in.readWord(buffer));
    EXPECT_STREQ(buffer, "last");
    EXPECT_FALSE(in.readWord(buffer));
    EXPECT_EQ(in.readLine(buffer), 0u);
}

TEST(ScannerText, NamesFromLines) {
    EXPECT_EQ(zel::groupName(" wing\n"), " wing");
    EXPECT_EQ(zel::groupName(" wing\r\n"), " wing");
    EXPECT_EQ(zel::groupName(" wing"), " wing");
    EXPECT_EQ(zel::groupName("\n"), "");
    EXPECT_EQ(zel::groupName(" a\rb\n"), " a\rb");
    EXPECT_EQ(zel::statementName(" steel\n"), "steel");
    EXPECT_EQ(zel::statementName(" a.mtl b.mtl c.mtl\n"), "b.mtl");
    EXPECT_EQ(zel::statementName(" \t \n"), " \t \n");
    EXPECT_EQ(zel::statementName(""), "");
}

TEST(ScannerText, LineNumbersForReports) {
    std::string text = "a\nb\n\nc d\n";
    zel::Scanner in(text.data(), text.size());
    EXPECT_EQ(in.lineAt(0), 1u);
    EXPECT_EQ(in.lineAt(2), 2u);
    EXPECT_EQ(in.lineAt(5), 4u);
    EXPECT_EQ(in.lineAt(text.size()), 5u);
}

// The quick paths' line end and word test against a byte-by-byte count: every line end within
// its bytes and beyond, every white-space byte, bytes above 127 as words.
TEST(ScannerText, ShortLineEndFindsTheLineEndAndCountsItsWords) {
    static const char kBytes[] = {' ', '\t', '\n', '\r', '\v', '\f', 'a', '1', '.', '\xc3', '\x80'};
    std::mt19937 rng(7);
    for (int trial = 0; trial < 200000; trial++) {
        char text[zel::kShortLineBytes];
        const bool sparse = trial % 2;  // few line feeds, so that long lines come up
        for (char& c : text) {
            c = kBytes[rng() % sizeof kBytes];
            if (sparse && c == '\n') c = ' ';
        }
        if (sparse && rng() % 2) text[rng() % sizeof text] = '\n';
        const unsigned n = rng() % 9;
        const char* expected = nullptr;
        unsigned words = 0;
        for (size_t i = 0; i < sizeof text && !expected; i++) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            words += c > ' ' && (i == 0 || static_cast<unsigned char>(text[i - 1]) <= ' ');
            if (c == '\n') expected = text + i;
        }
        bool atLeast = false;
        const char* lineEnd = zel::shortLineEnd(text, text + sizeof text, n, &atLeast);
        const std::string shown(text, sizeof text);
        ASSERT_EQ(lineEnd, expected) << "\"" << shown << "\"";
        if (lineEnd) {
            ASSERT_EQ(atLeast, words >= n) << "n " << n << " \"" << shown << "\"";
        }
    }
}

// ---- The number kernels' bounds -----------------------------------------------------------------

// Text placed to end where a page ends, before a page that cannot be read: a kernel that reads past
// the text faults.
class GuardedText {
public:
    GuardedText() : page_(static_cast<size_t>(sysconf(_SC_PAGESIZE))) {
        void* pages =
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = pages == MAP_FAILED ? nullptr : static_cast<char*>(pages);
        if (base_) mprotect(base_ + page_, page_, PROT_NONE);
    }
    ~GuardedText() {
        if (base_) munmap(base_, 2 * page_);
    }
    bool ready() const { return base_ != nullptr; }
    const char* end() const { return base_ + page_; }
    const char* place(const std::string& text) {
        char* at = base_ + page_ - text.size();
        std::memcpy(at, text.data(), text.size());
        return at;
    }

private:
    size_t page_;
    char* base_;
};

struct KernelCase {
    const char* kernel;
    size_t bytes;  // what it says it reads
    // Runs it and returns what it found, so that its loads are not left out.
    std::function<uint64_t(const char* p, const char* end)> run;
    std::vector<std::string> texts;  // the inputs that read furthest, padded with blanks to `bytes`
};

std::vector<KernelCase> kernelCases() {
    return {
        {"leadingDigits",
         zel::kDigitRunBytes,
         [](const char* p, const char* end) { return uint64_t{zel::leadingDigits(p, end)}; },
         {"12345678"}},
        {"digitBits",
         zel::kDigitBitsBytes,
         [](const char* p, const char* end) { return uint64_t{zel::digitBits(p, end)}; },
         {"12345678/12345678/12345678 1234"}},
        {"digitsAt",
         zel::kDigitRunBytes,
         [](const char* p, const char* end) { return uint64_t{zel::digitsAt(p, end, 8)}; },
         {"12345678"}},
        {"plainInt",
         zel::kPlainIntBytes,
         [](const char* p, const char* end) {
             int value = 0;
             const char* after = zel::plainInt<true>(p, end, &value);
             return static_cast<uint64_t>(value) + (after ? after - p : 0);
         },
         {"-123456789x", "+123456789", "1234567890", "12345678/"}},
        {"shortLineEnd",
         zel::kShortLineBytes,
         [](const char* p, const char* end) {
             bool atLeast = false;
             const char* lineEnd = zel::shortLineEnd(p, end, 6, &atLeast);
             return static_cast<uint64_t>(lineEnd ? lineEnd - p : 99) + atLeast;
         },
         {"1 2 3 4 5 6 7 8 9 10 11 12 13 1", " 1 2 3 4 5 6 7 8 9 10 11 12 13\n"}},
        {"quickDecimal",
         zel::kQuickDecimalBytes,
         [](const char* p, const char* end) {
             float value = 0;
             uint32_t bits;
             bool read = zel::quickDecimal(p, end, &value);
             std::memcpy(&bits, &value, 4);
             return uint64_t{bits} + read;
         },
         {"-12345678.12345678", "+1234567.1", "-.12345678", "12345678.", "-1.5"}},
    };
}

TEST(NumberKernels, ReadNoFurtherThanTheySay) {
    GuardedText guarded;
    ASSERT_TRUE(guarded.ready());
    for (const KernelCase& c : kernelCases()) {
        for (std::string text : c.texts) {
            ASSERT_LE(text.size(), c.bytes) << c.kernel;
            text.resize(c.bytes, ' ');
            SCOPED_TRACE(std::string(c.kernel) + " on \"" + text + "\"");
            volatile uint64_t found = c.run(guarded.place(text), guarded.end());
            (void)found;
        }
    }
}

#if ZEL_ASSERTIONS
TEST(NumberKernelsDeathTest, OneByteShortFailsTheAssertion) {
    GuardedText guarded;
    ASSERT_TRUE(guarded.ready());
    for (const KernelCase& c : kernelCases()) {
        std::string text(c.bytes, '1');
        const char* p = guarded.place(text);
        EXPECT_DEATH(c.run(p, guarded.end() - 1), "Assertion `readable") << c.kernel;
    }
}
#endif

}  // namespace
