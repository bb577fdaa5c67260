// Fuzzes the OBJ reader together with the MTL reader it calls.
//
// The input is OBJ text, optionally followed by a line "#MTL" and the text of the material library
// (served under whatever name the OBJ text gives). The one-thread reader over the bytes in memory
// must either return a model that holds every promise of the reader (fuzz_support.h) or a failure
// that is one diagnostic line and leaves nothing allocated. Then the same bytes are read again in
// ways that must all give the same outcome (status, line, model, not-found lines): through a
// buffer of a few bytes, so that every token may straddle a refill, from memory or from a file;
// and cut into ranges of a few bytes on several threads, so that
// the guesses of where a range's statements start, and in which state, are put to the test.
// Threads, range and buffer sizes, the load flags and sometimes a byte limit are taken from a hash
// of the input, so mutations move them. ThreadSanitizer runs the ranged reader on many threads in
// the unit tests.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "read_outcome.h"

namespace {

void checkSameModel(const ZelModel* a, const ZelModel* b) {
    FUZZ_CHECK(a->vertexcount == b->vertexcount);
    FUZZ_CHECK((a->colors == nullptr) == (b->colors == nullptr));
    if (a->colors)
        FUZZ_CHECK(std::memcmp(a->colors, b->colors, 12 * (size_t{a->vertexcount} + 1)) == 0);
    FUZZ_CHECK(a->normalcount == b->normalcount);
    FUZZ_CHECK(a->texcoordcount == b->texcoordcount);
    FUZZ_CHECK(a->trianglecount == b->trianglecount);
    FUZZ_CHECK(a->groupcount == b->groupcount);
    FUZZ_CHECK(a->materialcount == b->materialcount);
    FUZZ_CHECK(std::memcmp(a->vertices, b->vertices, 12 * (size_t{a->vertexcount} + 1)) == 0);
    if (a->normals)
        FUZZ_CHECK(std::memcmp(a->normals, b->normals, 12 * (size_t{a->normalcount} + 1)) == 0);
    if (a->texcoords)
        FUZZ_CHECK(std::memcmp(a->texcoords, b->texcoords, 8 * (size_t{a->texcoordcount} + 1)) ==
                   0);
    FUZZ_CHECK(std::memcmp(a->triangles, b->triangles, sizeof(ZelTriangle) * a->trianglecount) ==
               0);
    for (const ZelGroup *g = a->groups, *h = b->groups; g || h; g = g->next, h = h->next) {
        FUZZ_CHECK(g && h);
        FUZZ_CHECK(std::strcmp(g->name, h->name) == 0);
        FUZZ_CHECK(g->material == h->material);
        FUZZ_CHECK(g->trianglecount == h->trianglecount);
        FUZZ_CHECK(std::memcmp(g->triangleidx, h->triangleidx, 4 * size_t{g->trianglecount}) == 0);
        FUZZ_CHECK(g->polygoncount == h->polygoncount && g->linecount == h->linecount &&
                   g->pointcount == h->pointcount);
        if (g->polygoncount) {
            const size_t corners = g->polygonstart[g->polygoncount];
            FUZZ_CHECK(std::memcmp(g->polygonstart, h->polygonstart,
                                   4 * (size_t{g->polygoncount} + 1)) == 0);
            FUZZ_CHECK(std::memcmp(g->polygoncorners, h->polygoncorners,
                                   sizeof(ZelCorner) * corners) == 0);
            FUZZ_CHECK(std::memcmp(g->polygontriangle, h->polygontriangle,
                                   4 * size_t{g->polygoncount}) == 0);
        }
        if (g->linecount)
            FUZZ_CHECK(std::memcmp(g->linecorners, h->linecorners,
                                   sizeof(ZelCorner) * g->linestart[g->linecount]) == 0);
        if (g->pointcount)
            FUZZ_CHECK(std::memcmp(g->pointidx, h->pointidx, 4 * size_t{g->pointcount}) == 0);
    }
    FUZZ_CHECK((a->smoothinggroups == nullptr) == (b->smoothinggroups == nullptr));
    if (a->smoothinggroups)
        FUZZ_CHECK(
            std::memcmp(a->smoothinggroups, b->smoothinggroups, 4 * size_t{a->trianglecount}) == 0);
}

void checkSameOutcome(const zeltest::ReadOutcome& a, const zeltest::ReadOutcome& b) {
    FUZZ_CHECK(a.status.ok == b.status.ok);
    FUZZ_CHECK(a.status.message == b.status.message);
    FUZZ_CHECK(a.status.line == b.status.line);
    FUZZ_CHECK(a.warnings == b.warnings);
    if (a.status.ok) checkSameModel(a.model, b.model);
}

uint64_t hashOf(const uint8_t* data, size_t size) {
    uint64_t hash = 14695981039346656037u;
    for (size_t i = 0; i < size; i++) hash = (hash ^ data[i]) * 1099511628211u;
    return hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemoryFile file;
    const fuzz::ObjInput input = fuzz::splitObjMtl(data, size);
    const char* path = file.set(input.obj.data(), input.obj.size());
    fuzz::MtlServer server{&input};
    const zel::TextProvider libraries = server.provider();

    // Each read is told to write its model over a pointer that is no model.
    auto read = [&](bool fromFile, zel::ReadOptions options, zeltest::ReadOutcome* out) {
        options.libraries = &libraries;
        out->model = reinterpret_cast<ZelModel*>(1);
        zeltest::readText(input.obj, path, fromFile, options, out);
    };
    uint64_t hash = hashOf(data, size);
    zel::ReadOptions one;
    one.threads = 1;
    one.flags = (hash >> 56) % 128;
    if ((hash >> 59) % 8 == 0) one.maxBytes = 1 + (hash >> 20) % 4096;
    zeltest::ReadOutcome expected;
    read(false, one, &expected);
    if (expected.status.ok) {
        fuzz::checkModel(expected.model, one.flags);
    } else {
        fuzz::checkFailureLine(expected.status);
        FUZZ_CHECK(expected.model == nullptr);
    }
    zel::ReadOptions buffered = one;
    buffered.bufferSize = 1 + hash % 64;
    zeltest::ReadOutcome throughBuffer;
    read((hash >> 8) % 2, buffered, &throughBuffer);
    checkSameOutcome(expected, throughBuffer);

    zel::ReadOptions ranged = one;
    // Mostly on one thread, which takes the ranges one after another exactly as threads would
    // (threads cost more to start than a small input takes to read).
    ranged.threads = (hash >> 16) % 4 ? 1 : 2 + (hash >> 18) % 2;
    ranged.rangeSize = 1 + (hash >> 24) % 48;
    ranged.bufferSize = (hash >> 32) % 4 ? 1 + (hash >> 40) % 64 : 0;
    zeltest::ReadOutcome inRanges;
    read((hash >> 48) % 2, ranged, &inRanges);
    checkSameOutcome(expected, inRanges);
    return 0;
}
