// Meshes: every corner reached through the groups becomes an index into interleaved vertices, one
// vertex per distinct set of attribute bits, and each group's triangles are ordered for the vertex
// cache.
//
// The plain way to find the distinct corners, meshoptimizer's remap over every corner's vertex,
// hashes and compares a whole vertex per corner. Here that happens once per distinct index triple:
//  1. Corners are told apart by their index triple (vertex, normal or facet, texture coordinate).
//     Each model vertex heads a short chain of the triples seen with it; corners of neighbouring
//     triangles name neighbouring vertices, so the chains stay in cache. A vertex with more than
//     kChainLimit triples (the hub of a large fan in flat mode) keeps the others in a hash table,
//     so that no corner walks far.
//  2. Each distinct triple is written out as a vertex, and the vertices are merged by their bits
//     through a hash table: different indices may hold equal values (a file that repeats a vertex
//     line, normals copied per corner). The table is sized once for every triple, its slots carry
//     a fingerprint of the hash beside the vertex, and they are fetched a few vertices ahead.
// Both tables are the library's one (hash_table.h); neither decides a number: triples and kept
// vertices are numbered as they are first met, whatever the table's layout.
// Vertices are numbered in the order of their first corner, so a group's vertices lie close
// together. Each group's triangles are ordered with meshoptimizer's FIFO vertex cache optimiser in
// runs of at most runTriangles, each run's vertices renumbered from 0 so that the optimiser's
// tables stay small.
//
// The runs are ordered on the triples' numbers, before the merge (which only ever joins vertices,
// so a cache can only hit more often), so that helper threads can order each run as soon as step 1
// has numbered its corners. Before that, they touch the memory step 2 will write: a fresh page
// costs the kernel about as much time as the work done on it. The result does not depend on the
// number of threads.
#include "mesh.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hash_table.h"
#include "zel_internal.h"

namespace zel {
namespace {

constexpr uint32_t kNone = UINT32_MAX;
constexpr uint32_t kChainLimit = 16;
constexpr uint32_t kDefaultRun = 1u << 17;
// Models with fewer triangles are made on the calling thread alone, unless told otherwise.
constexpr uint64_t kOneThreadBelow = 1u << 16;
// How often step 1 tells the helpers how far it got, in corners.
constexpr size_t kPublishEvery = 3u << 14;
// The most triangle entries whose three indices each are counted in 32 bits.
constexpr uint64_t kMostEntries = UINT32_MAX / 3;

// ---- Step 1: distinct index triples -------------------------------------------------------------

// A distinct index triple: the normal (or facet) and texture-coordinate index, the vertex, and the
// next triple of the same vertex.
struct Triple {
    uint32_t normal;
    uint32_t texcoord;
    uint32_t vertex;
    uint32_t next;
};

uint64_t tripleHash(uint32_t vertex, uint32_t normal, uint32_t texcoord) {
    return hashWords(uint64_t{normal} << 32 | vertex, texcoord);
}

// The overflow table's slots: triple ids, hashed through the triples they name.
struct TripleSlots {
    using Slot = uint32_t;
    static uint32_t empty() { return kNone; }
    static bool isEmpty(uint32_t id) { return id == kNone; }
    uint64_t hashOf(uint32_t id) const {
        const Triple& t = (*triples)[id];
        return tripleHash(t.vertex, t.normal, t.texcoord);
    }
    const std::vector<Triple>* triples;
};

// The distinct index triples, numbered from 0 in the order they are first seen.
class TripleSet {
public:
    TripleSet(uint32_t vertexcount, size_t expected)
        : head_(size_t{vertexcount} + 1, kNone), overflow_(TripleSlots{&triples_}) {
        triples_.reserve(expected);
    }
    TripleSet(const TripleSet&) = delete;
    TripleSet& operator=(const TripleSet&) = delete;

