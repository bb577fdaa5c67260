// The binary PPM reader: header layouts, the 69-character line pieces, the pixel block, refusals
// and the checks that keep hostile headers from looping, overflowing or allocating absurd blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "temp_dir.h"
#include "zel_internal.h"

namespace {

namespace fs = std::filesystem;

using zeltest::TempDir;

// What one load gave.
struct Loaded {
    bool ok = false;
    std::string message;
    int width = -7, height = -7;  // untouched unless the load succeeds
    std::string pixels;
};

Loaded loadMemory(const std::string& bytes) {
    Loaded loaded;
    unsigned char* pixels = nullptr;
    zel::Status status =
        zel::loadPPMMemory("image.ppm", reinterpret_cast<const unsigned char*>(bytes.data()),
                           bytes.size(), &loaded.width, &loaded.height, &pixels);
    loaded.ok = status.ok;
    loaded.message = status.message;
    if (pixels) {
        EXPECT_TRUE(status.ok);
        loaded.pixels.assign(reinterpret_cast<char*>(pixels),
                             static_cast<size_t>(loaded.width) * loaded.height * 3);
        std::free(pixels);
    }
    return loaded;
}

// Loads through the public function from a real file named image.ppm.
Loaded loadFile(const std::string& bytes) {
    TempDir dir;
    std::string path = dir.write("image.ppm", bytes);
    Loaded loaded;
    testing::internal::CaptureStderr();
    unsigned char* pixels = zelLoadPPM(path.c_str(), &loaded.width, &loaded.height);
    loaded.message = testing::internal::GetCapturedStderr();
    loaded.ok = pixels != nullptr;
    if (pixels) {
        loaded.pixels.assign(reinterpret_cast<char*>(pixels),
                             static_cast<size_t>(loaded.width) * loaded.height * 3);
        std::free(pixels);
    }
    // Diagnostics name the file as given: show it as in the memory reader.
    size_t at = loaded.message.find(path);
    if (at != std::string::npos) loaded.message.replace(at, path.size(), "image.ppm");
    return loaded;
}

// What a quiet load gave: the ZelError's message with the line end a printed one has, and its
// reason checked to start right after the file's name.
Loaded quietly(const std::string& name, unsigned char* pixels, const ZelError& error,
               Loaded loaded) {
    loaded.ok = pixels != nullptr;
    if (pixels) {
        loaded.pixels.assign(reinterpret_cast<char*>(pixels),
                             static_cast<size_t>(loaded.width) * loaded.height * 3);
        std::free(pixels);
        return loaded;
    }
    const std::string message = error.message;
    EXPECT_EQ(message.substr(0, error.reason), name + ": ");
    EXPECT_EQ(error.outofmemory, 0u);
    loaded.message = "image.ppm: " + message.substr(error.reason) + "\n";
    return loaded;
}

Loaded loadQuietMemory(const std::string& bytes) {
    Loaded loaded;
    ZelError error;
    unsigned char* pixels =
        zelLoadPPMMemory("image.ppm", reinterpret_cast<const unsigned char*>(bytes.data()),
                         bytes.size(), &loaded.width, &loaded.height, &error);
    return quietly("image.ppm", pixels, error, loaded);
}

Loaded loadQuietFile(const std::string& bytes) {
    TempDir dir;
    const std::string path = dir.write("image.ppm", bytes);
    Loaded loaded;
    ZelError error;
    unsigned char* pixels = zelLoadPPMFile(path.c_str(), &loaded.width, &loaded.height, &error);
    return quietly(path, pixels, error, loaded);
}

const std::string kPixels = "RGBrgb012345ABCDEF";  // 2 x 3 pixels

struct HeaderCase {
    const char* what;
    std::string header;
};

TEST(PPMHeader, AcceptsEveryLayoutOfTheThreeNumbers) {
    const HeaderCase cases[] = {
        {"three lines", "P6\n2 3\n255\n"},
        {"split after the width", "P6\n2\n3 255\n"},
        {"one line", "P6\n2 3 255\n"},
        {"comments between", "P6\n# made by hand\n2\n#\n3\n# max\n255\n"},
        {"indented comment passed over", "P6\n   # indented\n2 3 255\n"},
        {"blank lines passed over", "P6\n\n \n2 3 255\n"},
        {"trailing text ignored", "P6\n2 3 255 # trailing comment\n"},
        {"fourth number ignored", "P6\n2 3 255 17\n"},
        {"text after the magic ignored", "P6 whatever\n2 3 255\n"},
        {"leading blanks and signs", "P6\n  +2\t3\n+255\n"},
        {"tabs and carriage returns", "P6\r\n2\t3\r\n255\r\n"},
        {"maximum value not used", "P6\n2 3 65535\n"},
        {"numbers without blanks between signs", "P6\n2+3+255\n"},
    };
    for (const HeaderCase& c : cases) {
        for (auto load : {loadMemory, loadFile, loadQuietMemory, loadQuietFile}) {
            Loaded loaded = load(c.header + kPixels);
            EXPECT_TRUE(loaded.ok) << c.what << ": " << loaded.message;
            EXPECT_EQ(loaded.width, 2) << c.what;
            EXPECT_EQ(loaded.height, 3) << c.what;
            EXPECT_EQ(loaded.pixels, kPixels) << c.what;
            EXPECT_EQ(loaded.message, "") << c.what;
        }
    }
}

TEST(PPMHeader, ReadsTheUsualVgaHeaderInEachLayout) {
    const std::string pixels(640 * 480 * 3, '\x7f');
    for (const char* header : {"P6\n640 480\n255\n", "P6\n640\n480 255\n", "P6\n640 480 255\n"}) {
        Loaded loaded = loadMemory(header + pixels);
        EXPECT_TRUE(loaded.ok) << header;
        EXPECT_EQ(loaded.width, 640);
        EXPECT_EQ(loaded.height, 480);
        EXPECT_TRUE(loaded.pixels == pixels) << header;
    }
}

TEST(PPMHeader, PixelBlockStartsRightAfterTheLineEndOfTheLastNumber) {
    // Pixel bytes that look like text, line ends and comments are still pixels.
    const std::string pixels = "\n#\n 12\n#P";  // 3 x 1 pixels
    Loaded loaded = loadMemory("P6\n3 1\n255\n" + pixels + "surplus");
    ASSERT_TRUE(loaded.ok);
    EXPECT_EQ(loaded.pixels, pixels);
}

TEST(PPMHeader, LongLinesAreReadInPiecesOf69Characters) {
    // A long comment: its second piece yields no number and is passed over.
    Loaded comment = loadMemory("P6\n#" + std::string(100, 'x') + "\n1 1 255\nabc");
    EXPECT_TRUE(comment.ok);
    EXPECT_EQ(comment.pixels, "abc");
    // Numbers in the second piece of a long line are read from that piece's start.
    Loaded split = loadMemory("P6\n1" + std::string(68, ' ') + "1 255\nabc");
    EXPECT_TRUE(split.ok) << split.message;
    EXPECT_EQ(split.height, 1);
    EXPECT_EQ(split.pixels, "abc");
    // The magic's line is one piece too: what follows its 69th character is a line of its own.
    Loaded magic = loadMemory("P6" + std::string(67, ' ') + "1 1 255\nabc");
    EXPECT_TRUE(magic.ok) << magic.message;
    EXPECT_EQ(magic.pixels, "abc");
    // The pixel block begins right after the piece that held the last number.
    Loaded block = loadMemory("P6\n1 1 255" + std::string(62, ' ') + "xyz\n");
    EXPECT_TRUE(block.ok);
    EXPECT_EQ(block.pixels, "xyz");
}

TEST(PPMPixels, MissingBytesAtTheEndReadAsZero) {
    for (auto load : {loadMemory, loadFile, loadQuietMemory, loadQuietFile}) {
        Loaded loaded = load("P6\n2 2\n255\nabcde");
        ASSERT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.pixels, std::string("abcde") + std::string(7, '\0'));
        Loaded none = load("P6\n640 480\n255\n");
        ASSERT_TRUE(none.ok) << "a short file below the slack still loads";
        EXPECT_EQ(none.pixels, std::string(640 * 480 * 3, '\0'));
    }
}

