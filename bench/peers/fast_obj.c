/* fast_obj is a single-header loader: its implementation is compiled here, once, for the reader
 * benchmark (bench_read_one). The header comes from the peers folder found by bench/CMakeLists.txt.
 */
#define FAST_OBJ_IMPLEMENTATION
#include "fast_obj.h"