    uint32_t idOf(uint32_t vertex, uint32_t normal, uint32_t texcoord) {
        uint32_t length = 0;
        for (uint32_t id = head_[vertex]; id != kNone; id = triples_[id].next, length++) {
            const Triple& triple = triples_[id];
            if (triple.normal == normal && triple.texcoord == texcoord) return id;
        }
        if (length < kChainLimit) {
            const uint32_t id = add(vertex, normal, texcoord, head_[vertex]);
            head_[vertex] = id;
            return id;
        }
        return overflow(vertex, normal, texcoord);
    }

    uint32_t size() const { return static_cast<uint32_t>(triples_.size()); }
    const Triple* triples() const { return triples_.data(); }

private:
    uint32_t add(uint32_t vertex, uint32_t normal, uint32_t texcoord, uint32_t next) {
        triples_.push_back({normal, texcoord, vertex, next});
        return static_cast<uint32_t>(triples_.size() - 1);
    }

    // The triples of the vertices whose chain is full. The table starts at 1024 slots, as a hub
    // that reaches it usually has many more triples to come.
    uint32_t overflow(uint32_t vertex, uint32_t normal, uint32_t texcoord) {
        if (overflow_.capacity() == 0) overflow_.reserve(512);
        auto found = overflow_.insert(tripleHash(vertex, normal, texcoord), [&](uint32_t id) {
            const Triple& t = triples_[id];
            return t.vertex == vertex && t.normal == normal && t.texcoord == texcoord;
        });
        if (found.second) *found.first = add(vertex, normal, texcoord, kNone);
        return *found.first;
    }

    std::vector<uint32_t> head_;
    std::vector<Triple> triples_;
    HashTable<TripleSlots> overflow_;
};

// ---- Step 2: vertices merged by their bits ------------------------------------------------------

// A slot of the merge table: a kept vertex and a fingerprint of its hash, so that vertices are
// compared only when their fingerprints agree.
struct MergeSlot {
    uint32_t fingerprint;
    uint32_t vertex;  // kNone: empty
};

inline uint64_t vertexHash(const float* vertex, uint32_t stride) {
    return hashBytes(vertex, stride * sizeof(float));
}

// The merge table's slots: kept vertices, hashed through their bits.
struct MergeSlots {
    using Slot = MergeSlot;
    static MergeSlot empty() { return MergeSlot{0, kNone}; }
    static bool isEmpty(const MergeSlot& slot) { return slot.vertex == kNone; }
    uint64_t hashOf(const MergeSlot& slot) const {
        return vertexHash(vertices + size_t{stride} * slot.vertex, stride);
    }
    const float* vertices;
    uint32_t stride;
};
// Sized once for every triple, it holds the kept vertices alone, so it may fill up to 3/4.
using MergeTable = HashTable<MergeSlots, 3, 4>;

// Where step 2 writes: the vertex array and the merge table, made for `capacity` triples (so
// that the table never grows while it is filled).
struct MergeSpace {
    size_t capacity = 0;
    uint32_t stride = 0;
    float* vertices = nullptr;  // becomes the mesh's
    MergeTable table{MergeSlots{nullptr, 0}};

    ~MergeSpace() { std::free(vertices); }

