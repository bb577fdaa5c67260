// Vertex welding: every position goes to the lowest-numbered earlier welded position that lies
// within epsilon of it on every axis (strictly, on the float differences), or becomes a new welded
// position itself.
//
// The plain way scans all welded positions for every input position. Here the welded positions are
// kept in a hash grid, and only the cells that can hold a match are searched; the result is the
// same, for every input:
//
//  - A pair passes only if its real difference is below epsilon on each axis: epsilon is a float
//    and rounding is monotonic, so a real |u - v| >= epsilon rounds to a float >= epsilon. Passing
//    pairs therefore lie less than a third of a cell apart with cells 3 * epsilon wide.
//  - The cell coordinate q = x * (1 / (3 * epsilon)) is computed in double; while |q| < 2^40 its
//    error is below 2^-12, so two passing coordinates have computed q within 0.3338 of each
//    other. A position whose q lies in the middle third of its cell can only meet welded
//    positions of its own cell along that axis; otherwise the one neighbour on the near side is
//    searched too (at most 8 cells in all).
//  - Where |q| >= 2^40 neighbouring floats are more than 2^16 * epsilon apart, so a passing pair
//    has the identical coordinate there: that axis is keyed by the exact value, which also keeps
//    cell numbers from overflowing however small epsilon is.
//  - A NaN or infinite coordinate fails every comparison (inf - inf and NaN differences are NaN,
//    an infinite difference is never below epsilon), so such a position never welds and is never
//    searched for.
//  - An epsilon of 0 or below, or NaN, merges nothing.
// Within a cell the welded positions are listed in ascending order, so the first one that passes is
// that cell's lowest; the lowest over the searched cells is the answer.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "hash_table.h"
#include "polygon.h"
#include "zel_internal.h"

bool zel::nearlyEqual(const float* u, const float* v, float epsilon) {
    float d = u[0] - v[0];
    if (!(zel::absf(d) < epsilon)) return false;
    d = u[1] - v[1];
    if (!(zel::absf(d) < epsilon)) return false;
    d = u[2] - v[2];
    return zel::absf(d) < epsilon;
}

namespace {

constexpr double kNearLimit = 1099511627776.0;   // 2^40
constexpr int64_t kExactKey = int64_t(1) << 62;  // marks an axis keyed by its exact value

uint64_t cellHash(int64_t x, int64_t y, int64_t z) {
    return zel::hashWords(x, y, z);
}

// A cell is identified by the 64-bit hash of its key alone. Two cells whose hashes collide share
// one list; that only adds candidates, each of which is still tested, so the result stays exact.
struct Cell {
    uint64_t hash;
    uint32_t head;   // lowest welded index in the cell; 0 marks an empty slot
    uint32_t tail;   // highest, where the next one is appended
    float first[3];  // the head's coordinates, so the common one-entry cell needs no other lookup
    uint32_t unused;
};

// The cells' slots, each keyed by the hash it holds.
struct CellSlots {
    using Slot = Cell;
    static Cell empty() { return Cell{}; }
    static bool isEmpty(const Cell& cell) { return cell.head == 0; }
    uint64_t hashOf(const Cell& cell) const { return cell.hash; }
};

// The library's hash table of cells (growing at half load), and in front of it one bit per hash
// bucket that says whether any cell of that bucket exists: most searched cells are empty, and the
// bit array is small enough to stay in cache while the slots are not.
class CellTable {
public:
    explicit CellTable(uint32_t positions) {
        cells_.reserve(512);  // 1024 slots: welds of up to 512 cells never grow
        int bits = 10;
        while (bits < 40 && (uint64_t(1) << bits) < 8 * uint64_t(positions)) bits++;
        occupied_.assign((size_t(1) << bits) / 64, 0);
        occupiedShift_ = 64 - bits;
    }

    bool mayHold(uint64_t hash) const {
        const uint64_t bit = hash >> occupiedShift_;
        return (occupied_[bit / 64] >> (bit % 64)) & 1;
    }

