// Fuzzes the OBJ reader together with the MTL reader it calls.
//
// The input is OBJ text, optionally followed by a line "#MTL" and the text of the material library
// (served under whatever name the OBJ text gives). The in-memory reader must either return a model
// that holds every promise of the reader (fuzz_support.h) or a failure that is one diagnostic line
// and leaves nothing allocated. When the text names no library, the same bytes are also read as a
// file, through the streaming scanner: the result must be identical. They are read once more behind
// a comment line that puts the scanner's 1 MiB refill boundary at a point of the text chosen from
// the input, from a file and from memory, which must agree too: every token may straddle a refill.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

void checkSameModel(const ZelModel* a, const ZelModel* b) {
    FUZZ_CHECK(a->vertexcount == b->vertexcount);
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
    }
}

// The size of the file scanner's buffer: a file is read in pieces of this many bytes.
constexpr size_t kRefill = size_t{1} << 20;

// Where in the text the refill boundary falls: a hash of the input, so that each input tests one
// boundary and the fuzzer's mutations move it.
size_t boundaryIn(const uint8_t* data, size_t size, size_t textSize) {
    uint64_t hash = 14695981039346656037u;
    for (size_t i = 0; i < size; i++) hash = (hash ^ data[i]) * 1099511628211u;
    return static_cast<size_t>(hash % (textSize + 1));
}

// The text behind a comment line that ends `boundary` bytes before the refill boundary, held in
// memory and in a file. The comment line is a megabyte of blanks and stays in place: only what
// follows the first byte that changed since the last input is rewritten.
class PaddedText {
public:
    void set(const std::string& text, size_t boundary) {
        if (text_.empty()) {
            text_ = "#" + std::string(kRefill - 1, ' ');
            write(0);
        }
        const size_t start = kRefill - boundary;  // where the text begins, after the line end
        const size_t from = std::min(start, previousStart_) - 1;
        text_.resize(from);
        text_.append(start - 1 - from, ' ');
        text_ += '\n';
        text_ += text;
        write(from);
        FUZZ_CHECK(ftruncate(file_.fd(), static_cast<off_t>(text_.size())) == 0);
        previousStart_ = start;
    }
    const char* data() const { return text_.data(); }
    size_t size() const { return text_.size(); }
    const char* path() const { return file_.path(); }

private:
    // Writes the text from byte `from` on into the file.
    void write(size_t from) {
        for (size_t done = from; done < text_.size();) {
            ssize_t n = pwrite(file_.fd(), text_.data() + done, text_.size() - done,
                               static_cast<off_t>(done));
            FUZZ_CHECK(n > 0);
            done += static_cast<size_t>(n);
        }
    }

    fuzz::MemoryFile file_;
    std::string text_;
    size_t previousStart_ = kRefill;
};

void checkSameOutcome(const zel::Status& s1, const ZelModel* m1, const zel::Status& s2,
                      const ZelModel* m2) {
    FUZZ_CHECK(s1.ok == s2.ok);
    FUZZ_CHECK(s1.message == s2.message);
    if (s1.ok) checkSameModel(m1, m2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemoryFile file;
    const fuzz::ObjInput input = fuzz::splitObjMtl(data, size);
    const char* path = file.set(input.obj.data(), input.obj.size());

    fuzz::MtlServer server{&input};
    ZelModel* model = reinterpret_cast<ZelModel*>(1);
    zel::Status status =
        zel::readOBJMemory(path, input.obj.data(), input.obj.size(), server.provider(), &model);
    if (status.ok) {
        fuzz::checkModel(model);
    } else {
        fuzz::checkFailureLine(status);
        FUZZ_CHECK(model == nullptr);
    }

    if (server.requests == 0) {
        ZelModel* fromFile = nullptr;
        zel::Status fileStatus = zel::readOBJFile(path, &fromFile);
        checkSameOutcome(status, model, fileStatus, fromFile);
        if (fromFile) zelFreeModel(fromFile);

        static PaddedText padded;
        padded.set(input.obj, boundaryIn(data, size, input.obj.size()));
        const char* paddedPath = padded.path();
        ZelModel* fromMemory = nullptr;
        zel::Status memoryStatus = zel::readOBJMemory(paddedPath, padded.data(), padded.size(),
                                                      server.provider(), &fromMemory);
        FUZZ_CHECK(server.requests == 0);
        fromFile = nullptr;
        fileStatus = zel::readOBJFile(paddedPath, &fromFile);
        checkSameOutcome(memoryStatus, fromMemory, fileStatus, fromFile);
        // A comment line ahead changes nothing but line numbers.
        FUZZ_CHECK(memoryStatus.ok == status.ok);
        if (status.ok) checkSameModel(model, fromMemory);
        if (fromMemory) zelFreeModel(fromMemory);
        if (fromFile) zelFreeModel(fromFile);
    }
    if (model) zelFreeModel(model);
    return 0;
}