    void make(size_t triples, uint32_t floatsPerVertex) {
        std::free(vertices);
        vertices = nullptr;
        table = MergeTable(MergeSlots{nullptr, 0});
        vertices = static_cast<float*>(
            allocate(std::max<size_t>(triples * floatsPerVertex, 1) * sizeof(float)));
        capacity = triples;
        stride = floatsPerVertex;
        // Touching every page now is the point when a helper thread does this.
        for (size_t i = 0; i < triples * stride; i += 1024) vertices[i] = 0.0f;
        table = MergeTable(MergeSlots{vertices, stride});
        table.reserve(triples);
    }
};

// Writes the vertex of every triple, laid out as `mesh` says, merges vertices with equal bits
// (numbering the survivors in order and moving them together), and returns the number kept. When
// vertices were merged, *renumber receives each triple's vertex. The table's slots are fetched
// ahead of use: it is far larger than the processor's caches.
template <uint32_t kStride>
uint32_t mergeVertices(const ZelModel* model, const TripleSet& set, const ZelMesh& mesh,
                       float* vertices, MergeTable& table, std::vector<uint32_t>* renumber) {
    ZEL_ASSERT(mesh.stride == kStride);
    const uint32_t count = set.size();
    const Triple* triples = set.triples();
    const bool normal = mesh.normaloffset, texture = mesh.texcoordoffset, color = mesh.coloroffset;
    const float* normals = (mesh.mode & ZEL_FLAT) ? model->facetnorms : model->normals;
    const uint32_t normalAt = mesh.normaloffset, texcoordAt = mesh.texcoordoffset,
                   colorAt = mesh.coloroffset;
    for (uint32_t id = 0; id < count; id++) {
        const Triple& t = triples[id];
        float* out = vertices + size_t{kStride} * id;
        std::memcpy(out, model->vertices + 3 * size_t{t.vertex}, 3 * sizeof(float));
        if (normal) std::memcpy(out + normalAt, normals + 3 * size_t{t.normal}, 3 * sizeof(float));
        if (texture)
            std::memcpy(out + texcoordAt, model->texcoords + 2 * size_t{t.texcoord},
                        2 * sizeof(float));
        if (color)
            std::memcpy(out + colorAt, model->colors + 3 * size_t{t.vertex}, 3 * sizeof(float));
    }

    auto hashOf = [vertices](uint32_t id) {
        return vertexHash(vertices + size_t{kStride} * id, kStride);
    };

    constexpr uint32_t kAhead = 16;
    uint64_t ahead[kAhead];
    for (uint32_t id = 0; id < std::min(count, kAhead); id++) ahead[id] = hashOf(id);
    uint32_t kept = 0;
    for (uint32_t id = 0; id < count; id++) {
        const uint64_t h = ahead[id % kAhead];
        if (id + kAhead < count) {
            const uint64_t later = hashOf(id + kAhead);
            ahead[id % kAhead] = later;
            table.prefetch(later);
        }
        const float* vertex = vertices + size_t{kStride} * id;
        // The slot comes from the hash's low bits, so the fingerprint takes its high ones.
        const uint32_t fingerprint = static_cast<uint32_t>(h >> 32);
        auto found = table.insert(h, [&](const MergeSlot& slot) {
            return slot.fingerprint == fingerprint &&
                   std::memcmp(vertices + size_t{kStride} * slot.vertex, vertex,
                               kStride * sizeof(float)) == 0;
        });
        uint32_t same;
        if (found.second) {
            *found.first = MergeSlot{fingerprint, kept};
            if (kept != id)
                std::memmove(vertices + size_t{kStride} * kept, vertex, kStride * sizeof(float));
            same = kept++;
        } else {
            same = found.first->vertex;
        }
        if (renumber->empty() && same != id) {
            renumber->resize(count);
            for (uint32_t i = 0; i < id; i++) (*renumber)[i] = i;
        }
        if (!renumber->empty()) (*renumber)[id] = same;
    }
    return kept;
}

using MergeVertices = uint32_t (*)(const ZelModel*, const TripleSet&, const ZelMesh&, float*,
                                   MergeTable&, std::vector<uint32_t>*);

MergeVertices mergeVerticesFor(uint32_t stride) {
    switch (stride) {
        case 3:
            return mergeVertices<3>;
        case 5:
            return mergeVertices<5>;
        case 6:
            return mergeVertices<6>;
        case 8:
            return mergeVertices<8>;
        case 9:
            return mergeVertices<9>;
        default:
            return mergeVertices<11>;
    }
}

// ---- Step 3: the vertex cache order, shared with the helpers ------------------------------------

// Consecutive triangles of one group, ordered as one piece.
struct Run {
    size_t first;  // its first corner
    size_t count;  // its corners
};

// The work the calling thread shares with the helper threads: the merge space, made by a helper
// while step 1 runs (or by the caller when there is none), and the runs, each ordered once step 1
// has numbered its corners.
class SharedWork {
public:
    SharedWork(uint32_t* indices, std::vector<Run> runs, size_t expectedTriples, uint32_t stride)
        : indices_(indices), runs_(std::move(runs)), expected_(expectedTriples), stride_(stride) {}

