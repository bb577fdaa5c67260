// Cutting faces into triangles, and the upkeep of the polygon record (see ZelGroup's polygon
// fields in zel.h).
//
// A face is cut in the plane of its Newell normal, computed in double: a convex face (every corner
// turning the same way) gives the fan from its first corner, corner 0, i, i + 1, so convex faces
// are cut exactly as they always were; any other is cut by ear clipping. A face the ear clipping
// cannot cut cleanly (no normal, repeated or collinear corners with nothing else to clip,
// self-crossing edges, a projection that does not cover its own area) gets the fan too, so no face
// is ever lost.
#pragma once

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "zel.h"
#include "zel_internal.h"

namespace zel {

// The first tests of a cut, inline here so that the reader settles convex faces (quads above all)
// while their positions are at hand, at the cost of a few cross products.
namespace face {

// The corners of a face as `at(i)`, the position of corner i (x y z), whether they lie one after
// another or each where its vertex is.
struct PackedCorners {
    const float* positions;  // corner i at positions[3 * i]
    const float* operator()(uint32_t i) const { return positions + 3 * size_t{i}; }
};

// The plane a face is cut in: its Newell normal (twice its vector area, in double) and the two
// axes it is projected on, in the order that makes it run counter-clockwise. False when the normal
// is zero or not finite: the face gets the fan.
template <class At>
ZEL_HOT bool cutPlane(At at, uint32_t count, double* normal, int* ua, int* va) {
    double x = 0, y = 0, z = 0;
    if (count == 4) {
        // A quad's Newell normal is the cross product of its diagonals.
        const float *a = at(0), *b = at(1), *c = at(2), *d = at(3);
        const double e[3] = {double{c[0]} - a[0], double{c[1]} - a[1], double{c[2]} - a[2]};
        const double f[3] = {double{d[0]} - b[0], double{d[1]} - b[1], double{d[2]} - b[2]};
        x = e[1] * f[2] - e[2] * f[1];
        y = e[2] * f[0] - e[0] * f[2];
        z = e[0] * f[1] - e[1] * f[0];
    }
    for (uint32_t i = 0, j = count - 1; count != 4 && i < count; j = i++) {
        const float* p = at(j);
        const float* q = at(i);
        x += (double{p[1]} - q[1]) * (double{p[2]} + q[2]);
        y += (double{p[2]} - q[2]) * (double{p[0]} + q[0]);
        z += (double{p[0]} - q[0]) * (double{p[1]} + q[1]);
    }
    normal[0] = x;
    normal[1] = y;
    normal[2] = z;
    int axis = 0;
    for (int k = 1; k < 3; k++)
        if (std::fabs(normal[k]) > std::fabs(normal[axis])) axis = k;
    if (!(std::fabs(normal[axis]) > 0) || !std::isfinite(normal[axis])) return false;
    *ua = axis == 2 ? 0 : axis + 1;
    *va = axis == 0 ? 2 : axis - 1;
    if (normal[axis] < 0) std::swap(*ua, *va);
    return true;
}

// Twice the signed area of the projected triangle a b c: above 0 when it turns left.
inline double turnOf(double ua, double va, double ub, double vb, double uc, double vc) {
    return (ub - ua) * (vc - vb) - (vb - va) * (uc - ub);
}

// Whether the face projected on (ua, va) turns left or goes straight at every corner: convex,
// and then cut as its fan. Read straight from the positions, so that the usual face (a convex
// quad) costs no more than this.
template <class At>
ZEL_HOT bool turnsLeftThroughout(At at, uint32_t count, int ua, int va) {
    double u0 = at(count - 2)[ua], v0 = at(count - 2)[va];
    double u1 = at(count - 1)[ua], v1 = at(count - 1)[va];
#pragma GCC unroll 4
    for (uint32_t i = 0; i < count; i++) {
        const double u2 = at(i)[ua], v2 = at(i)[va];
        if (!(turnOf(u0, v0, u1, v1, u2, v2) >= 0)) return false;
        u0 = u1, v0 = v1, u1 = u2, v1 = v2;
    }
    return true;
}

template <class At>
ZEL_HOT bool fanTest(At at, uint32_t count) {
    double normal[3];
    int ua, va;
    return count == 3 || !cutPlane(at, count, normal, &ua, &va) ||
           turnsLeftThroughout(at, count, ua, va);
}

}  // namespace face

// Whether PolygonCutter::cut gives the fan for the face of `count` (>= 3) corners at at(0) ..
// at(count - 1) because it is a triangle, has no usable normal, or is convex in its plane: its
// first test, with nothing allocated. The reader gives the corners where its vertices are, so that
// nothing is copied; quads, the usual faces, get the test unrolled.
template <class At>
ZEL_HOT bool cutsAsFan(At at, uint32_t count) {
    return count == 4 ? face::fanTest(at, 4) : face::fanTest(at, count);
}

// Cuts faces, keeping its scratch space between them.
class PolygonCutter {
public:
    // Cuts the face of `count` (>= 3) corners whose positions are positions[3 * i .. 3 * i + 2]
    // into count - 2 triangles, written as 3 * (count - 2) corner numbers (0-based, into the face)
    // to `triangles`, each winding as the face winds. Returns true when they are the fan.
    bool cut(const float* positions, uint32_t count, uint32_t* triangles);

