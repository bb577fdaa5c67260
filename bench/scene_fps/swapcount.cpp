// Frame counter for GLUT programs, loaded with LD_PRELOAD: wraps glutSwapBuffers, counts the frames
// shown and writes "frames seconds" to the file named by SWAPCOUNT_OUT twice a second, counting
// from the 10th frame on, so that start-up (window, first model reads) stays out of the figure. The
// program under test is unchanged.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

double now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

constexpr long kWarmUpFrames = 10;

long frames = 0;
double start = 0, lastReport = 0;
FILE* out = nullptr;

}  // namespace

extern "C" void glutSwapBuffers(void) {
    static void (*real)(void) =
        reinterpret_cast<void (*)(void)>(dlsym(RTLD_NEXT, "glutSwapBuffers"));
    real();
    ++frames;
    if (frames == kWarmUpFrames) {
        const char* path = std::getenv("SWAPCOUNT_OUT");
        out = path ? std::fopen(path, "w") : nullptr;
        start = lastReport = now();
        return;
    }
    if (frames > kWarmUpFrames && out) {
        double t = now();
        if (t - lastReport >= 0.5) {
            std::fprintf(out, "%ld %.6f\n", frames - kWarmUpFrames, t - start);
            std::fflush(out);
            lastReport = t;
        }
    }
}