    // The caller, during step 1.
    void numbered(size_t corners) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            numbered_ = corners;
        }
        changed_.notify_all();
    }

    // The caller, before step 2: the space for `triples`, made by the first helper unless the
    // caller comes first.
    MergeSpace& space(size_t triples) {
        if (claimed_.exchange(true)) {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return spaceMade_; });
        }
        if (triples > space_.capacity || !space_.vertices) space_.make(triples, stride_);
        return space_;
    }

    // A helper thread: the merge space (the first one), then runs as they become ready. Out of
    // memory here leaves the space to the caller, or fails the mesh.
    void help() {
        if (!claimed_.exchange(true)) {
            try {
                space_.make(expected_, stride_);
            } catch (const std::bad_alloc&) {
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                spaceMade_ = true;
            }
            changed_.notify_all();
        }
        try {
            orderRuns(true);
        } catch (const std::bad_alloc&) {
            failed_ = true;
        }
    }

    // Orders runs not taken yet; a helper waits for each run's corners to be numbered.
    void orderRuns(bool wait) {
        std::vector<uint32_t> scratch, local, global;
        for (size_t r; !abandoned_ && (r = next_.fetch_add(1)) < runs_.size();) {
            const Run& run = runs_[r];
            if (wait) {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock,
                              [&] { return numbered_ >= run.first + run.count || abandoned_; });
                if (abandoned_) return;
            }
            order(run, scratch, local, global);
        }
    }

    // The caller, when the mesh cannot be made: the helpers stop waiting and leave.
    void abandon() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            abandoned_ = true;
        }
        changed_.notify_all();
    }

    // Whether a helper ran out of memory (its run is then not ordered).
    bool failed() const { return failed_; }

private:
    // Renumbers the run's vertices from 0 (by subtracting the lowest when they lie close
    // together, as they mostly do, otherwise in order of appearance), orders, and numbers back.
    void order(const Run& run, std::vector<uint32_t>& scratch, std::vector<uint32_t>& local,
               std::vector<uint32_t>& global) {
        uint32_t* at = indices_ + run.first;
        uint32_t low = UINT32_MAX, high = 0;
        for (size_t i = 0; i < run.count; i++) {
            low = std::min(low, at[i]);
            high = std::max(high, at[i]);
        }
        const uint32_t base = low;
        scratch.resize(run.count);
        size_t vertices = size_t{high} - base + 1;
        const bool close = vertices <= run.count;
        if (close) {
            for (size_t i = 0; i < run.count; i++) scratch[i] = at[i] - base;
        } else {
            if (local.size() <= high) local.resize(size_t{high} + 1, kNone);
            global.clear();
            for (size_t i = 0; i < run.count; i++) {
                uint32_t& l = local[at[i]];
                if (l == kNone) {
                    l = static_cast<uint32_t>(global.size());
                    global.push_back(at[i]);
                }
                scratch[i] = l;
            }
            vertices = global.size();
        }
        meshopt_optimizeVertexCacheFifo(at, scratch.data(), run.count, vertices,
                                        ZEL_MESH_CACHE_SIZE);
        if (close) {
            for (size_t i = 0; i < run.count; i++) at[i] += base;
        } else {
            for (size_t i = 0; i < run.count; i++) at[i] = global[at[i]];
            for (uint32_t g : global) local[g] = kNone;
        }
    }

    uint32_t* indices_;
    const std::vector<Run> runs_;
    const size_t expected_;
    const uint32_t stride_;
    MergeSpace space_;
    std::atomic<size_t> next_{0};
    std::atomic<bool> claimed_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t numbered_ = 0;
    bool spaceMade_ = false;
    std::atomic<bool> abandoned_{false};
    std::atomic<bool> failed_{false};
};

