// Loads each OBJ file named with zelLoadOBJ, in one process, and prints for each one line: the
// failure's message, or "loaded". Then "went on", to show that no failure ended the process. The
// library itself must print nothing. For the bad-input matrix.
#include <cstdio>

#include "zel.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        ZelError error;
        ZelModel* model = zelLoadOBJ(argv[i], nullptr, &error);
        if (model) {
            std::printf("loaded\n");
            zelFreeModel(model);
        } else {
            std::printf("%s\n", error.message);
        }
    }
    std::printf("went on\n");
    return 0;
}
