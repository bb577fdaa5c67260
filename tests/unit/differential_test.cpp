// The fast OBJ/MTL reader against the plain stdio reference reader, on many generated files inside
// the dialect: random statement mixes, odd white space, LF and CR LF line ends, and numbers in
// every notation "%f" accepts. Every field of the two models must be equal bit for bit, and so must
// what the two readers print. A difference is reported with the smallest input (by whole lines)
// that still shows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "read_outcome.h"
#include "reference_reader.h"
#include "temp_dir.h"
#include "zel_internal.h"

namespace {

// splitmix64: small, seeded and the same on every platform.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
    uint32_t between(uint32_t lo, uint32_t hi) { return lo + below(hi - lo + 1); }
    bool chance(uint32_t percent) { return below(100) < percent; }
    template <typename T, size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }

private:
    uint64_t state_;
};

// An OBJ file with the material libraries it names (file names relative to the OBJ file), and the
// ZEL_LOAD_* flags it is read with.
struct Case {
    std::string obj;
    std::vector<std::pair<std::string, std::string>> libraries;
    uint32_t flags = 0;
};

struct Sizes {
    uint32_t statements = 40;    // OBJ statements, when objBytes is 0
    size_t objBytes = 0;         // otherwise: statements until the file holds this many bytes
    uint32_t materials = 6;      // at most this many "newmtl" per library
    size_t mtlBytes = 0;         // when not 0: library statements until it holds this many bytes
    bool failedNumbers = false;  // some number lines short of a number or with a malformed one
};

// Writes random files inside the dialect.
class Generator {
public:
    explicit Generator(uint64_t seed) : rng_(seed) {
        uint32_t mode = rng_.below(10);
        lineEnds_ = mode < 5 ? LineEnds::Lf : mode < 8 ? LineEnds::CrLf : LineEnds::Mixed;
        // A third of the files read under load flags (half of those by whole keywords), a fifth
        // with colours on their vertices.
        if (rng_.chance(33)) flags_ = rng_.between(1, 127);
        whole_ = flags_ & ZEL_LOAD_WHOLE_KEYWORDS;
        colors_ = rng_.chance(20) ? rng_.between(30, 100) : 0;
    }

    Case make(const Sizes& sizes) {
        failedNumbers_ = sizes.failedNumbers;
        Case result;
        result.flags = flags_;
        // Libraries first, so that "usemtl" can name what the last one defines.
        uint32_t libraryCount = rng_.chance(60) ? rng_.between(1, 2) : 0;
        std::vector<std::string> mtllibLines;
        for (uint32_t i = 0; i < libraryCount; i++) {
            std::string name = (rng_.chance(25) ? "sub/lib" : "lib") + std::to_string(i) + ".mtl";
            materialNames_.clear();
            result.libraries.emplace_back(name, library(sizes));
            std::string line = "mtllib" + blank();
            // Whole keywords read every name of the line, so an unused one must be missing.
            if (rng_.chance(15) && (!whole_ || (flags_ & ZEL_LOAD_MISSING_LIBRARIES)))
                line += "unused" + std::to_string(i) + ".mtl" + blank();
            // A library that is not there, when the load may go on without it.
            if ((flags_ & ZEL_LOAD_MISSING_LIBRARIES) && rng_.chance(40)) {
                result.libraries.pop_back();
                name = "missing" + std::to_string(i) + ".mtl";
            }
            line += name;
            mtllibLines.push_back(line + maybeBlank(10) + lineEnd());
        }
        if (whole_ && mtllibLines.size() == 2 && rng_.chance(30)) {
            // Both libraries named on one line.
            std::string& first = mtllibLines[0];
            while (std::isspace(static_cast<unsigned char>(first.back()))) first.pop_back();
            first += mtllibLines[1].substr(std::strlen("mtllib"));
            mtllibLines.pop_back();
        }
        // The "mtllib" statements go at random places; by first letters only the last library's
        // names are used, by whole keywords all.
        std::vector<size_t> libraryAt;
        uint32_t statements = sizes.objBytes ? UINT32_MAX : sizes.statements;
        for (size_t i = 0; i < mtllibLines.size(); i++)
            libraryAt.push_back(sizes.objBytes ? i * 7 : rng_.below(statements + 1));
        std::sort(libraryAt.begin(), libraryAt.end());

        std::string& out = result.obj;
        size_t nextLibrary = 0;
        lastNeedsLineEnd_ = false;
        for (uint32_t s = 0; s < statements; s++) {
            while (nextLibrary < libraryAt.size() && libraryAt[nextLibrary] == s)
                out += mtllibLines[nextLibrary++];
            if (sizes.objBytes && out.size() >= sizes.objBytes && nextLibrary == libraryAt.size())
                break;
            out += objStatement();
        }
        // The elements that references named ahead. Texture coordinates and normals that were
        // never written may stay so: their indices are then kept as written.
        while (vertices_ < aheadVertices_) out += numbersLine("v", 3), vertices_++;
        if (texcoords_ || rng_.chance(50))
            while (texcoords_ < aheadTexcoords_) out += numbersLine("vt", 2), texcoords_++;
        if (normals_ || rng_.chance(50))
            while (normals_ < aheadNormals_) out += numbersLine("vn", 3), normals_++;
        while (nextLibrary < libraryAt.size()) out += mtllibLines[nextLibrary++];
        if (!lastNeedsLineEnd_ && rng_.chance(15)) dropFinalLineEnd(out);
        return result;
    }