// Step 1 for one combination of attributes: writes every corner's triple number to `indices`,
// telling `work` how far it got now and then.
template <bool kFlat, bool kSmooth, bool kTexture>
void numberCorners(const ZelModel* model, TripleSet& set, uint32_t* indices, SharedWork& work) {
    size_t at = 0, publish = kPublishEvery;
    for (const ZelGroup* group = model->groups; group; group = group->next) {
        ZEL_REQUIRE(group->trianglecount == 0 || group->triangleidx);
        for (uint32_t e = 0; e < group->trianglecount; e++) {
            const uint32_t index = group->triangleidx[e];
            ZEL_REQUIRE(index < model->trianglecount);
            const ZelTriangle& tri = model->triangles[index];
            if (kFlat) ZEL_REQUIRE(tri.facetidx <= model->facetnormcount);
            for (int k = 0; k < 3; k++) {
                ZEL_REQUIRE(tri.vertexidx[k] <= model->vertexcount);
                if (kSmooth) ZEL_REQUIRE(tri.normalidx[k] <= model->normalcount);
                if (kTexture) ZEL_REQUIRE(tri.texcoordidx[k] <= model->texcoordcount);
                const uint32_t normal = kFlat ? tri.facetidx : kSmooth ? tri.normalidx[k] : 0;
                indices[at++] =
                    set.idOf(tri.vertexidx[k], normal, kTexture ? tri.texcoordidx[k] : 0);
            }
            if (at >= publish) {
                work.numbered(at);
                publish = at + kPublishEvery;
            }
        }
    }
    work.numbered(at);
}

using NumberCorners = void (*)(const ZelModel*, TripleSet&, uint32_t*, SharedWork&);

NumberCorners numberCornersFor(uint32_t mode) {
    const bool texture = mode & ZEL_TEXTURE;
    if (mode & ZEL_FLAT)
        return texture ? numberCorners<true, false, true> : numberCorners<true, false, false>;
    if (mode & ZEL_SMOOTH)
        return texture ? numberCorners<false, true, true> : numberCorners<false, true, false>;
    return texture ? numberCorners<false, false, true> : numberCorners<false, false, false>;
}

// The groups' index ranges and names, and the runs they are ordered in.
std::vector<Run> makeGroups(const ZelModel* model, ZelMesh* mesh, uint32_t runTriangles) {
    std::vector<Run> runs;
    size_t first = 0;
    ZelMeshGroup* out = mesh->groups;
    for (const ZelGroup* group = model->groups; group; group = group->next, out++) {
        out->name = copyString(group->name);
        out->first = static_cast<uint32_t>(first);
        out->count = 3 * group->trianglecount;
        out->material = group->material;
        for (size_t at = 0; at < group->trianglecount; at += runTriangles) {
            const size_t triangles = std::min<size_t>(runTriangles, group->trianglecount - at);
            if (triangles > 1) runs.push_back({first + 3 * at, 3 * triangles});
        }
        first += out->count;
    }
    return runs;
}