TEST(PPMPixels, AFileHoldingAtLeastHalfItsPixelsLoadsHoweverLarge) {
    // 600 x 600 needs 1,080,000 bytes; 600,000 are there.
    Loaded loaded = loadFile("P6\n600 600\n255\n" + std::string(600000, 'p'));
    ASSERT_TRUE(loaded.ok) << loaded.message;
    EXPECT_EQ(loaded.pixels.substr(0, 600000), std::string(600000, 'p'));
    EXPECT_EQ(loaded.pixels.substr(600000), std::string(480000, '\0'));
}

struct RefusalCase {
    const char* what;
    std::string bytes;
    std::string message;
};

TEST(PPMRefusals, EachBrokenFileGivesNullAndOneLine) {
    const std::string notRaw = "image.ppm: Not a raw PPM file\n";
    const std::string ends = "image.ppm: PPM header ends before width, height and maximum value\n";
    const RefusalCase cases[] = {
        {"plain colour variant", "P3\n2 3 255\n", notRaw},
        {"grey variant", "P5\n2 3 255\n", notRaw},
        {"empty file", "", notRaw},
        {"one character", "P", notRaw},
        {"lower case", "p6\n1 1 255\nabc", notRaw},
        {"magic only", "P6\n", ends},
        {"numbers on the magic's line", "P6 1 1 255\nabc", ends},
        {"two numbers", "P6\n640 480\n", ends},
        {"comments only", "P6\n# a\n# b\n", ends},
        {"text instead of numbers", "P6\nwidth height max\n", ends},
        {"zero width", "P6\n0 3 255\n", "image.ppm: bad PPM size 0 x 3\n"},
        {"zero height", "P6\n3 -0 255\n", "image.ppm: bad PPM size 3 x 0\n"},
        {"negative width", "P6\n-2 3 255\n", "image.ppm: bad PPM size -2 x 3\n"},
        {"negative height by a sign", "P6\n640-480 255\n", "image.ppm: bad PPM size 640 x -480\n"},
        {"beyond the int range", "P6\n99999999999 1 255\n",
         "image.ppm: PPM size 2147483647 x 1 needs 6442450941 pixel bytes, the file holds only "
         "0\n"},
        {"absurd for the file", "P6\n30000 30000 255\nabc",
         "image.ppm: PPM size 30000 x 30000 needs 2700000000 pixel bytes, the file holds only 3\n"},
        {"largest sizes", "P6\n2147483647 2147483647 255\n",
         "image.ppm: PPM size 2147483647 x 2147483647 needs 13835058042397261827 pixel bytes, "
         "the file holds only 0\n"},
    };
    for (const RefusalCase& c : cases) {
        for (auto load : {loadMemory, loadFile, loadQuietMemory, loadQuietFile}) {
            Loaded loaded = load(c.bytes);
            EXPECT_FALSE(loaded.ok) << c.what;
            EXPECT_EQ(loaded.message, c.message) << c.what;
            EXPECT_EQ(loaded.width, -7) << c.what;
            EXPECT_EQ(loaded.height, -7) << c.what;
        }
    }
}

