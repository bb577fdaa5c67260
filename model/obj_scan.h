// The OBJ reader's two scans over one byte range of the input, each started from a given state, and
// what they report. obj_ranges.cpp runs them over many ranges at once and puts the reports together
// in file order; read over one range that holds the whole input, they are the one-thread reader,
// where the filling scan, growing the arrays as it goes, is tried alone first.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "hash_table.h"
#include "scanner.h"
#include "zel_internal.h"

namespace zel {

// What a range holds of the shapes kept beside the triangles, for one group: faces as written
// (counted only under ZEL_LOAD_POLYGONS), "l" lines and "p" points.
struct ShapeCounts {
    uint64_t polygons = 0, polygonCorners = 0, lines = 0, lineCorners = 0, points = 0;
    bool any() const { return polygons || lines || points; }
    ShapeCounts& operator+=(const ShapeCounts& o) {
        polygons += o.polygons;
        polygonCorners += o.polygonCorners;
        lines += o.lines;
        lineCorners += o.lineCorners;
        points += o.points;
        return *this;
    }
};

// What the counting scan found in a range. Nothing in it depends on what came before the range:
// counts are the range's own, and the group current where it began is entry 0 of `groups`.
struct CountReport {
    uint64_t first = 0;  // offset of the first keyword it read, or where the input ends
    uint64_t next = 0;   // offset of the keyword it stopped before, or where the input ends
    uint64_t vertices = 0, normals = 0, texcoords = 0, triangles = 0;
    // The groups made current, in order of first appearance after entry 0, with the triangles
    // counted into each.
    std::vector<std::pair<std::string, uint64_t>> groups;
    uint32_t current = 0;             // the entry of `groups` current at its end
    std::vector<ShapeCounts> shapes;  // by entry of `groups`, when the range holds any
    bool smoothing = false;           // an "s" statement
    struct Library {
        std::string name;
        uint64_t offset;     // of the "mtllib" keyword
        bool whole = false;  // the rest of a whole-keyword line: maybe several names
    };
    std::vector<Library> libraries;  // in file order
    bool colors = false;             // a "v" line of the range gives a colour
    struct Unknown {
        std::string keyword;
        uint64_t offset;  // of its first line in the range
    };
    std::vector<Unknown> unknown;  // keywords skipped under ZEL_LOAD_UNKNOWN_KEYWORDS, in order
    Status failure;                // when not ok, the range ended there
    bool ioError = false;
};

// Scans from `start` up to the first keyword at or after `stop` (or the end of the input). Reads
// `input` through `buffer`, or in place when `buffer` is null (memory only). `flags` are the
// ZEL_LOAD_* flags.
void countRange(const Input& input, std::vector<char>* buffer, uint32_t flags, uint64_t start,
                uint64_t stop, CountReport* out);

// The model as the filling scan sees it once the counting scan is done: arrays allocated, groups
// numbered in order of creation. Read-only while ranges are filled.
struct ModelIndex {
    ZelModel* model = nullptr;
    HashMap<std::string, uint32_t> groupIds;
    std::vector<ZelGroup*> groups;             // by id
    std::vector<uint32_t> capacity;            // triangles counted for each group
    HashMap<std::string, uint32_t> materials;  // name -> lowest index
    // Under ZEL_LOAD_CONCAVE_POLYGONS, for each triangle: kFaceToCut or kFaceSettled for the first
    // of a face, 0 for the others, so that the faces the filling scan could not settle are cut once
    // every position is stored.
    uint8_t* faceStarts = nullptr;
    // Shapes are stored only by a filling scan over the whole input (the one-thread reading),
    // into the groups' arrays sized by the counts.
    bool shapes = false;