    const Cell* find(uint64_t hash) const {
        return cells_.find(hash, [hash](const Cell& cell) { return cell.hash == hash; });
    }

    // Appends welded position `index` at `p` to the cell with `hash`, creating the cell if needed.
    // next[] links each cell's positions in ascending order.
    void append(uint64_t hash, uint32_t index, const float* p, std::vector<uint32_t>& next) {
        const bool mayExist = mayHold(hash);
        auto found = cells_.insert(
            hash, [hash, mayExist](const Cell& cell) { return mayExist && cell.hash == hash; });
        Cell& cell = *found.first;
        if (!found.second) {
            next[cell.tail] = index;
            cell.tail = index;
            return;
        }
        cell.hash = hash;
        cell.head = cell.tail = index;
        std::memcpy(cell.first, p, sizeof cell.first);
        const uint64_t bit = hash >> occupiedShift_;
        occupied_[bit / 64] |= uint64_t(1) << (bit % 64);
    }

private:
    zel::HashTable<CellSlots> cells_;
    std::vector<uint64_t> occupied_;
    int occupiedShift_;
};

// The key of the cell holding finite position p, and per axis whether the cell below (low -1) or
// above (high 1) can hold a passing position too.
void cellOf(const float* p, double inverseWidth, int64_t* home, int* low, int* high) {
    for (int a = 0; a < 3; a++) {
        const double q = p[a] * inverseWidth;
        low[a] = high[a] = 0;
        if (std::fabs(q) < kNearLimit) {
            const double c = std::floor(q);
            const double f = q - c;
            home[a] = static_cast<int64_t>(c);
            if (f < 0.35) low[a] = -1;
            if (f > 0.65) high[a] = 1;
        } else {
            uint32_t bits;
            std::memcpy(&bits, &p[a], sizeof bits);
            home[a] = kExactKey | bits;
        }
    }
}

// Welds positions 1..count of `in` into `out` (room for count + 1 triples) and calls sink(i, j) for
// every input position i with the 1-based index j of its welded position, in input order, after
// position i has been read for the last time. Returns the number welded.
template <class Sink>
uint32_t weld(const float* in, uint32_t count, float epsilon, float* out, Sink&& sink) {
    // Like the plain weld, the result starts as a copy of every input triple, slot 0 included.
    std::memcpy(out, in, (static_cast<size_t>(count) + 1) * 3 * sizeof(float));
    if (!(epsilon > 0.0f)) {
        for (size_t i = 1; i <= count; i++)
            sink(static_cast<uint32_t>(i), static_cast<uint32_t>(i));
        return count;
    }

    // Cells are 3 * epsilon wide (exact in double: 24 + 2 significant bits); q = x * (1 / width)
    // has a relative error below 2^-52.
    const double inverseWidth = 1.0 / (3.0 * static_cast<double>(epsilon));
    CellTable cells(count);
    std::vector<uint32_t> nextInCell(static_cast<size_t>(count) + 1, 0);
    uint32_t welded = 0;

    for (size_t i = 1; i <= count; i++) {
        const float* p = in + 3 * i;
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
            welded++;
            std::memcpy(out + 3 * static_cast<size_t>(welded), p, 3 * sizeof(float));
            sink(static_cast<uint32_t>(i), welded);
            continue;
        }

        int64_t home[3];
        int low[3], high[3];
        cellOf(p, inverseWidth, home, low, high);

        uint32_t best = 0;
        for (int dx = low[0]; dx <= high[0]; dx++)
            for (int dy = low[1]; dy <= high[1]; dy++)
                for (int dz = low[2]; dz <= high[2]; dz++) {
                    const uint64_t hash = cellHash(home[0] + dx, home[1] + dy, home[2] + dz);
                    if (!cells.mayHold(hash)) continue;
                    const Cell* cell = cells.find(hash);
                    if (!cell || (best != 0 && cell->head >= best)) continue;
                    if (zel::nearlyEqual(cell->first, p, epsilon)) {
                        best = cell->head;
                        continue;
                    }
                    for (uint32_t w = nextInCell[cell->head]; w != 0 && (best == 0 || w < best);
                         w = nextInCell[w]) {
                        if (zel::nearlyEqual(out + 3 * static_cast<size_t>(w), p, epsilon)) {
                            best = w;
                            break;
                        }
                    }
                }

        if (best == 0) {
            best = ++welded;
            std::memcpy(out + 3 * static_cast<size_t>(welded), p, 3 * sizeof(float));
            cells.append(cellHash(home[0], home[1], home[2]), welded, p, nextInCell);
        }
        sink(static_cast<uint32_t>(i), best);
    }
    return welded;
}

}  // namespace

