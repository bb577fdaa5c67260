// Reads one PPM image with zelLoadPPM and reports what a caller gets: "width: W" and "height: H"
// on standard output and exit status 0, or exit status 1 when the call returns NULL (the library
// has then written its line on standard error). For the bad-input matrix.
#include <cstdio>
#include <cstdlib>

#include "zel.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ppm_probe FILE.ppm\n");
        return 2;
    }
    int width = -1, height = -1;
    unsigned char* pixels = zelLoadPPM(argv[1], &width, &height);
    if (!pixels) return 1;
    std::printf("width: %d\nheight: %d\n", width, height);
    std::free(pixels);
    return 0;
}