// What zelMakeMesh takes as a precondition failure of `model` under `mode` (the mode after its
// checks), as a failure; success when the mesh may be made.
Status checkModel(const ZelModel* model, uint32_t mode) {
    for (const ZelGroup* group = model->groups; group; group = group->next) {
        auto problem = [group](const std::string& what) {
            return failure(Stream::Err, "zelMakeMesh() failed: group \"%s\": %s.\n", group->name,
                           what.c_str());
        };
        if (model->materials && group->material >= model->materialcount)
            return problem("material " + std::to_string(group->material) + " is not one of the " +
                           std::to_string(model->materialcount) + " materials");
        if (group->trianglecount && !group->triangleidx) return problem("no triangle list");
        for (uint32_t e = 0; e < group->trianglecount; e++) {
            const uint32_t index = group->triangleidx[e];
            if (index >= model->trianglecount)
                return problem("triangle " + std::to_string(index) + " is not one of the " +
                               std::to_string(model->trianglecount) + " triangles");
            const ZelTriangle& t = model->triangles[index];
            bool bad = (mode & ZEL_FLAT) && t.facetidx > model->facetnormcount;
            for (int k = 0; k < 3; k++)
                bad = bad || t.vertexidx[k] > model->vertexcount ||
                      ((mode & ZEL_SMOOTH) && t.normalidx[k] > model->normalcount) ||
                      ((mode & ZEL_TEXTURE) && t.texcoordidx[k] > model->texcoordcount);
            if (bad)
                return problem("triangle " + std::to_string(index) +
                               " has an index beyond its array");
        }
        const uint32_t lineCorners = group->linecount ? group->linestart[group->linecount] : 0;
        for (uint32_t i = 0; i < lineCorners; i++)
            if (group->linecorners[i].vertexidx > model->vertexcount ||
                ((mode & ZEL_TEXTURE) && group->linecorners[i].texcoordidx > model->texcoordcount))
                return problem("a line has an index beyond its array");
        for (uint32_t i = 0; i < group->pointcount; i++)
            if (group->pointidx[i] > model->vertexcount)
                return problem("a point has an index beyond the vertices");
    }
    return Status{};
}

// Adds the vertices and index ranges of the model's lines and points to a mesh made of its
// triangles, sharing vertices whose bits are equal.
void addShapes(const ZelModel* model, ZelMesh* mesh) {
    uint64_t lineEntries = 0, pointEntries = 0;
    for (const ZelGroup* group = model->groups; group; group = group->next) {
        for (uint32_t k = 0; k < group->linecount; k++) {
            const uint32_t corners = group->linestart[k + 1] - group->linestart[k];
            if (corners > 1) lineEntries += 2 * uint64_t{corners - 1};
        }
        pointEntries += group->pointcount;
    }
    if (lineEntries == 0 && pointEntries == 0) return;
    if (lineEntries > UINT32_MAX || pointEntries > UINT32_MAX) throw std::bad_alloc();
    const uint32_t stride = mesh->stride;
    std::vector<float> vertices(mesh->vertices,
                                mesh->vertices + size_t{mesh->vertexcount} * stride);
    HashMap<std::string, uint32_t> numbers;
    auto key = [stride](const float* vertex) {
        return std::string(reinterpret_cast<const char*>(vertex), stride * sizeof(float));
    };
    for (uint32_t i = 0; i < mesh->vertexcount; i++)
        numbers.emplace(key(&vertices[size_t{i} * stride]), i);
    std::vector<float> vertex(stride);
    auto number = [&](uint32_t v, uint32_t t) {
        ZEL_REQUIRE(v <= model->vertexcount);
        std::fill(vertex.begin(), vertex.end(), 0.0f);
        std::copy_n(model->vertices + 3 * size_t{v}, 3, vertex.begin());
        if (mesh->texcoordoffset) {
            ZEL_REQUIRE(t <= model->texcoordcount);
            std::copy_n(model->texcoords + 2 * size_t{t}, 2, vertex.begin() + mesh->texcoordoffset);
        }
        if (mesh->coloroffset)
            std::copy_n(model->colors + 3 * size_t{v}, 3, vertex.begin() + mesh->coloroffset);
        auto found = numbers.try_emplace(key(vertex.data()));
        if (found.second) {
            found.first->second = static_cast<uint32_t>(vertices.size() / stride);
            vertices.insert(vertices.end(), vertex.begin(), vertex.end());
        }
        return found.first->second;
    };
    mesh->lineindices = static_cast<uint32_t*>(allocate(std::max<uint64_t>(lineEntries, 1) * 4));
    mesh->pointindices = static_cast<uint32_t*>(allocate(std::max<uint64_t>(pointEntries, 1) * 4));
    uint32_t lines = 0, points = 0, g = 0;
    for (const ZelGroup* group = model->groups; group; group = group->next, g++) {
        ZelMeshGroup& out = mesh->groups[g];
        out.linefirst = lines;
        for (uint32_t k = 0; k < group->linecount; k++)
            for (uint32_t i = group->linestart[k] + 1; i < group->linestart[k + 1]; i++) {
                const ZelCorner* c = &group->linecorners[i - 1];
                mesh->lineindices[lines++] = number(c[0].vertexidx, c[0].texcoordidx);
                mesh->lineindices[lines++] = number(c[1].vertexidx, c[1].texcoordidx);
            }
        out.linecount = lines - out.linefirst;
        out.pointfirst = points;
        for (uint32_t i = 0; i < group->pointcount; i++)
            mesh->pointindices[points++] = number(group->pointidx[i], 0);
        out.pointcount = points - out.pointfirst;
    }
    mesh->lineindexcount = lines;
    mesh->pointindexcount = points;
    if (vertices.size() / stride > UINT32_MAX) throw std::bad_alloc();
    float* grown = static_cast<float*>(allocate(vertices.size() * sizeof(float)));
    std::copy(vertices.begin(), vertices.end(), grown);
    std::free(mesh->vertices);
    mesh->vertices = grown;
    mesh->vertexcount = static_cast<uint32_t>(vertices.size() / stride);
}

