// What the library links against that Emscripten's C library, or this build, does not have.
#include <errno.h>
#include <sched.h>

#include <cstddef>
#include <cstring>

// Emscripten has no processor affinity: the library then asks sysconf for the processor count.
// The web package passes its thread count with every call anyway.
extern "C" int sched_getaffinity(pid_t, size_t, cpu_set_t*) {
    errno = ENOSYS;
    return -1;
}

extern "C" int __sched_cpucount(size_t, const cpu_set_t*) {
    return 0;
}

// meshoptimizer is a native library here (Debian's libmeshoptimizer-dev has no WebAssembly build),
// and the library calls one function of it: the vertex cache ordering of a mesh's triangles. The
// web package makes its meshes with ZelMeshOptions.keeporder, so that ordering is never asked for;
// this stand-in keeps the order given, should it be, which is a valid result of that function.
extern "C" void meshopt_optimizeVertexCacheFifo(unsigned int* destination,
                                                const unsigned int* indices, size_t index_count,
                                                size_t, unsigned int) {
    if (destination != indices) std::memmove(destination, indices, index_count * sizeof *indices);
}