namespace zel {

float* weldPositions(const float* positions, uint32_t* count, float epsilon, uint32_t* map) {
    const size_t n = *count;
    float* result = static_cast<float*>(allocate((n + 1) * 3 * sizeof(float)));
    map[0] = 0;
    try {
        *count =
            weld(positions, *count, epsilon, result, [map](uint32_t i, uint32_t j) { map[i] = j; });
    } catch (...) {
        std::free(result);
        throw;
    }
    return result;
}

}  // namespace zel

float* zelWeldPositions(float* positions, uint32_t* count, float epsilon) {
    return zel::exitOnOutOfMemory("zelWeldPositions", [&] {
        const size_t n = *count;
        float* result = static_cast<float*>(zel::allocate((n + 1) * 3 * sizeof(float)));
        // The map goes into the x entries as floats, exact up to 2^24 positions;
        // zelWeldVertices uses the integer map instead.
        *count = weld(positions, *count, epsilon, result, [positions](uint32_t i, uint32_t j) {
            positions[3 * static_cast<size_t>(i)] = static_cast<float>(j);
        });
        return result;
    });
}

void zelWeldVertices(ZelModel* model, float epsilon) {
    const uint32_t oldcount = model->vertexcount;
    uint32_t count = oldcount;
    std::vector<uint32_t> indices;
    float* colors = nullptr;
    float* welded = zel::exitOnOutOfMemory("zelWeldVertices", [&] {
        indices.resize(static_cast<size_t>(count) + 1);
        float* positions = zel::weldPositions(model->vertices, &count, epsilon, indices.data());
        if (model->colors) {
            try {
                colors = static_cast<float*>(
                    zel::allocateZeroed((static_cast<size_t>(count) + 1) * 3, sizeof(float)));
            } catch (...) {
                std::free(positions);
                throw;
            }
        }
        return positions;
    });
    const uint32_t* map = indices.data();

    // A welded vertex keeps the colour of its lowest-numbered vertex, whose position it has.
    if (colors) {
        for (uint32_t i = oldcount; i >= 1; i--)
            std::memcpy(&colors[3 * static_cast<size_t>(map[i])],
                        &model->colors[3 * static_cast<size_t>(i)], 3 * sizeof(float));
        std::free(model->colors);
        model->colors = colors;
    }

    // Indices outside 1..vertexcount (only possible in a model built by hand) name no position;
    // they are left as they are, and stay outside the smaller array.
    for (uint32_t t = 0; t < model->trianglecount; t++) {
        uint32_t* corner = model->triangles[t].vertexidx;
        for (int k = 0; k < 3; k++)
            if (corner[k] >= 1 && corner[k] <= oldcount) corner[k] = map[corner[k]];
    }
    zel::renumberShapeVertices(model, map, oldcount);
    std::free(model->vertices);
    model->vertexcount = count;
    // Shrinking cannot fail in practice; if it does, the larger block serves.
    void* shrunk = std::realloc(welded, (static_cast<size_t>(count) + 1) * 3 * sizeof(float));
    model->vertices = static_cast<float*>(shrunk ? shrunk : welded);
}