    // Any number text that "%f" reads whole.
    std::string number() {
        static const char* const kSpecial[] = {"16777217",
                                               "16777219",
                                               "0.1",
                                               "3.4028235e38",
                                               "3.4028234663852886e38",
                                               "3.40282356779733661637539395458142568448e38",
                                               "1.17549435e-38",
                                               "1.1754942e-38",
                                               "1.40129846e-45",
                                               "7.006492321624085e-46",
                                               "7.006492321624086e-46",
                                               "0x1.fffffep127",
                                               "0x1.ffffffp127",
                                               "0x1.fffffe8p127",
                                               "0x1p-149",
                                               "0x1p-150",
                                               "0x1.8p-150",
                                               "0x.8p-148",
                                               "0x1.000001p0",
                                               "0x1.0000018p0",
                                               "2.5000000000000000000000000000000001",
                                               "0.000000059604644775390625",
                                               "1e0000000000005",
                                               "1E-00000000000000040"};
        static const char* const kSpelled[] = {"inf", "infinity", "nan"};
        std::string sign = rng_.chance(55) ? "" : rng_.chance(70) ? "-" : "+";
        std::string body;
        switch (rng_.below(14)) {
            case 0:
                body = std::to_string(rng_.below(rng_.chance(50) ? 10 : 100000));
                break;
            case 1: {
                char text[64];
                double value = static_cast<double>(rng_.below(2000000)) / (1u << rng_.below(12));
                std::snprintf(text, sizeof text, "%.*f", static_cast<int>(rng_.below(10)), value);
                body = text;
                break;
            }
            case 2:
                body = "." + digits(rng_.between(1, 9));
                break;
            case 3:
                body = digits(rng_.between(1, 6)) + ".";
                break;
            case 4:
                body = mantissa() + exponent('e', 45);
                break;
            case 5: {
                body = rng_.chance(50) ? "0x" : "0X";
                body += hexDigits(rng_.between(1, 7));
                if (rng_.chance(60)) body += "." + hexDigits(rng_.below(8));
                if (rng_.chance(80)) body += exponent('p', 150);
                break;
            }
            case 6: {
                std::string word = rng_.pick(kSpelled);
                for (char& c : word)
                    if (rng_.chance(40)) c = static_cast<char>(c - 'a' + 'A');
                body = word;
                break;
            }
            case 7: {
                std::string all = digits(rng_.between(20, 60));
                size_t point = rng_.below(static_cast<uint32_t>(all.size() + 1));
                body = all.substr(0, point) + "." + all.substr(point);
                if (body == ".") body = "0.";
                break;
            }
            case 8:
                body =
                    "1." + digits(rng_.between(0, 9)) + "e-" + std::to_string(rng_.between(37, 46));
                break;
            case 9:
                body = digits(rng_.between(1, 3)) + "e" + std::to_string(rng_.between(38, 400));
                break;
            case 10:
                body = "1e-" + std::to_string(rng_.between(44, 400));
                break;
            case 11: {
                // A random finite float as printf writes it, so every exponent shows up.
                uint32_t bits = static_cast<uint32_t>(rng_.next());
                if (((bits >> 23) & 0xff) == 0xff) bits &= ~(1u << 30);
                float value;
                std::memcpy(&value, &bits, sizeof value);
                char text[64];
                std::snprintf(text, sizeof text, rng_.chance(50) ? "%.9g" : "%.6e",
                              std::fabs(value));
                body = text;
                break;
            }
            case 12:
                body = rng_.pick(kSpecial);
                break;
            default:
                body = rng_.chance(50) ? "0" : rng_.chance(50) ? "0.0" : "000.000";
                break;
        }
        return sign + body;
    }

private:
    enum class LineEnds { Lf, CrLf, Mixed };

    std::string digits(uint32_t count) {
        std::string text;
        for (uint32_t i = 0; i < count; i++) text += static_cast<char>('0' + rng_.below(10));
        return text;
    }
    std::string hexDigits(uint32_t count) {
        static const char kHex[] = "0123456789abcdefABCDEF";
        std::string text;
        for (uint32_t i = 0; i < count; i++) text += kHex[rng_.below(22)];
        return text;
    }
    std::string mantissa() {
        switch (rng_.below(4)) {
            case 0:
                return digits(rng_.between(1, 4));
            case 1:
                return digits(rng_.between(1, 3)) + "." + digits(rng_.between(1, 5));
            case 2:
                return "." + digits(rng_.between(1, 4));
            default:
                return digits(rng_.between(1, 3)) + ".";
        }
    }
    std::string exponent(char letter, uint32_t largest) {
        std::string text(1, rng_.chance(50) ? letter : static_cast<char>(letter - 'a' + 'A'));
        if (rng_.chance(60)) text += rng_.chance(50) ? "-" : "+";
        if (rng_.chance(10)) text += "00";
        return text + std::to_string(rng_.below(largest + 1));
    }

    // A run of white space inside a line.
    std::string blank() {
        static const char* const kBlanks[] = {" ",  " ",  " ",    " ",    " ",
                                              "  ", "\t", " \t ", "\t\t", "   "};
        if (rng_.chance(1)) return rng_.chance(50) ? "\v" : " \f";
        return rng_.pick(kBlanks);
    }
    std::string lineEnd() {
        bool crlf =
            lineEnds_ == LineEnds::CrLf || (lineEnds_ == LineEnds::Mixed && rng_.chance(50));
        return crlf ? "\r\n" : "\n";
    }
    // Optional blanks before a keyword or after the last word of a line.
    std::string maybeBlank(uint32_t percent) { return rng_.chance(percent) ? blank() : ""; }