    // The id of the group of that name, made (empty, last) when there is none.
    uint32_t add(const std::string& name) {
        auto found = groupIds.find(name);
        if (found) return found->second;
        uint32_t id = static_cast<uint32_t>(groups.size());
        groups.push_back(newGroup(model, name.c_str()));
        groupIds.emplace(name, id);
        capacity.push_back(0);
        return id;
    }
};

// `array` (or null) grown to hold `bytes`, moved when it must be; large ones are backed by huge
// pages where the system offers them.
void* growArray(void* array, size_t bytes);

constexpr uint8_t kFaceToCut = 1;    // a face to cut afterwards
constexpr uint8_t kFaceSettled = 2;  // a face the filling scan settled (it is its fan)

constexpr uint32_t kNoGroup = UINT32_MAX;    // a group the counting scan never made: holds nothing
constexpr uint32_t kInherited = UINT32_MAX;  // the material current where a range began

constexpr uint32_t kInheritedSmoothing = UINT32_MAX;  // the smoothing group where a range began

// The filling scan's state between statements.
struct FillState {
    uint32_t vertex = 1, normal = 1, texcoord = 1;  // next slots
    uint32_t triangle = 0;                          // next triangle
    uint32_t group = 0;                             // id of the current group, or kNoGroup
    bool operator==(const FillState& o) const {
        return vertex == o.vertex && normal == o.normal && texcoord == o.texcoord &&
               triangle == o.triangle && group == o.group;
    }
};

// The positions of a group's triangle list that a range may fill: from `next` up to `limit`.
struct GroupSlots {
    uint32_t next = 0, limit = 0;
};

// A filling scan over the whole input with no counting scan before it: the model's arrays grow
// as it stores, new groups join the index, and the statements that only the counting scan reads
// come here. It gives up (the range ends as an overflow, and the input is read again by both
// scans) wherever what it stored could differ from what the counts would have made: a reference
// to an element not read yet, an index into an array that appears only later, more than
// `maxBytes` of arrays, a failure or a shape to keep.
struct Growth {
    ModelIndex* index = nullptr;  // the index the scan reads, which it extends
    uint64_t maxBytes = 0;        // 0: no limit
    // The elements and triangles the arrays start with, guessed from the input's size so that
    // they seldom grow (pages never written take no memory).
    uint64_t firstCapacity = 1024;
    uint64_t bytes = 0;  // of the arrays as large as they have grown
    // A texture or normal index was kept as written while the file had no such array yet.
    bool uncheckedTexture = false, uncheckedNormal = false;
    // The names of the "usemtl" statements in order: the scan's materials are placeholders
    // (kPendingMaterial | position) resolved once every library is read.
    std::vector<std::string> materials;
    // An "mtllib" statement; false when its library failed the read.
    std::function<bool(const std::string& name, bool whole, uint64_t at)> library;
    // A keyword skipped under ZEL_LOAD_UNKNOWN_KEYWORDS, with the offset of its line.
    std::function<void(std::string keyword, uint64_t at)> unknown;
    bool faceStarts = false;  // faces are cut afterwards: the index's face starts are kept
};

constexpr uint32_t kPendingMaterial = 1u << 31;

// The slots a range may store into. Exact: everything up to the counts, each group's list from
// what `stored` holds up to its capacity, and a store beyond is dropped, as the one-thread reader
// drops what the counting scan made no room for. Guessed: the window that the counting scan
// assigns the range; a store outside it ends the range as an overflow. Growing: as far as the
// arrays are grown, and they grow when full (see Growth). Made by exact(), guessed() or
// growing(), which set `stored`, `groups` or `growth`, the one the kind of limits reads.
struct FillLimits {
    FillState end;  // the first slots beyond the window (`group` unused)
    bool guess = false;
    const HashMap<uint32_t, GroupSlots>* groups = nullptr;  // guessed windows
    const std::vector<uint32_t>* stored = nullptr;          // exact: stored so far
    Growth* growth = nullptr;                               // growing

    static FillLimits exact(const FillState& beyond, const std::vector<uint32_t>* storedSoFar) {
        FillLimits limits;
        limits.end = beyond;
        limits.stored = storedSoFar;
        return limits;
    }
    static FillLimits guessed(const FillState& beyond, decltype(groups) windows) {
        FillLimits limits;
        limits.end = beyond;
        limits.guess = true;
        limits.groups = windows;
        return limits;
    }
    static FillLimits growing(Growth* growth) {
        FillLimits limits;
        limits.end = FillState{0, 0, 0, 0, 0};  // nothing allocated yet
        limits.growth = growth;
        return limits;
    }
    // True when the limits hold what their kind reads, and nothing else.
    bool wellMade() const {
        return (guess ? 1 : 0) + (stored ? 1 : 0) + (growth ? 1 : 0) == 1 &&
               (guess == (groups != nullptr));
    }
};

// What the filling scan did in a range. Group materials and the not-found lines are left for the
// caller to apply and print in file order.
struct FillReport {
    uint64_t first = 0, next = 0;  // as in CountReport
    FillState end;
    std::vector<std::pair<uint32_t, uint32_t>> stored;     // group id, triangles stored into it
    std::vector<std::pair<uint32_t, uint32_t>> materials;  // group id, material (or kInherited)
    uint32_t material = kInherited;                        // current at its end
    std::vector<std::string> warnings;                     // not-found lines, in order
    // Smoothing groups: the triangle slot of its first "s" statement (or its end), up to which its
    // triangles hold kInheritedSmoothing, and the group current at its end (or that value).
    uint32_t firstSmoothing = 0;
    uint32_t smoothing = kInheritedSmoothing;
    std::vector<std::pair<uint32_t, ShapeCounts>> shapes;  // group id, shapes stored into it
    Status failure;
    bool ioError = false;
    bool overflow = false;
};

// Fills the model's arrays from `start` up to the first keyword at or after `stop`, from state
// `state`, within `limits`.
void fillRange(const Input& input, std::vector<char>* buffer, uint32_t flags,
               const ModelIndex& index, uint64_t start, uint64_t stop, const FillState& state,
               const FillLimits& limits, FillReport* out);

// The 1-based line that holds byte `offset` of the input.
uint32_t lineOf(const Input& input, uint64_t offset);
// The same for every offset of `offsets` (ascending), in one pass over the input.
std::vector<uint32_t> linesOf(const Input& input, const std::vector<uint64_t>& offsets);

// Reads a whole OBJ input, on as many threads as `options` allows (obj_ranges.cpp).
Status readOBJInput(const char* path, const Input& input, const ReadOptions& options,
                    ZelModel** out);

}  // namespace zel