TEST(PPMRefusals, AFileMissingMoreThanHalfItsPixelsAndOverAMegabyteIsRefused) {
    // 1000 x 1000 needs 3,000,000 bytes; 1,000,000 are there.
    Loaded loaded = loadFile("P6\n1000 1000 255\n" + std::string(1000000, 'p'));
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.message,
              "image.ppm: PPM size 1000 x 1000 needs 3000000 pixel bytes, the file holds only "
              "1000000\n");
}

TEST(PPMRefusals, MissingFileIsReportedAsPerrorReportsIt) {
    TempDir dir;
    std::string path = dir.file("absent.ppm");
    int width = 5, height = 6;
    testing::internal::CaptureStderr();
    unsigned char* pixels = zelLoadPPM(path.c_str(), &width, &height);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), path + ": No such file or directory\n");
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(width, 5);
    EXPECT_EQ(height, 6);
    ZelError error;
    EXPECT_EQ(zelLoadPPMFile(path.c_str(), &width, &height, &error), nullptr);
    EXPECT_EQ(error.message + std::string("\n"), path + ": No such file or directory\n");
    EXPECT_STREQ(error.message + error.reason, "No such file or directory");
}

TEST(PPMRefusals, ADirectoryIsNotAnImage) {
    TempDir dir;
    Loaded loaded;
    unsigned char* pixels = nullptr;
    zel::Status status =
        zel::loadPPMFile(dir.path().c_str(), &loaded.width, &loaded.height, &pixels);
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(pixels, nullptr);
    EXPECT_EQ(loaded.width, -7);
}