    std::string word(uint32_t shortest, uint32_t longest) {
        static const char kChars[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.";
        std::string text;
        uint32_t length = rng_.between(shortest, longest);
        for (uint32_t i = 0; i < length; i++) text += kChars[rng_.below(sizeof kChars - 1)];
        return text;
    }

    // `count` numbers after a keyword, the line kept short enough for a 128-byte line buffer.
    std::string numbersLine(const char* keyword, uint32_t count) {
        // Texts that "%f" reads only in part or not at all.
        static const char* const kMalformed[] = {
            "1e",   "1E+",  "2e-",    "0x",      "0X.",      ".",        "-",         "+",
            "-.",   "+.e1", "i",      "in",      "inx",      "infinit",  "infinityx", "na",
            "nax",  "nanx", "nan(1)", "nan()",   "nan(",     "NaN(abc)", "nan(0x7)",  "abc",
            "1.5x", "0x1p", "0x1p+",  "0x1.8pz", "..5",      "+-1",      "-+1",       "1e5e5",
            "e5",   "1,5",  "0xz",    "1.2.3",   "--1",      "#1",       "-inf-",     "0x.p1",
            ".e1",  "+i",   "-n",     "1e+-5",   "0x1.8p3.5"};
        uint32_t malformedAt = UINT32_MAX;
        if (failedNumbers_ && rng_.chance(30)) {
            if (rng_.chance(50))
                count = rng_.below(count);
            else
                malformedAt = rng_.below(count);
        }
        for (;;) {
            std::string line = maybeBlank(10) + keyword;
            for (uint32_t i = 0; i < count; i++)
                line +=
                    blank() + (i == malformedAt ? std::string(rng_.pick(kMalformed)) : number());
            line += maybeBlank(10);
            if (line.size() <= 118) return line + lineEnd();
        }
    }

    // A vertex line of `count` one-digit numbers.
    std::string briefNumbersLine(uint32_t count) {
        std::string line = maybeBlank(10) + "v";
        for (uint32_t i = 0; i < count; i++) line += blank() + std::to_string(rng_.below(10));
        return line + maybeBlank(10) + lineEnd();
    }

    std::string reference(uint32_t form) {
        // Now and then an element written further on (always when none is written yet).
        auto index = [&](uint32_t count, uint32_t* ahead) {
            uint32_t value =
                count && !rng_.chance(2) ? rng_.between(1, count) : count + rng_.between(1, 3);
            if (value > count) *ahead = std::max(*ahead, value);
            std::string text = std::to_string(value);
            if (rng_.chance(3)) text = (rng_.chance(50) ? "+" : "0") + text;
            return text;
        };
        const std::string v = index(vertices_, &aheadVertices_);
        switch (form) {
            case 0:
                return v + "//" + index(normals_, &aheadNormals_);
            case 1:
                return v + "/" + index(texcoords_, &aheadTexcoords_) + "/" +
                       index(normals_, &aheadNormals_);
            case 2:
                return v + "/" + index(texcoords_, &aheadTexcoords_);
            default:
                return v;
        }
    }

    std::string face() {
        std::vector<uint32_t> forms = {3};
        // Texture coordinates or normals named before any is written, now and then.
        if (normals_ || rng_.chance(3)) forms.push_back(0);
        if ((normals_ && texcoords_) || rng_.chance(3)) forms.push_back(1);
        if (texcoords_ || rng_.chance(3)) forms.push_back(2);
        uint32_t form = forms[rng_.below(static_cast<uint32_t>(forms.size()))];
        // Whole keywords read lines of any length: faces of many corners now and then.
        uint32_t count = whole_ && rng_.chance(10) ? rng_.between(9, 60) : rng_.between(3, 8);
        std::string text = maybeBlank(10) + (rng_.chance(3) ? "fo" : "f");
        for (uint32_t i = 0; i < count; i++) {
            if (rng_.chance(i == 0 ? 2 : 8)) {
                // The face goes on on the next line, maybe after blank lines.
                text += maybeBlank(20) + lineEnd();
                if (rng_.chance(20)) text += maybeBlank(30) + lineEnd();
                text += maybeBlank(30);
            } else {
                text += blank();
            }
            text += reference(form);
        }
        return text + maybeBlank(10) + lineEnd();
    }

    // An "l", "p" or "s" statement as exporters write them (now and then with an index that names
    // nothing, which drops it).
    std::string shapeStatement() {
        auto index = [&]() {
            const int v = static_cast<int>(rng_.between(1, vertices_ + (rng_.chance(5) ? 3 : 0)));
            return std::to_string(rng_.chance(10) ? v - static_cast<int>(vertices_) - 1 : v);
        };
        switch (rng_.below(3)) {
            case 0: {
                std::string line = maybeBlank(10) + "l";
                for (uint32_t i = rng_.between(1, 6); i > 0; i--) {
                    line += blank() + index();
                    if (texcoords_ && rng_.chance(40))
                        line += "/" + std::to_string(rng_.between(1, texcoords_));
                }
                return line + maybeBlank(10) + lineEnd();
            }
            case 1: {
                std::string line = maybeBlank(10) + "p";
                for (uint32_t i = rng_.between(1, 4); i > 0; i--) line += blank() + index();
                return line + maybeBlank(10) + lineEnd();
            }
            default:
                return maybeBlank(10) + "s" + blank() +
                       (rng_.chance(30) ? "off" : std::to_string(rng_.below(5))) + maybeBlank(10) +
                       lineEnd();
        }
    }

    std::string groupName() {
        if (!groupNames_.empty() && rng_.chance(35))
            return groupNames_[rng_.below(static_cast<uint32_t>(groupNames_.size()))];
        std::string name;
        switch (rng_.below(8)) {
            case 0:
                name = "";
                break;
            case 1:
                name = blank();
                break;
            case 2:
                name = blank() + word(1, 8) + blank() + word(1, 8);
                break;
            case 3:
                name = blank() + word(1, 10) + blank();
                break;
            case 4:
                name = " default";
                break;
            case 5:
                // Longer than a documented line holds.
                name = blank() + (whole_ ? word(120, 300) : word(1, 12));
                break;
            default:
                name = blank() + word(1, 12);
                break;
        }
        groupNames_.push_back(name);
        return name;
    }

    std::string materialUse() {
        std::string line = maybeBlank(10) + "usemtl";
        if (!materialNames_.empty() && !rng_.chance(3)) {
            const std::string& name =
                materialNames_[rng_.below(static_cast<uint32_t>(materialNames_.size()))];
            if (name.find_first_not_of(" \t\v\f\r\n") == std::string::npos) {
                // A material named by a line holding no word: "usemtl" with the same rest of line.
                lastNeedsLineEnd_ = true;
                return line + name;
            }
            if (rng_.chance(10)) line += blank() + word(1, 6);
            line += blank() + name;
        } else {
            line += blank() + "missing" + word(1, 5);
        }
        return line + maybeBlank(10) + lineEnd();
    }

    std::string objStatement() {
        static const char* const kOther[] = {"o", "s", "l", "p", "cstype", "deg", "curv"};
        // Keywords that share first letters with statements, skipped by whole keywords.
        static const char* const kLookAlikes[] = {"usemap", "maplib", "mg", "group", "ff", "gg"};
        lastNeedsLineEnd_ = false;
        uint32_t kind = rng_.below(100);
        if (kind < 22) {
            vertices_++;
            // Lines of short numbers, that the quick paths' word test takes whole, now and then.
            const bool brief = rng_.chance(30);
            if (colors_ && rng_.chance(colors_)) {
                const uint32_t count = rng_.chance(20) ? 7 : 6;
                return brief ? briefNumbersLine(count) : numbersLine("v", count);
            }
            // Four or five numbers: one short of a colour, or more, for the quick paths' word test.
            if (rng_.chance(10)) {
                const uint32_t count = rng_.chance(50) ? 4 : 5;
                return brief ? briefNumbersLine(count) : numbersLine("v", count);
            }
            return numbersLine("v", 3);
        }
        if (kind < 30) {
            normals_++;
            return numbersLine("vn", 3);
        }
        if (kind < 38) {
            texcoords_++;
            return numbersLine("vt", rng_.chance(15) ? 3 : 2);
        }
        if (kind < 62) {
            if (vertices_) return face();
            vertices_++;
            return numbersLine("v", 3);
        }
        if (kind < 69) {
            lastNeedsLineEnd_ = true;
            const char* keyword = rng_.chance(5) ? "group" : rng_.chance(15) ? "o" : "g";
            return maybeBlank(10) + keyword + groupName() + lineEnd();
        }
        if (kind < 75) return materialUse();
        if (kind < 81)
            return maybeBlank(10) + "#" + (rng_.chance(50) ? "" : blank()) + word(0, 60) +
                   maybeBlank(10) + lineEnd();
        if (kind < 84 && vertices_) return shapeStatement();
        if (kind < 90) {
            std::string line = maybeBlank(10) + (whole_ && rng_.chance(30) ? rng_.pick(kLookAlikes)
                                                                           : rng_.pick(kOther));
            uint32_t words = rng_.between(0, 3);
            for (uint32_t i = 0; i < words; i++) line += blank() + word(1, 6);
            return line + maybeBlank(10) + lineEnd();
        }
        if (kind < 97) {
            if ((flags_ & ZEL_LOAD_UNKNOWN_KEYWORDS) && rng_.chance(30))
                return numbersLine(rng_.chance(50) ? "vp" : "vw", rng_.between(1, 3));
            return maybeBlank(20) + lineEnd();
        }
        return rng_.chance(50) ? "#" + lineEnd() : blank() + "# " + word(1, 20) + lineEnd();
    }

    // One material library; its material names are kept for "usemtl".
    std::string library(const Sizes& sizes) {
        std::string out;
        uint32_t materials = rng_.below(sizes.materials + 1);
        uint32_t made = 0;
        bool lastNeedsLineEnd = false;
        auto statement = [&]() {
            lastNeedsLineEnd = false;
            switch (rng_.below(12)) {
                case 0:
                    return numbersLine("Kd", 3);
                case 1:
                    return numbersLine("Ka", 3);
                case 2:
                    return numbersLine("Ks", 3);
                case 3:
                    return numbersLine("Ns", 1);
                case 4:
                    return numbersLine(rng_.chance(50) ? "Ni" : "N", 1);
                case 5:
                    return numbersLine(rng_.chance(50) ? "Ke" : "Tf", 3);
                case 6:
                    return numbersLine(rng_.chance(50) ? "d" : "Tr", 1);
                case 7:
                    return maybeBlank(10) + "illum" + blank() + std::to_string(rng_.below(10)) +
                           lineEnd();
                case 8: {
                    static const char* const kMaps[] = {"map_Kd", "map_Kd", "map_Ka",  "map_Ks",
                                                        "map_Ns", "map_d",  "map_bump"};
                    return maybeBlank(10) + rng_.pick(kMaps) + blank() + word(1, 10) + ".png" +
                           maybeBlank(10) + lineEnd();
                }
                case 9:
                    return maybeBlank(10) + "#" + blank() + word(0, 40) + lineEnd();
                case 10:
                    return maybeBlank(20) + lineEnd();
                default:
                    return numbersLine(rng_.chance(90) ? "Kd" : "K", 3);
            }
        };
        uint32_t before = rng_.below(3);
        for (uint32_t i = 0; i < before; i++) out += statement();
        for (;;) {
            if (sizes.mtlBytes ? out.size() >= sizes.mtlBytes : made >= materials) break;
            made++;
            std::string name;
            std::string line = maybeBlank(10) + (rng_.chance(5) ? "norm" : "newmtl");
            if (lineEnds_ == LineEnds::Lf && rng_.chance(3)) {
                // No word at all: the name is the rest of the line as read.
                name = maybeBlank(50) + "\n";
                line += name;
                lastNeedsLineEnd = true;
            } else {
                if (!materialNames_.empty() && rng_.chance(10))
                    name = materialNames_[rng_.below(static_cast<uint32_t>(materialNames_.size()))];
                if (name.find_first_not_of(" \t\v\f\r\n") == std::string::npos)
                    name = whole_ && rng_.chance(20)
                               ? word(1, 8) + blank() + word(rng_.chance(20) ? 130 : 1, 200)
                               : word(1, 12);
                if (rng_.chance(10)) line += blank() + word(1, 6);
                line += blank() + name + maybeBlank(10) + lineEnd();
                lastNeedsLineEnd = false;
            }
            out += line;
            materialNames_.push_back(name);
            uint32_t count = sizes.mtlBytes ? rng_.between(0, 4) : rng_.between(0, 8);
            for (uint32_t i = 0; i < count; i++) out += statement();
        }
        if (!lastNeedsLineEnd && rng_.chance(15)) dropFinalLineEnd(out);
        return out;
    }

    static void dropFinalLineEnd(std::string& text) {
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (!text.empty() && text.back() == '\r') text.pop_back();
    }

    Rng rng_;
    LineEnds lineEnds_;
    uint32_t vertices_ = 0, normals_ = 0, texcoords_ = 0;
    uint32_t aheadVertices_ = 0, aheadNormals_ = 0, aheadTexcoords_ = 0;  // the most named ahead
    std::vector<std::string> groupNames_;
    std::vector<std::string> materialNames_;
    bool lastNeedsLineEnd_ = false;
    bool failedNumbers_ = false;
    uint32_t flags_ = 0;
    bool whole_ = false;   // ZEL_LOAD_WHOLE_KEYWORDS
    uint32_t colors_ = 0;  // percent of vertices with a colour
};

std::string bitsOf(const float* values, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; i++) {
        uint32_t bits;
        std::memcpy(&bits, &values[i], sizeof bits);
        char hex[32];
        std::snprintf(hex, sizeof hex, "%s%08" PRIx32 "(%g)", i ? " " : "", bits, values[i]);
        text += hex;
    }
    return text;
}