    // The ear clipping gives up (and the fan is used) once it has tested this many candidate ears
    // per corner of the face, so that no face costs more than a bounded multiple of its size in
    // ear tests.
    static constexpr uint32_t kEarTestsPerCorner = 64;
    // A face whose corners lie farther apart across its plane than this times its size along the
    // plane is taken as too far from planar to cut, and gets the fan.
    static constexpr double kMostBend = 0.25;
    // Faces of up to this many corners are checked for edges that cross (every pair of edges);
    // larger ones are not.
    static constexpr uint32_t kMostCrossingChecked = 1024;
    // The most a corner may turn, as the sine of its angle, and still count as not turning.
    static constexpr double kFlat = 1e-6;

    // Cuts the face whose fan of corners - 2 triangles, as the reader stores it, is the model's
    // triangles first .. first + corners - 3 (its corners are recovered from the fan), and
    // rewrites them when the cut is not the fan. Triangles that are not such a fan, or that name a
    // vertex outside the model, are left as they are. Facet indices and smoothing groups stay.
    void cutRun(ZelModel* model, uint32_t first, uint32_t corners);

private:
    bool clipEars(uint32_t count, uint32_t* triangles);
    bool farFromPlane(const float* positions, uint32_t count, const double* normal) const;
    bool crossesItself(uint32_t count) const;
    // Whether the corner b and its neighbours make an ear: b turns left and no blocking corner
    // lies inside their triangle (`touching`: or on its edges) other than at their positions.
    bool isEar(uint32_t b, bool touching);
    // Twice the signed area of the projected triangle a b c: above 0 when it turns left.
    double turn(uint32_t a, uint32_t b, uint32_t c) const;
    uint32_t cellAt(double value, double low, double scale) const;
    uint32_t cellOf(uint32_t corner) const;
    void buildGrid(uint32_t count);

    std::vector<double> u_, v_;            // the corners projected, running counter-clockwise
    std::vector<uint32_t> prev_, next_;    // the corners still left, as a ring
    std::vector<unsigned char> blocking_;  // a corner that may lie inside an ear: not convex
    // The blocking corners by grid cell: cell c holds cellCorners_[cellStart_[c] .. cellEnd_[c] -
    // 1] (corners that stop blocking are taken out as they are met).
    std::vector<uint32_t> cellStart_, cellEnd_, cellCorners_;
    std::vector<uint32_t> flats_;      // corners that may have stopped turning
    std::vector<unsigned char> gone_;  // a corner clipped
    std::vector<ZelCorner> corners_;   // cutRun's face
    std::vector<float> positions_;
    std::vector<uint32_t> cut_;
    double minU_ = 0, maxU_ = 0, minV_ = 0, maxV_ = 0;  // the face's box
    double gridU_ = 0, gridV_ = 0, scaleU_ = 0,
           scaleV_ = 0;                         // the grid's origin and cells per unit
    uint32_t cells_ = 0;                        // per side
    uint32_t blockers_ = 0, gridBlockers_ = 0;  // blocking corners now, and when the grid was made
};

// Whether the model keeps any polygon, line, point or smoothing group.
bool holdsShapes(const ZelModel* model);

// Frees a group's polygons, lines and points and leaves it without them.
void freeShapes(ZelGroup* group);

// Reverses the corners 1 .. n - 1 of every recorded polygon, after the winding of every triangle
// has been reversed: the polygon winds as its triangles again and keeps its first corner, so its
// fan covers the triangles its old fan did.
void reversePolygons(ZelModel* model);

// Renumbers the vertex index of every recorded polygon corner, line corner and point through
// `map` (map[i] is the new index of vertex i, for i in 1 .. oldcount); an index outside that range
// stays as it is.
void renumberShapeVertices(ZelModel* model, const uint32_t* map, uint32_t oldcount);

// Sets the texture and normal index of every recorded polygon corner to those of a corner of the
// polygon's triangles that names the same vertex (when one does), after an operation has assigned
// them anew on the triangles.
void refreshPolygonCorners(ZelModel* model);

}  // namespace zel