// The header read the plain way, with fgets into a 70-byte buffer and sscanf, on a stream in
// memory. Returns false when the header does not complete.
bool referenceHeader(const std::string& bytes, int* numbers, std::string* rest) {
    FILE* in = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
    char line[70];
    bool complete = false;
    if (std::fgets(line, sizeof line, in) && line[0] == 'P' && line[1] == '6') {
        int count = 0;
        while (count < 3 && std::fgets(line, sizeof line, in)) {
            if (line[0] == '#') continue;
            int got = count == 0
                          ? std::sscanf(line, "%d %d %d", &numbers[0], &numbers[1], &numbers[2])
                      : count == 1 ? std::sscanf(line, "%d %d", &numbers[1], &numbers[2])
                                   : std::sscanf(line, "%d", &numbers[2]);
            if (got > 0) count += got;
        }
        complete = count == 3;
        long at = std::ftell(in);
        *rest = bytes.substr(static_cast<size_t>(at));
    }
    std::fclose(in);
    return complete;
}

TEST(PPMHeader, AgreesWithFgetsAndSscanfOnRandomHeaders) {
    const char* pieces[] = {
        "1",  "2",   "3",  "12", "-1",         "+2",
        "0",  "255", " ",  "  ", "\t",         "\r",
        "\n", "\n",  "\n", "#",  "# c\n",      "x",
        "/",  "-",   "+",  "\v", "          ", "                                        "};
    std::mt19937 random(31337);
    int compared = 0;
    for (int i = 0; i < 20000; i++) {
        std::string bytes = random() % 8 ? "P6\n" : "P6";
        int count = 1 + static_cast<int>(random() % 24);
        for (int k = 0; k < count; k++)
            bytes += pieces[random() % (sizeof pieces / sizeof *pieces)];
        bytes += std::string("\nPIXELS-AND-MORE-PIXELS-AND-MORE").substr(0, 1 + random() % 30);
        // Numbers beyond the int range are undefined for sscanf (the reader clamps them).
        int digits = 0, longest = 0;
        for (char c : bytes) longest = std::max(longest, digits = std::isdigit(c) ? digits + 1 : 0);
        if (longest > 9) continue;
        int numbers[3] = {0, 0, 0};
        std::string rest;
        bool complete = referenceHeader(bytes, numbers, &rest);
        Loaded loaded = loadMemory(bytes);
        if (!complete) {
            EXPECT_FALSE(loaded.ok) << bytes;
            continue;
        }
        if (numbers[0] <= 0 || numbers[1] <= 0) {
            EXPECT_FALSE(loaded.ok) << bytes;
            EXPECT_NE(loaded.message.find("bad PPM size"), std::string::npos) << bytes;
            continue;
        }
        if (static_cast<double>(numbers[0]) * numbers[1] * 3 > (1 << 20)) {
            // Far more than the few bytes left: refused as absurd for the file.
            EXPECT_FALSE(loaded.ok) << bytes;
            EXPECT_NE(loaded.message.find("pixel bytes, the file holds only"), std::string::npos);
            continue;
        }
        ASSERT_TRUE(loaded.ok) << bytes << loaded.message;
        EXPECT_EQ(loaded.width, numbers[0]) << bytes;
        EXPECT_EQ(loaded.height, numbers[1]) << bytes;
        std::string expected = rest.substr(0, loaded.pixels.size());
        expected.resize(loaded.pixels.size(), '\0');
        EXPECT_EQ(loaded.pixels, expected) << bytes;
        compared++;
    }
    EXPECT_GT(compared, 1000);  // the generator must reach complete headers often
}

}  // namespace