std::string quoted(const char* text) {
    if (!text) return "null";
    std::string out = "\"";
    for (const char* c = text; *c; c++) {
        if (*c == '\n')
            out += "\\n";
        else if (*c == '\r')
            out += "\\r";
        else if (*c == '\t')
            out += "\\t";
        else if (*c == '\v')
            out += "\\v";
        else if (*c == '\f')
            out += "\\f";
        else
            out += *c;
    }
    return out + "\"";
}

// A group's polygons, lines and points as text.
std::string shapesOf(const ZelGroup* g) {
    auto corner = [](const ZelCorner& c) {
        return std::to_string(c.vertexidx) + "/" + std::to_string(c.texcoordidx) + "/" +
               std::to_string(c.normalidx) + " ";
    };
    std::string text;
    for (uint32_t p = 0; p < g->polygoncount; p++) {
        text += "f@" + std::to_string(g->polygontriangle[p]) + " ";
        for (uint32_t i = g->polygonstart[p]; i < g->polygonstart[p + 1]; i++)
            text += corner(g->polygoncorners[i]);
    }
    for (uint32_t k = 0; k < g->linecount; k++) {
        text += "l ";
        for (uint32_t i = g->linestart[k]; i < g->linestart[k + 1]; i++)
            text += corner(g->linecorners[i]);
    }
    for (uint32_t i = 0; i < g->pointcount; i++) text += "p" + std::to_string(g->pointidx[i]) + " ";
    return text;
}

