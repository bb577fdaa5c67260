// Writes a large OBJ file the way exporters write them (six decimals, all positions, then texture
// coordinates, then normals, then faces), for the reader benchmark:
//
//   gen_obj <kind> <path> [megabytes]
//
//   kind "vtn":  positions, texture coordinates and normals; triangles "f a/a/a b/b/b c/c/c"
//   kind "v":    positions only; triangles "f a b c"
//   kind "quad": as "vtn", with quads
//   kind "vtnc": as "vtn", each position followed by a colour, "v x y z r g b": the same grid as
//                "vtn" of the same megabytes, so that the two files hold the same model
//
// The mesh is a wavy grid, so indices are local as in real models. The size comes out near the
// requested one (100 MB by default).
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Out {
public:
    explicit Out(FILE* file) : file_(file) { buffer_.reserve(kFlush + 512); }
    ~Out() { flush(); }
    void line(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void flush() {
        if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
        written_ += buffer_.size();
        buffer_.clear();
    }
    size_t written() const { return written_ + buffer_.size(); }

private:
    static constexpr size_t kFlush = size_t{1} << 20;
    FILE* file_;
    std::string buffer_;
    size_t written_ = 0;
};

void Out::line(const char* fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    buffer_.append(text, static_cast<size_t>(n));
    if (buffer_.size() >= kFlush) flush();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s vtn|v|quad|vtnc <path> [megabytes]\n", argv[0]);
        return 2;
    }
    std::string kind = argv[1];
    bool colored = kind == "vtnc";
    bool textured = kind == "vtn" || kind == "quad" || colored;
    bool quads = kind == "quad";
    if (!textured && kind != "v") {
        std::fprintf(stderr, "%s: unknown kind \"%s\"\n", argv[0], kind.c_str());
        return 2;
    }
    double megabytes = argc > 3 ? std::atof(argv[3]) : 100.0;
    FILE* file = std::fopen(argv[2], "wb");
    if (!file) {
        std::fprintf(stderr, "%s: can't write \"%s\"\n", argv[0], argv[2]);
        return 1;
    }

    // Bytes per grid vertex, measured on these files: its lines plus its share of the faces.
    double perVertex = kind == "v" ? 78.0 : quads ? 166.5 : 208.8;
    const uint32_t width = 1024;
    uint32_t height = static_cast<uint32_t>(megabytes * 1e6 / perVertex / width);
    if (height < 2) height = 2;
    auto x = [&](uint32_t i) { return (static_cast<double>(i) - width / 2.0) * 0.0125; };
    auto z = [&](uint32_t j) { return (static_cast<double>(j) - height / 2.0) * 0.0125; };
    auto y = [](double px, double pz) { return 0.75 * std::sin(px * 3.1) * std::cos(pz * 1.7); };

    Out out(file);
    out.line("# wavy grid %ux%u\n", width, height);
    out.line("o grid\n");
    for (uint32_t j = 0; j < height; j++)
        for (uint32_t i = 0; i < width; i++)
            if (colored)
                out.line("v %.6f %.6f %.6f %.6f %.6f %.6f\n", x(i), y(x(i), z(j)), z(j),
                         i / (width - 1.0), j / (height - 1.0), 0.5);
            else
                out.line("v %.6f %.6f %.6f\n", x(i), y(x(i), z(j)), z(j));
    if (textured) {
        for (uint32_t j = 0; j < height; j++)
            for (uint32_t i = 0; i < width; i++)
                out.line("vt %.6f %.6f\n", i / (width - 1.0), j / (height - 1.0));
        for (uint32_t j = 0; j < height; j++)
            for (uint32_t i = 0; i < width; i++) {
                double px = x(i), pz = z(j);
                double dx = 0.75 * 3.1 * std::cos(px * 3.1) * std::cos(pz * 1.7);
                double dz = -0.75 * 1.7 * std::sin(px * 3.1) * std::sin(pz * 1.7);
                double length = std::sqrt(dx * dx + 1.0 + dz * dz);
                out.line("vn %.6f %.6f %.6f\n", -dx / length, 1.0 / length, -dz / length);
            }
    }
    out.line("g grid\n");
    out.line("s 1\n");
    for (uint32_t j = 0; j + 1 < height; j++)
        for (uint32_t i = 0; i + 1 < width; i++) {
            unsigned a = j * width + i + 1, b = a + 1, c = a + width + 1, d = a + width;
            if (quads)
                out.line("f %u/%u/%u %u/%u/%u %u/%u/%u %u/%u/%u\n", a, a, a, b, b, b, c, c, c, d, d,
                         d);
            else if (textured) {
                out.line("f %u/%u/%u %u/%u/%u %u/%u/%u\n", a, a, a, b, b, b, c, c, c);
                out.line("f %u/%u/%u %u/%u/%u %u/%u/%u\n", a, a, a, c, c, c, d, d, d);
            } else {
                out.line("f %u %u %u\n", a, b, c);
                out.line("f %u %u %u\n", a, c, d);
            }
        }
    out.flush();
    size_t bytes = out.written();
    if (std::fclose(file) != 0) {
        std::fprintf(stderr, "%s: error writing \"%s\"\n", argv[0], argv[2]);
        return 1;
    }
    std::printf("%s: %zu bytes, %u vertices, %u %s\n", argv[2], bytes, width * height,
                (width - 1) * (height - 1) * (quads ? 1 : 2), quads ? "quads" : "triangles");
    return 0;
}