// Where each attribute starts within a vertex of `mode`, and the floats a vertex takes: the one
// place the layout is worked out.
void setLayout(ZelMesh* mesh, uint32_t mode) {
    uint32_t at = 3;
    if (mode & (ZEL_FLAT | ZEL_SMOOTH)) {
        mesh->normaloffset = at;
        at += 3;
    }
    if (mode & ZEL_TEXTURE) {
        mesh->texcoordoffset = at;
        at += 2;
    }
    if (mode & ZEL_VERTEXCOLOR) {
        mesh->coloroffset = at;
        at += 3;
    }
    mesh->stride = at;
}

// buildMesh, with out of memory raised.
Status buildMeshOrThrow(const ZelModel* model, uint32_t mode, const MeshOptions& options,
                        ZelMesh** out) {
    ZEL_REQUIRE(model);
    ZEL_REQUIRE(model->vertices);
    mode = zelCheckMode(mode, zelModelHolds(model), ZEL_USE_DRAW, "zelMakeMesh", options.warning,
                        options.user) &
           ZEL_MESH_ATTRIBUTES;
    if (options.validate) {
        Status status = checkModel(model, mode);
        if (!status.ok) return status;
    }

    uint64_t entries = 0;
    uint32_t groupcount = 0;
    for (const ZelGroup* group = model->groups; group; group = group->next) {
        entries += group->trianglecount;
        groupcount++;
        if (model->materials) ZEL_REQUIRE(group->material < model->materialcount);
    }
    if (entries > kMostEntries)
        return failure(Stream::Err,
                       "zelMakeMesh() failed: %llu triangles are more than 32-bit indices can "
                       "count.\n",
                       static_cast<unsigned long long>(entries));
    const size_t indexcount = 3 * entries;

    std::unique_ptr<ZelMesh, void (*)(ZelMesh*)> mesh(
        static_cast<ZelMesh*>(allocateZeroed(1, sizeof(ZelMesh))), zelFreeMesh);
    mesh->mode = mode;
    setLayout(mesh.get(), mode);
    mesh->indices = static_cast<uint32_t*>(allocate(std::max<size_t>(indexcount, 1) * 4));
    mesh->indexcount = static_cast<uint32_t>(indexcount);
    mesh->groups = static_cast<ZelMeshGroup*>(
        allocateZeroed(std::max<uint32_t>(groupcount, 1), sizeof(ZelMeshGroup)));
    mesh->groupcount = groupcount;
    // In flat mode nearly every corner is a triple of its own; otherwise most models have about
    // one per vertex.
    const size_t vertexcount = model->vertexcount;
    const size_t expected =
        (mode & ZEL_FLAT) ? indexcount : std::min(indexcount, vertexcount + vertexcount / 8 + 1);
    SharedWork work(
        mesh->indices,
        makeGroups(model, mesh.get(), options.runTriangles ? options.runTriangles : kDefaultRun),
        expected, mesh->stride);

    const uint32_t threads = options.threads             ? options.threads
                             : entries < kOneThreadBelow ? 1
                                                         : usableProcessors();
    {
        HelperThreads helpers(threads, [&work](uint32_t) { work.help(); });
        try {
            TripleSet set(model->vertexcount, std::min(indexcount, 2 * expected));
            numberCornersFor(mode)(model, set, mesh->indices, work);
            MergeSpace& space = work.space(set.size());
            std::vector<uint32_t> renumber;
            const uint32_t kept = mergeVerticesFor(mesh->stride)(model, set, *mesh, space.vertices,
                                                                 space.table, &renumber);
            // Shrinking cannot fail in practice; if it does, the larger block serves.
            void* vertices = std::realloc(
                space.vertices, std::max<size_t>(size_t{kept} * mesh->stride, 1) * sizeof(float));
            mesh->vertices = static_cast<float*>(vertices ? vertices : space.vertices);
            mesh->vertexcount = kept;
            space.vertices = nullptr;
            work.orderRuns(false);
            helpers.join();
            if (!renumber.empty())
                for (size_t i = 0; i < indexcount; i++)
                    mesh->indices[i] = renumber[mesh->indices[i]];
        } catch (...) {
            work.abandon();
            throw;
        }
    }
    if (work.failed()) throw std::bad_alloc();
    addShapes(model, mesh.get());

    if (model->materials) {
        mesh->materials = copyMaterials(model->materials, model->materialcount);
        mesh->materialcount = model->materialcount;
    }
    *out = mesh.release();
    return Status{};
}

}  // namespace