// The first difference between two models as "field: detail", or "" when they are the same.
std::string difference(const ZelModel* expected, const ZelModel* actual) {
    auto str = [](const char* a, const char* b) {
        return (a == nullptr) == (b == nullptr) && (a == nullptr || std::strcmp(a, b) == 0);
    };
    auto differ = [](const char* field, const std::string& want, const std::string& got) {
        return std::string(field) + ": reference " + want + ", fast reader " + got;
    };
    if (!str(expected->path, actual->path))
        return differ("path", quoted(expected->path), quoted(actual->path));
    if (!str(expected->mtllib, actual->mtllib))
        return differ("mtllib", quoted(expected->mtllib), quoted(actual->mtllib));
#define ZEL_SAME_COUNT(field)             \
    if (expected->field != actual->field) \
        return differ(#field, std::to_string(expected->field), std::to_string(actual->field));
    ZEL_SAME_COUNT(vertexcount)
    ZEL_SAME_COUNT(normalcount)
    ZEL_SAME_COUNT(texcoordcount)
    ZEL_SAME_COUNT(facetnormcount)
    ZEL_SAME_COUNT(trianglecount)
    ZEL_SAME_COUNT(materialcount)
    ZEL_SAME_COUNT(groupcount)
#undef ZEL_SAME_COUNT

    struct Array {
        const char* field;
        const float* want;
        const float* got;
        size_t width;
        uint32_t count;
    };
    const Array arrays[] = {
        {"vertices", expected->vertices, actual->vertices, 3, expected->vertexcount},
        {"colors", expected->colors, actual->colors, 3, expected->vertexcount},
        {"normals", expected->normals, actual->normals, 3, expected->normalcount},
        {"texcoords", expected->texcoords, actual->texcoords, 2, expected->texcoordcount},
        {"facetnorms", expected->facetnorms, actual->facetnorms, 3, expected->facetnormcount},
    };
    for (const Array& a : arrays) {
        if ((a.want == nullptr) != (a.got == nullptr))
            return differ(a.field, a.want ? "allocated" : "null", a.got ? "allocated" : "null");
        if (!a.want) continue;
        for (uint32_t i = 0; i <= a.count; i++) {
            const float* want = a.want + a.width * i;
            const float* got = a.got + a.width * i;
            if (std::memcmp(want, got, a.width * sizeof(float)) != 0)
                return differ(a.field, "[" + std::to_string(i) + "] " + bitsOf(want, a.width),
                              bitsOf(got, a.width));
        }
    }

    auto triple = [](const uint32_t* t) {
        return std::to_string(t[0]) + "/" + std::to_string(t[1]) + "/" + std::to_string(t[2]);
    };
    for (uint32_t i = 0; i < expected->trianglecount; i++) {
        const ZelTriangle& want = expected->triangles[i];
        const ZelTriangle& got = actual->triangles[i];
        if (std::memcmp(&want, &got, sizeof want) != 0) {
            auto show = [&](const ZelTriangle& t) {
                return "v " + triple(t.vertexidx) + " t " + triple(t.texcoordidx) + " n " +
                       triple(t.normalidx) + " facet " + std::to_string(t.facetidx);
            };
            return differ("triangles", "[" + std::to_string(i) + "] " + show(want), show(got));
        }
    }

    for (uint32_t i = 0; i < expected->materialcount; i++) {
        const ZelMaterial& want = expected->materials[i];
        const ZelMaterial& got = actual->materials[i];
        std::string at = "[" + std::to_string(i) + "] ";
        if (!str(want.name, got.name))
            return differ("materials.name", at + quoted(want.name), quoted(got.name));
        if (std::memcmp(want.diffuse, got.diffuse, sizeof want.diffuse) != 0)
            return differ("materials.diffuse", at + bitsOf(want.diffuse, 4),
                          bitsOf(got.diffuse, 4));
        if (std::memcmp(want.ambient, got.ambient, sizeof want.ambient) != 0)
            return differ("materials.ambient", at + bitsOf(want.ambient, 4),
                          bitsOf(got.ambient, 4));
        if (std::memcmp(want.specular, got.specular, sizeof want.specular) != 0)
            return differ("materials.specular", at + bitsOf(want.specular, 4),
                          bitsOf(got.specular, 4));
        if (std::memcmp(&want.shininess, &got.shininess, sizeof want.shininess) != 0)
            return differ("materials.shininess", at + bitsOf(&want.shininess, 1),
                          bitsOf(&got.shininess, 1));
        if (std::memcmp(&want.dissolve, &got.dissolve, sizeof want.dissolve) != 0)
            return differ("materials.dissolve", at + bitsOf(&want.dissolve, 1),
                          bitsOf(&got.dissolve, 1));
        const ZelTextureMap* wantMaps = &want.ambientmap;  // the six maps follow each other
        const ZelTextureMap* gotMaps = &got.ambientmap;
        for (int k = 0; k < 6; k++)
            if (!str(wantMaps[k].name, gotMaps[k].name) || !str(wantMaps[k].path, gotMaps[k].path))
                return differ("materials.maps",
                              at + std::to_string(k) + " " + quoted(wantMaps[k].path),
                              quoted(gotMaps[k].path));
    }
    if ((expected->materials == nullptr) != (actual->materials == nullptr))
        return differ("materials", expected->materials ? "allocated" : "null",
                      actual->materials ? "allocated" : "null");

    const ZelGroup* want = expected->groups;
    const ZelGroup* got = actual->groups;
    for (int i = 0; want && got; i++, want = want->next, got = got->next) {
        std::string at = "[" + std::to_string(i) + "] ";
        if (!str(want->name, got->name))
            return differ("groups.name", at + quoted(want->name), quoted(got->name));
        if (want->trianglecount != got->trianglecount)
            return differ("groups.trianglecount", at + std::to_string(want->trianglecount),
                          std::to_string(got->trianglecount));
        if (want->material != got->material)
            return differ("groups.material", at + std::to_string(want->material),
                          std::to_string(got->material));
        for (uint32_t k = 0; k < want->trianglecount; k++)
            if (want->triangleidx[k] != got->triangleidx[k])
                return differ(
                    "groups.triangleidx",
                    at + "[" + std::to_string(k) + "] " + std::to_string(want->triangleidx[k]),
                    std::to_string(got->triangleidx[k]));
    }
    if (want || got) return differ("groups", want ? "more" : "ended", got ? "more" : "ended");
    for (want = expected->groups, got = actual->groups; want && got;
         want = want->next, got = got->next) {
        std::string shapes = shapesOf(want), gotShapes = shapesOf(got);
        if (shapes != gotShapes)
            return differ("groups.shapes", quoted(want->name) + " " + shapes, gotShapes);
    }
    if ((expected->smoothinggroups == nullptr) != (actual->smoothinggroups == nullptr) ||
        (expected->smoothinggroups &&
         std::memcmp(expected->smoothinggroups, actual->smoothinggroups,
                     sizeof(uint32_t) * expected->trianglecount) != 0))
        return differ("smoothinggroups", expected->smoothinggroups ? "kept" : "null",
                      actual->smoothinggroups ? "kept or different" : "null");
    if (std::memcmp(expected->position, actual->position, sizeof expected->position) != 0)
        return differ("position", bitsOf(expected->position, 3), bitsOf(actual->position, 3));
    return "";
}

const char kReferenceFailed[] = "reference: could not read the input";

// Threads, ranges and buffers for reading `bytes` in pieces, chosen from the bytes themselves:
// 1 to 4 threads, ranges of 1 to 64 bytes (up to about 1/256 of a large file), buffers of 1 to 48.
zel::ReadOptions rangedOptions(const std::string& bytes) {
    uint64_t hash = 14695981039346656037u;
    for (char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211u;
    zel::ReadOptions options;
    options.threads = 1 + hash % 4;
    options.rangeSize = 1 + (hash >> 8) % std::max<uint64_t>(64, bytes.size() / 256);
    options.bufferSize = 1 + (hash >> 24) % 48;
    return options;
}

// Writes a case into `dir` and reads it with all readers; returns "" when they agree, else the
// first difference as "what: detail".
std::string check(const zeltest::TempDir& dir, const Case& c) {
    std::string path = dir.write("case.obj", c.obj);
    for (const auto& library : c.libraries) {
        std::filesystem::create_directories(
            std::filesystem::path(dir.file(library.first)).parent_path());
        dir.write(library.first, library.second);
    }

    testing::internal::CaptureStdout();
    ZelModel* expected = zeltest::referenceReadOBJ(path.c_str(), c.flags);
    std::string expectedOut = testing::internal::GetCapturedStdout();

    // The public loaders: the file, then its bytes in memory with the libraries supplied by a
    // callback.
    ZelLoadOptions flagged{};
    flagged.flags = c.flags;
    testing::internal::CaptureStdout();
    ZelError fileError;
    ZelModel* fromFile = zelLoadOBJ(path.c_str(), &flagged, &fileError);
    std::string fileOut = testing::internal::GetCapturedStdout();

    std::string bytes = zeltest::TempDir::read(path);
    zel::TextProvider fromDisk = [](const std::string& name, std::string& text) {
        if (!std::filesystem::is_regular_file(name)) return false;
        text = zeltest::TempDir::read(name);
        return true;
    };
    std::string library;
    ZelLoadOptions supplied{};
    supplied.flags = c.flags;
    supplied.user = &library;
    supplied.library = [](void* user, const char* name, const char** data, size_t* size) {
        std::string& text = *static_cast<std::string*>(user);
        if (!std::filesystem::is_regular_file(name)) return 0;
        text = zeltest::TempDir::read(name);
        *data = text.data();
        *size = text.size();
        return 1;
    };
    testing::internal::CaptureStdout();
    ZelError memoryError;
    ZelModel* fromMemory =
        zelLoadOBJMemory(path.c_str(), bytes.data(), bytes.size(), &supplied, &memoryError);
    std::string memoryOut = testing::internal::GetCapturedStdout();

    // Once more cut into ranges of a few bytes on several threads, each range read through a buffer
    // of a few bytes, from the file or from memory: every guess of a range's start is then put to
    // the test.
    zel::ReadOptions ranged = rangedOptions(bytes);
    ranged.libraries = &fromDisk;
    ranged.flags = c.flags;
    testing::internal::CaptureStdout();
    ZelModel* fromRanges = nullptr;
    zel::Status rangedStatus =
        ranged.threads % 2
            ? zel::readOBJFile(path.c_str(), ranged, &fromRanges)
            : zel::readOBJMemory(path.c_str(), bytes.data(), bytes.size(), ranged, &fromRanges);
    std::string rangedOut = testing::internal::GetCapturedStdout();

    std::string result;
    if (!expected)
        result = kReferenceFailed;
    else if (!fromFile)
        result = "file status: " + quoted(fileError.message);
    else if (!fromMemory)
        result = "memory status: " + quoted(memoryError.message);
    else if (!rangedStatus.ok)
        result = "ranged status: " + quoted(rangedStatus.message.c_str());
    else if (std::string d = difference(expected, fromFile); !d.empty())
        result = "file " + d;
    else if (std::string d = difference(expected, fromMemory); !d.empty())
        result = "memory " + d;
    else if (std::string d = difference(expected, fromRanges); !d.empty())
        result = "ranged " + d;
    else if (fileOut != expectedOut)
        result = "file stdout: reference " + quoted(expectedOut.c_str()) + ", fast reader " +
                 quoted(fileOut.c_str());
    else if (memoryOut != expectedOut)
        result = "memory stdout: reference " + quoted(expectedOut.c_str()) + ", fast reader " +
                 quoted(memoryOut.c_str());
    else if (rangedOut != expectedOut)
        result = "ranged stdout: reference " + quoted(expectedOut.c_str()) + ", fast reader " +
                 quoted(rangedOut.c_str());
    if (fromRanges) zelFreeModel(fromRanges);
    if (expected) zelFreeModel(expected);
    if (fromFile) zelFreeModel(fromFile);
    if (fromMemory) zelFreeModel(fromMemory);
    return result;
}

std::string kindOf(const std::string& failure) {
    size_t colon = failure.find(':');
    return failure.substr(0, colon);
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
}

// Drops whole lines from `text` (chunks of halving size, repeated until nothing more goes) as long
// as the same kind of difference stays; `rebuild` puts a candidate text back into the case.
template <typename Rebuild>
void reduceText(const zeltest::TempDir& dir, Case& c, std::string& text, const std::string& kind,
                Rebuild rebuild, int& budget) {
    std::vector<std::string> lines = splitLines(text);
    for (bool changed = true; changed && budget > 0;) {
        changed = false;
        for (size_t chunk = std::max<size_t>(lines.size() / 2, 1); budget > 0; chunk /= 2) {
            for (size_t at = 0; at < lines.size() && budget > 0;) {
                std::vector<std::string> candidate(lines.begin(), lines.begin() + at);
                candidate.insert(candidate.end(),
                                 lines.begin() + std::min(at + chunk, lines.size()), lines.end());
                Case trial = c;
                rebuild(trial, joinLines(candidate));
                budget--;
                std::string failure = check(dir, trial);
                if (!failure.empty() && kindOf(failure) == kindOf(kind)) {
                    lines = candidate;
                    c = trial;
                    changed = true;
                } else {
                    at += chunk;
                }
            }
            if (chunk <= 1) break;
        }
    }
    text = joinLines(lines);
}

// The smallest case (by whole lines of the OBJ file and its libraries) with the same kind of
// difference.
Case reduce(const zeltest::TempDir& dir, Case c, const std::string& failure) {
    size_t bytes = c.obj.size();
    for (const auto& library : c.libraries) bytes += library.second.size();
    int budget = bytes > 100000 ? 40 : 3000;
    for (int round = 0; round < 2; round++) {
        std::string obj = c.obj;
        reduceText(
            dir, c, obj, failure, [](Case& t, std::string text) { t.obj = std::move(text); },
            budget);
        for (size_t i = 0; i < c.libraries.size(); i++) {
            std::string text = c.libraries[i].second;
            reduceText(
                dir, c, text, failure,
                [i](Case& t, std::string lib) { t.libraries[i].second = std::move(lib); }, budget);
        }
    }
    return c;
}

std::string describe(const Case& c) {
    std::string out = "--- case.obj\n";
    for (const std::string& line : splitLines(c.obj)) out += quoted(line.c_str()) + "\n";
    for (const auto& library : c.libraries) {
        out += "--- " + library.first + "\n";
        for (const std::string& line : splitLines(library.second))
            out += quoted(line.c_str()) + "\n";
    }
    return out;
}

// Runs `count` generated cases from `firstSeed` on; reports the first few differences reduced.
// ZEL_DIFFERENTIAL_SCALE=n in the environment runs n times as many (for soak runs). Cases the
// reference reader cannot read are failures, except with failed number reads, which can make the
// two scans see different statements (outside what either reader promises): those are skipped, and
// fewer than a quarter may be.
void runCases(uint64_t firstSeed, uint32_t count, const Sizes& sizes) {
    if (const char* scale = std::getenv("ZEL_DIFFERENTIAL_SCALE"))
        count *= std::max(1, std::atoi(scale));
    zeltest::TempDir dir;
    int reported = 0;
    uint32_t unreadable = 0;
    for (uint64_t seed = firstSeed; seed < firstSeed + count && reported < 3; seed++) {
        Case c = Generator(seed).make(sizes);
        std::string failure = check(dir, c);
        if (failure.empty()) continue;
        if (sizes.failedNumbers && failure == kReferenceFailed) {
            unreadable++;
            continue;
        }
        reported++;
        Case small = reduce(dir, c, failure);
        std::string smallFailure = check(dir, small);
        ADD_FAILURE() << "seed " << seed << ": " << failure << "\nsmallest input found ("
                      << smallFailure << "):\n"
                      << (small.obj.size() > 100000 ? std::string("(too large to show)\n")
                                                    : describe(small));
    }
    EXPECT_LE(unreadable * 4, count) << "too few cases the reference reader could read";
}

TEST(DifferentialRead, SmallGeneratedFilesReadAsTheReferenceReadsThem) {
    Sizes sizes;
    sizes.statements = 12;
    sizes.materials = 3;
    runCases(1, 300, sizes);
}

TEST(DifferentialRead, MediumGeneratedFilesReadAsTheReferenceReadsThem) {
    Sizes sizes;
    sizes.statements = 150;
    runCases(100001, 300, sizes);
}

// Files larger than the reader's 1 MiB buffer, so that statements of every kind straddle a refill.
TEST(DifferentialRead, FilesLargerThanTheReadBufferReadAsTheReferenceReadsThem) {
    for (uint64_t seed = 200001; seed < 200013; seed++) {
        Sizes sizes;
        sizes.objBytes = (size_t{1} << 20) + (seed % 4) * 400000 + 20000 * (seed % 7);
        runCases(seed, 1, sizes);
    }
}

TEST(DifferentialRead, LibrariesLargerThanTheReadBufferReadAsTheReferenceReadsThem) {
    for (uint64_t seed = 300001; seed < 300004; seed++) {
        Sizes sizes;
        sizes.statements = 60;
        sizes.mtlBytes = (size_t{1} << 20) + 50000 * (seed % 5);
        runCases(seed, 1, sizes);
    }
}

// Number reads that fail, whole or in part, leave the same values and the same unread text as "%f"
// does: lines short of a number, and malformed numbers.
TEST(DifferentialRead, FailedNumberReadsReadAsTheReferenceReadsThem) {
    Sizes sizes;
    sizes.statements = 60;
    sizes.failedNumbers = true;
    runCases(400001, 400, sizes);
}

// The generator must reach what it is meant to: every notation, every face form, both line ends.
TEST(DifferentialRead, GeneratedFilesCoverTheDialect) {
    std::string all;
    for (uint64_t seed = 1; seed <= 300; seed++) {
        Sizes sizes;
        sizes.statements = 150;
        Case c = Generator(seed).make(sizes);
        all += c.obj;
        for (const auto& library : c.libraries) all += library.second;
    }
    for (const char* needle :
         {"\r\n", "\t",     "//",     "/",     "0x",     "0X",       "p-",           "e+",
          "E-",   "inf",    "INF",    "nan",   "NaN",    "infinity", "+.",           "-.",
          "g \t", "usemtl", "mtllib", "sub/",  "newmtl", "Kd",       "Ka",           "Ks",
          "Ns",   "Ni",     "\n\n",   "\no ",  "\nvp",   "\nvw",     "missing0.mtl", "map_bump",
          "\nd ", "\nTr",   "maplib", "usemap"})
        EXPECT_NE(all.find(needle), std::string::npos) << "never generated: " << quoted(needle);
    // Vertices with colours, read under every flag.
    uint32_t colored = 0, flags = 0;
    for (uint64_t seed = 1; seed <= 300; seed++) {
        Generator generator(seed);
        Sizes sizes;
        Case c = generator.make(sizes);
        flags |= c.flags;
        for (const std::string& line : splitLines(c.obj)) {
            float values[6];
            colored += line.rfind("v ", 0) == 0 &&
                       std::sscanf(line.c_str() + 1, "%f %f %f %f %f %f", &values[0], &values[1],
                                   &values[2], &values[3], &values[4], &values[5]) == 6;
        }
    }
    EXPECT_GT(colored, 100u);
    EXPECT_EQ(flags, 127u);
}

void readWith(const std::string& text, zel::ReadOptions options, zeltest::ReadOutcome* out) {
    static const zel::TextProvider kLibraries = [](const std::string& name, std::string& mtl) {
        if (name.find("missing") != std::string::npos) return false;
        mtl = "newmtl red\nKd 1 0 0\nnewmtl blue\nKd 0 0 1\nnewmtl " + name + "\n";
        return true;
    };
    options.libraries = &kLibraries;
    zeltest::readText(text, "dir/case.obj", false, options, out);
}

// "" when two reads came out the same in everything the caller sees.
std::string outcomeDifference(const zeltest::ReadOutcome& want, const zeltest::ReadOutcome& got) {
    const zel::Status &a = want.status, &b = got.status;
    if (a.ok != b.ok || a.message != b.message || a.stream != b.stream || a.line != b.line)
        return "status " + quoted(a.message.c_str()) + " line " + std::to_string(a.line) +
               " against " + quoted(b.message.c_str()) + " line " + std::to_string(b.line);
    if (want.warnings != got.warnings)
        return "warnings: " + std::to_string(want.warnings.size()) + " against " +
               std::to_string(got.warnings.size());
    return want.model ? difference(want.model, got.model) : "";
}

// Text that defeats the ranges' guesses: faces whose references run on over the next lines, bare
// "f" lines, keywords left on vertex lines, lines the two scans read differently, many groups and
// materials, failures in several places.
std::vector<std::string> guessDefeatingTexts() {
    std::vector<std::string> texts = {
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1\n2\n3\n1\n\n2 3\n-1\ng a\nf 1 2 3\nf 1 2\n3\n",
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nf\n1 2 3\nf\nf\n2\ng\nf 3 2\n1 g x\nf\n",
        "v 1 2 3 f 1 1 1\nv 1 2 3 g x\nf 1 2 3\nv 1 2 vn 1 2 3\nvn 0 0 1 vt 1 1\nf 1//1 2//1 "
        "3//1\n",
        "v 1 2 n\nv 1 2 3\nv 1 2 in\nv 1 2 -\nvt 1 nan(\nvt 2 0x\nf 1/1 2/2 3/2\nv 1 2 3\n",
        "mtllib a.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\ng a\nusemtl red\nf 1 2 3\ng b\nusemtl nope\n"
        "f 1 2 3\ng a\nf 3 2 1\nusemtl blue\ng c\ng b\nf 1 2 3\nusemtl red\nmtllib b.mtl\n"
        "usemtl b.mtl\ng a\nusemtl gone\nf 1 2 3\n",
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 9\nf 1 2 3\nf 1 0 3\n",
        "v 0 0 0\nv 1 0 0\nv 0 1 0\ng b\nf 1 2 3\ng a\nv 1 2 3 g b\nf 1 2 3\ng a\nf 1 2 3\n"
        "f 1 3 2\ng b\nf 2 1 3\nf 3 1 2\ng a\nf 2 3 1\n",
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\nvp 1\nf 1 2 3\nvx\n",
        "mtllib missing.mtl\nv 0 0 0\nvp 1 1\n",
        "v 0 0 0\nmtllib missing1.mtl\nmtllib a.mtl\nmtllib missing2.mtl\n",
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf -1//-1 -2//1 -3//-1\nv 5 5 5\nf -1 -2 -4\n"
        "vt 0 0\nf 1/-1 2/1 3/1\n",
        "v 0 0 0\rv 1 0 0\rv 0 1 0\rf 1 2 3\rg a\r",
        "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\ng a b\r\nf 1 2 3\r\ng a b\r\nf 3 2 1",
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\ng last",
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/2/3/4 2/2/3 3\nf 1//2//3 2 3\nf 1/ 2/ 3/\nf 1/x 2 3\n",
        "v 0 0 0\nv 1 0 0\nv 0 1 0\nf +1 -0 +2\nf 99999999999999999999 1 2\nf 1 2 3 4 5 6 7 8\n",
    };
    std::string many = "mtllib a.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (int i = 0; i < 60; i++) {
        many += "g g" + std::to_string(i % 7) + "\n";
        if (i % 3 == 0) many += i % 2 ? "usemtl red\n" : "usemtl blue\n";
        if (i % 11 == 0) many += "usemtl none" + std::to_string(i) + "\n";
        many += "f 1 2 3\n";
        if (i % 5 == 0) many += "f 1 2\n3 1\n";
    }
    texts.push_back(many);
    texts.push_back(std::string(200, 'x') + "\nv 0 0 0\n" + "g " + std::string(300, 'n') +
                    "\nv 1 0 0\nv 0 1 0\nf 1 2 3\n" + "f " + std::string(200, '1') + "\n");
    texts.push_back("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3 " + std::string(400, ' ') + "1\n");
    // Blanks that run to the end of the input, past what the quick paths may read ahead.
    texts.push_back("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3" + std::string(300, ' '));
    texts.push_back("v 0 0 0\nv 1 0 0\nf " + std::string(300, '\t'));
    texts.push_back("v 0 0 0\nv 1" + std::string(300, ' '));

    // Random statements of the dialect and of text beyond it.
    static const char* const kTokens[] = {"v",
                                          "v",
                                          "vt",
                                          "vn",
                                          "f",
                                          "f",
                                          "g",
                                          "g a",
                                          "usemtl red",
                                          "usemtl x",
                                          "mtllib a.mtl",
                                          "#",
                                          "1",
                                          "2",
                                          "3",
                                          "-1",
                                          "1/1",
                                          "1//1",
                                          "1/1/1",
                                          "2/1/1",
                                          "0",
                                          "99",
                                          "x",
                                          "0.5",
                                          "-2.5e1",
                                          "nan",
                                          "n",
                                          "vp",
                                          "1/",
                                          "//",
                                          "+",
                                          "\t"};
    Rng rng(20261207);
    for (int t = 0; t < 300; t++) {
        std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n";
        for (uint32_t n = rng.between(5, 60); n > 0; n--) {
            const char* token = rng.pick(kTokens);
            if (token[0] == 'v' && token[1] == 'p' && !rng.chance(10)) token = "v";
            text += token;
            text += rng.chance(40) ? (rng.chance(20) ? "\r\n" : "\n") : " ";
        }
        texts.push_back(text);
    }
    return texts;
}

TEST(RangedRead, InputsThatDefeatTheGuessesReadAsOneThreadReadsThem) {
    int reported = 0;
    size_t index = 0;
    for (const std::string& text : guessDefeatingTexts()) {
        zeltest::ReadOutcome want;
        zel::ReadOptions one;
        one.threads = 1;
        readWith(text, one, &want);
        size_t step = 1 + index++ % 3;
        for (uint64_t range = 1; range <= 48 && reported < 5; range += step) {
            zel::ReadOptions ranged;
            ranged.threads = 1 + range % 3;
            ranged.rangeSize = range;
            ranged.bufferSize = range % 4 == 0 ? 0 : 1 + range % 11;
            zeltest::ReadOutcome got;
            readWith(text, ranged, &got);
            std::string d = outcomeDifference(want, got);
            if (d.empty()) continue;
            reported++;
            ADD_FAILURE() << "ranges of " << range << " bytes on " << ranged.threads
                          << " threads, buffer " << ranged.bufferSize << ": " << d << "\n"
                          << quoted(text.c_str());
        }
    }
}

// The reference reader itself, on a file whose model is known.
TEST(ReferenceReader, ReadsAKnownFile) {
    zeltest::TempDir dir;
    dir.write("m.mtl", "newmtl red\nKd 1 0 0\nNs 500\n");
    std::string path = dir.write("m.obj",
                                 "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\n"
                                 "g quad\nusemtl red\nf 1//1 2//1 3//1 4//1\n");
    ZelModel* model = zeltest::referenceReadOBJ(path.c_str());
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->vertexcount, 4u);
    EXPECT_EQ(model->trianglecount, 2u);
    EXPECT_EQ(model->triangles[1].vertexidx[0], 1u);
    EXPECT_EQ(model->triangles[1].vertexidx[1], 3u);
    EXPECT_EQ(model->triangles[1].vertexidx[2], 4u);
    EXPECT_EQ(model->triangles[1].normalidx[2], 1u);
    EXPECT_EQ(model->triangles[1].texcoordidx[2], 0u);
    ASSERT_EQ(model->groupcount, 2u);
    EXPECT_STREQ(model->groups->name, " quad");
    EXPECT_EQ(model->groups->material, 1u);
    EXPECT_STREQ(model->groups->next->name, "default");
    ASSERT_EQ(model->materialcount, 2u);
    EXPECT_EQ(model->materials[1].diffuse[0], 1.0f);
    EXPECT_EQ(model->materials[1].shininess, 64.0f);
    EXPECT_STREQ(model->mtllib, "m.mtl");
    zelFreeModel(model);
    EXPECT_EQ(zeltest::referenceReadOBJ(dir.file("none.obj").c_str()), nullptr);
}

}  // namespace