Status buildMesh(const ZelModel* model, uint32_t mode, const MeshOptions& options, ZelMesh** out) {
    *out = nullptr;
    try {
        return buildMeshOrThrow(model, mode, options, out);
    } catch (const std::bad_alloc&) {
        Status status;
        status.ok = false;
        status.outOfMemory = true;
        try {
            status.message = "zelMakeMesh() failed: out of memory.\n";
        } catch (const std::bad_alloc&) {
        }
        return status;
    }
}

ZelMesh* makeMesh(const ZelModel* model, uint32_t mode, const MeshOptions& options) {
    ZelMesh* mesh = nullptr;
    const Status status = buildMesh(model, mode, options, &mesh);
    if (!status.ok) {
        std::fflush(stdout);
        std::fputs(status.message.empty() ? "zelMakeMesh() failed: out of memory.\n"
                                          : status.message.c_str(),
                   stderr);
    }
    return mesh;
}

}  // namespace zel

ZelMesh* zelMakeMesh(const ZelModel* model, uint32_t mode) {
    return zel::makeMesh(model, mode, zel::MeshOptions{});
}

ZelMesh* zelBuildMesh(const ZelModel* model, uint32_t mode, const ZelMeshOptions* options,
                      ZelError* error) {
    const ZelMeshOptions given = options ? *options : ZelMeshOptions{};
    zel::MeshOptions open;
    open.threads = given.threads;
    open.runTriangles = given.keeporder ? 1 : 0;
    open.warning = given.warning;
    open.user = given.user;
    if (!given.warning && given.quiet) open.warning = [](void*, const char*) {};
    open.validate = true;
    ZelMesh* mesh = nullptr;
    const zel::Status status = zel::buildMesh(model, mode, open, &mesh);
    if (!status.ok) zel::fillError(status, error);
    return mesh;
}

void zelFreeMesh(ZelMesh* mesh) {
    if (!mesh) return;
    std::free(mesh->vertices);
    std::free(mesh->indices);
    std::free(mesh->lineindices);
    std::free(mesh->pointindices);
    for (uint32_t i = 0; mesh->groups && i < mesh->groupcount; i++) std::free(mesh->groups[i].name);
    std::free(mesh->groups);
    zel::freeMaterials(mesh->materials, mesh->materialcount);
    std::free(mesh);
}
