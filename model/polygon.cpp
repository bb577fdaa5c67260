// Cutting faces into triangles (ear clipping in the plane of the Newell normal) and the upkeep of
// the polygon record.
//
// The ear clipping walks a ring of the corners left, clipping a convex corner whose triangle holds
// no other corner that may block it. Only corners that are not convex can lie inside an ear of a
// simple polygon, and clipping an ear only makes its neighbours more convex, so the blocking
// corners are put once into a uniform grid over the projected face; an ear test looks only at the
// cells under its triangle. A corner at the very position of one of the ear's corners (the two ends
// of a bridge into a hole) does not block it.
#include "polygon.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "zel_internal.h"

namespace zel {

namespace {

// The fan 0, i, i + 1.
void writeFan(uint32_t count, uint32_t* triangles) {
    for (uint32_t i = 1; i + 1 < count; i++) {
        *triangles++ = 0;
        *triangles++ = i;
        *triangles++ = i + 1;
    }
}

}  // namespace

uint32_t PolygonCutter::cellAt(double value, double low, double scale) const {
    const double at = (value - low) * scale;
    return at >= cells_ ? cells_ - 1 : static_cast<uint32_t>(at > 0 ? at : 0);
}

uint32_t PolygonCutter::cellOf(uint32_t corner) const {
    return cellAt(v_[corner], gridV_, scaleV_) * cells_ + cellAt(u_[corner], gridU_, scaleU_);
}

void PolygonCutter::buildGrid(uint32_t count) {
    uint32_t blockers = 0;
    double lowU = INFINITY, highU = -INFINITY, lowV = INFINITY, highV = -INFINITY;
    for (uint32_t i = 0; i < count; i++)
        if (blocking_[i]) {
            blockers++;
            lowU = std::min(lowU, u_[i]), highU = std::max(highU, u_[i]);
            lowV = std::min(lowV, v_[i]), highV = std::max(highV, v_[i]);
        }
    // About one blocking corner per cell, over the box they lie in (the cells at its sides take
    // whatever lies beyond it).
    cells_ = std::max(1u, static_cast<uint32_t>(std::ceil(std::sqrt(double(blockers)))));
    gridU_ = lowU;
    gridV_ = lowV;
    scaleU_ = highU > lowU ? cells_ / (highU - lowU) : 0;
    scaleV_ = highV > lowV ? cells_ / (highV - lowV) : 0;
    cellStart_.assign(size_t{cells_} * cells_ + 1, 0);
    for (uint32_t i = 0; i < count; i++)
        if (blocking_[i]) cellStart_[cellOf(i) + 1]++;
    for (size_t c = 1; c < cellStart_.size(); c++) cellStart_[c] += cellStart_[c - 1];
    cellCorners_.resize(blockers);
    cellEnd_.assign(cellStart_.begin(), cellStart_.end() - 1);
    for (uint32_t i = 0; i < count; i++)
        if (blocking_[i]) cellCorners_[cellEnd_[cellOf(i)]++] = i;
    blockers_ = gridBlockers_ = blockers;
}

double PolygonCutter::turn(uint32_t a, uint32_t b, uint32_t c) const {
    return face::turnOf(u_[a], v_[a], u_[b], v_[b], u_[c], v_[c]);
}

bool PolygonCutter::cut(const float* positions, uint32_t count, uint32_t* triangles) {
    ZEL_ASSERT(count >= 3);
    double normal[3];
    int ua, va;
    const face::PackedCorners at{positions};
    if (count == 3 || !face::cutPlane(at, count, normal, &ua, &va)) {
        writeFan(count, triangles);
        return true;
    }
    if (face::turnsLeftThroughout(at, count, ua, va)) {
        writeFan(count, triangles);
        return true;
    }
    u_.resize(count);
    v_.resize(count);
    for (uint32_t i = 0; i < count; i++) {
        u_[i] = positions[3 * size_t{i} + ua];
        v_[i] = positions[3 * size_t{i} + va];
    }
    if (farFromPlane(positions, count, normal) || crossesItself(count) ||
        !clipEars(count, triangles)) {
        writeFan(count, triangles);
        return true;
    }
    return false;
}

bool PolygonCutter::farFromPlane(const float* positions, uint32_t count,
                                 const double* normal) const {
    const double length =
        std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
    // Heights across the plane, and the farthest any corner lies from corner 0 along it.
    double low = INFINITY, high = -INFINITY, along = 0;
    for (uint32_t i = 0; i < count; i++) {
        const float* p = positions + 3 * size_t{i};
        const double d[3] = {double{p[0]} - positions[0], double{p[1]} - positions[1],
                             double{p[2]} - positions[2]};
        const double height = (d[0] * normal[0] + d[1] * normal[1] + d[2] * normal[2]) / length;
        low = std::min(low, height);
        high = std::max(high, height);
        along = std::max(along, d[0] * d[0] + d[1] * d[1] + d[2] * d[2] - height * height);
    }
    return !(high - low <= kMostBend * std::sqrt(along));
}

bool PolygonCutter::crossesItself(uint32_t count) const {
    if (count > kMostCrossingChecked) return false;
    // Edge i runs from corner i to corner i + 1; two edges cross when each one's ends lie strictly
    // on either side of the other (edges that only touch, as at a bridge into a hole, do not).
    auto sides = [&](uint32_t a, uint32_t b, uint32_t p, uint32_t q) {
        const double s = turn(a, b, p), t = turn(a, b, q);
        return (s > 0 && t < 0) || (s < 0 && t > 0);
    };
    for (uint32_t i = 0; i < count; i++) {
        const uint32_t i1 = i + 1 == count ? 0 : i + 1;
        for (uint32_t j = i + 2; j < count; j++) {
            const uint32_t j1 = j + 1 == count ? 0 : j + 1;
            if (j1 == i) continue;
            if (sides(i, i1, j, j1) && sides(j, j1, i, i1)) return true;
        }
    }
    return false;
}

bool PolygonCutter::isEar(uint32_t b, bool touching) {
    const uint32_t a = prev_[b], c = next_[b];
    if (!(turn(a, b, c) > 0)) return false;
    const double lowU = std::min({u_[a], u_[b], u_[c]}), highU = std::max({u_[a], u_[b], u_[c]});
    const double lowV = std::min({v_[a], v_[b], v_[c]}), highV = std::max({v_[a], v_[b], v_[c]});
    const uint32_t u0 = cellAt(lowU, gridU_, scaleU_), u1 = cellAt(highU, gridU_, scaleU_);
    const uint32_t v0 = cellAt(lowV, gridV_, scaleV_), v1 = cellAt(highV, gridV_, scaleV_);
    auto same = [&](uint32_t p, uint32_t q) { return u_[p] == u_[q] && v_[p] == v_[q]; };
    const uint32_t ring[4] = {a, b, c, a};
    for (uint32_t cv = v0; cv <= v1; cv++) {
        // Only the cells of this row that the triangle reaches (one more on either side, for
        // rounding): those of its edges' pieces within the row.
        uint32_t from = u0, to = u1;
        if (scaleV_ > 0) {
            const double rowLow = cv == v0 ? lowV : gridV_ + cv / scaleV_;
            const double rowHigh = cv == v1 ? highV : gridV_ + (cv + 1) / scaleV_;
            double left = INFINITY, right = -INFINITY;
            for (int e = 0; e < 3; e++) {
                const uint32_t p = ring[e], q = ring[e + 1];
                double t0 = 0, t1 = 1;
                if (v_[p] != v_[q]) {
                    t0 = (rowLow - v_[p]) / (v_[q] - v_[p]);
                    t1 = (rowHigh - v_[p]) / (v_[q] - v_[p]);
                    if (t0 > t1) std::swap(t0, t1);
                    t0 = std::max(t0, 0.0);
                    t1 = std::min(t1, 1.0);
                } else if (v_[p] < rowLow || v_[p] > rowHigh) {
                    continue;
                }
                if (t0 > t1) continue;
                for (double t : {t0, t1}) {
                    const double u = u_[p] + t * (u_[q] - u_[p]);
                    left = std::min(left, u);
                    right = std::max(right, u);
                }
            }
            if (left > right) continue;
            const uint32_t l = cellAt(left, gridU_, scaleU_), r = cellAt(right, gridU_, scaleU_);
            from = std::max(u0, l == 0 ? 0 : l - 1);
            to = std::min(u1, r + 1);
        }
        for (uint32_t cu = from; cu <= to; cu++) {
            const uint32_t at = cv * cells_ + cu;
            for (uint32_t k = cellStart_[at]; k < cellEnd_[at];) {
                const uint32_t p = cellCorners_[k];
                // A corner that has stopped blocking leaves its cell for good.
                if (!blocking_[p]) {
                    cellCorners_[k] = cellCorners_[--cellEnd_[at]];
                    continue;
                }
                k++;
                if (p == a || p == b || p == c) continue;
                if (u_[p] < lowU || u_[p] > highU || v_[p] < lowV || v_[p] > highV) continue;
                if (same(p, a) || same(p, b) || same(p, c)) continue;
                const double t1 = turn(a, b, p), t2 = turn(b, c, p), t3 = turn(c, a, p);
                if (touching ? t1 >= 0 && t2 >= 0 && t3 >= 0 : t1 > 0 && t2 > 0 && t3 > 0)
                    return false;
            }
        }
    }
    return true;
}

bool PolygonCutter::clipEars(uint32_t count, uint32_t* triangles) {
    prev_.resize(count);
    next_.resize(count);
    blocking_.resize(count);
    double area = 0;  // twice the projected area, as a fan of corner 0 gives it with signs
    minU_ = maxU_ = u_[0];
    minV_ = maxV_ = v_[0];
    for (uint32_t i = 0; i < count; i++) {
        prev_[i] = i == 0 ? count - 1 : i - 1;
        next_[i] = i + 1 == count ? 0 : i + 1;
        blocking_[i] = !(turn(prev_[i], i, next_[i]) > 0);
        if (i >= 2) area += turn(0, i - 1, i);
        minU_ = std::min(minU_, u_[i]);
        maxU_ = std::max(maxU_, u_[i]);
        minV_ = std::min(minV_, v_[i]);
        maxV_ = std::max(maxV_, v_[i]);
    }
    if (!(area > 0) || !std::isfinite(maxU_ - minU_) || !std::isfinite(maxV_ - minV_)) return false;

    // About one blocking corner per cell.
    buildGrid(count);

    uint32_t left = count, b = 0;
    auto clip = [&](uint32_t corner) {
        const uint32_t a = prev_[corner], c = next_[corner];
        *triangles++ = a;
        *triangles++ = corner;
        *triangles++ = c;
        next_[a] = c;
        prev_[c] = a;
        gone_[corner] = 1;
        left--;
        // Clipping only makes its neighbours more convex; one that stops blocking is skipped.
        const uint32_t stopped = blocking_[corner] + (blocking_[a] && turn(prev_[a], a, c) > 0) +
                                 (blocking_[c] && turn(a, c, next_[c]) > 0);
        blocking_[a] = blocking_[a] && !(turn(prev_[a], a, c) > 0);
        blocking_[c] = blocking_[c] && !(turn(a, c, next_[c]) > 0);
        blocking_[corner] = 0;
        blockers_ -= stopped;
        flats_.push_back(c);
        flats_.push_back(a);
    };
    // Corners that do not turn at all (repeated corners, the middle of straight runs) are clipped
    // as soon as they appear, as triangles of no area that change nothing of the face: left in,
    // they would sit on the edges of the ears beside them and block them.
    auto clipFlats = [&] {
        while (!flats_.empty() && left > 3) {
            const uint32_t k = flats_.back();
            flats_.pop_back();
            if (gone_[k] || turn(prev_[k], k, next_[k]) != 0) continue;
            if (k == b) b = next_[k];
            clip(k);
        }
        flats_.clear();
    };
    gone_.assign(count, 0);
    flats_.clear();
    for (uint32_t i = count; i-- > 0;) flats_.push_back(i);
    clipFlats();
    uint64_t budget = uint64_t{kEarTestsPerCorner} * count;
    uint32_t missed = 0;
    while (left > 3) {
        if (budget-- == 0) return false;
        // Once most blocking corners have stopped, a finer grid over fewer cells serves better.
        if (blockers_ < gridBlockers_ / 4) buildGrid(count);
        if (isEar(b, true)) {
            const uint32_t c = next_[b];
            clip(b);
            b = c;
            clipFlats();
            b = next_[b];
            missed = 0;
            continue;
        }
        b = next_[b];
        if (++missed < left) continue;
        // A whole round without an ear. Corners on the ears' edges (many on a grid) may have
        // blocked them all: an ear with no corner strictly inside is still inside the face. Else
        // the corner that turns least, when it turns no more than rounding explains, is clipped
        // as a triangle of almost no area; without one the face cannot be cut.
        uint32_t found = b;
        while (!isEar(found, false))
            if ((found = next_[found]) == b) break;
        if (found == b && !isEar(b, false)) {
            double least = INFINITY;
            uint32_t corner = b;
            do {
                const uint32_t a = prev_[corner], c = next_[corner];
                const double size = std::hypot(u_[corner] - u_[a], v_[corner] - v_[a]) *
                                    std::hypot(u_[c] - u_[corner], v_[c] - v_[corner]);
                const double bend = size > 0 ? std::fabs(turn(a, corner, c)) / size : 0;
                if (bend < least) least = bend, found = corner;
            } while ((corner = next_[corner]) != b);
            if (!(least <= kFlat)) return false;
        }
        b = next_[found];
        clip(found);
        clipFlats();
        missed = 0;
    }
    // The last triangle may be flipped by what rounding leaves of a zero area, no more.
    const double du = maxU_ - minU_, dv = maxV_ - minV_;
    if (turn(prev_[b], b, next_[b]) < -1e-12 * count * (du * du + dv * dv)) return false;
    clip(b);
    return true;
}

}  // namespace zel

namespace zel {

namespace {

bool sameCorner(const ZelTriangle& t, int k, const ZelCorner& c) {
    return t.vertexidx[k] == c.vertexidx && t.texcoordidx[k] == c.texcoordidx &&
           t.normalidx[k] == c.normalidx;
}

ZelCorner cornerOf(const ZelTriangle& t, int k) {
    return ZelCorner{t.vertexidx[k], t.texcoordidx[k], t.normalidx[k]};
}

template <class Visit>
void forEachPolygon(ZelModel* model, Visit visit) {
    for (ZelGroup* group = model->groups; group; group = group->next)
        for (uint32_t p = 0; p < group->polygoncount; p++)
            visit(group, p, group->polygoncorners + group->polygonstart[p],
                  group->polygonstart[p + 1] - group->polygonstart[p]);
}

}  // namespace

void PolygonCutter::cutRun(ZelModel* model, uint32_t first, uint32_t corners) {
    if (corners < 4 || first > model->trianglecount || corners - 2 > model->trianglecount - first)
        return;
    auto triangle = [first](uint32_t k) { return first + k; };
    corners_.resize(corners);
    for (uint32_t k = 0; k + 2 < corners; k++) {
        if (triangle(k) >= model->trianglecount) return;
        const ZelTriangle& t = model->triangles[triangle(k)];
        if (k == 0) {
            corners_[0] = cornerOf(t, 0);
            corners_[1] = cornerOf(t, 1);
        } else if (!sameCorner(t, 0, corners_[0]) || !sameCorner(t, 1, corners_[k + 1])) {
            return;
        }
        corners_[k + 2] = cornerOf(t, 2);
    }
    positions_.resize(3 * size_t{corners});
    for (uint32_t i = 0; i < corners; i++) {
        const uint32_t v = corners_[i].vertexidx;
        if (v < 1 || v > model->vertexcount) return;
        std::copy_n(model->vertices + 3 * size_t{v}, 3, &positions_[3 * size_t{i}]);
    }
    cut_.resize(3 * size_t{corners - 2});
    if (cut(positions_.data(), corners, cut_.data())) return;
    for (uint32_t k = 0; k + 2 < corners; k++) {
        ZelTriangle& t = model->triangles[triangle(k)];
        for (int j = 0; j < 3; j++) {
            const ZelCorner& c = corners_[cut_[3 * size_t{k} + j]];
            t.vertexidx[j] = c.vertexidx;
            t.texcoordidx[j] = c.texcoordidx;
            t.normalidx[j] = c.normalidx;
        }
    }
}

bool holdsShapes(const ZelModel* model) {
    if (model->smoothinggroups) return true;
    for (const ZelGroup* group = model->groups; group; group = group->next)
        if (group->polygoncount || group->linecount || group->pointcount) return true;
    return false;
}

void freeShapes(ZelGroup* group) {
    for (void* array :
         {static_cast<void*>(group->polygonstart), static_cast<void*>(group->polygoncorners),
          static_cast<void*>(group->polygontriangle), static_cast<void*>(group->linestart),
          static_cast<void*>(group->linecorners), static_cast<void*>(group->pointidx)})
        std::free(array);
    group->polygoncount = group->linecount = group->pointcount = 0;
    group->polygonstart = group->polygontriangle = group->linestart = group->pointidx = nullptr;
    group->polygoncorners = group->linecorners = nullptr;
}

void reversePolygons(ZelModel* model) {
    forEachPolygon(model, [](ZelGroup*, uint32_t, ZelCorner* corners, uint32_t count) {
        std::reverse(corners + 1, corners + count);
    });
}

void renumberShapeVertices(ZelModel* model, const uint32_t* map, uint32_t oldcount) {
    auto renumber = [&](uint32_t& v) {
        if (v >= 1 && v <= oldcount) v = map[v];
    };
    for (ZelGroup* group = model->groups; group; group = group->next) {
        if (group->polygoncount)
            for (uint32_t i = 0; i < group->polygonstart[group->polygoncount]; i++)
                renumber(group->polygoncorners[i].vertexidx);
        if (group->linecount)
            for (uint32_t i = 0; i < group->linestart[group->linecount]; i++)
                renumber(group->linecorners[i].vertexidx);
        for (uint32_t i = 0; i < group->pointcount; i++) renumber(group->pointidx[i]);
    }
}

void refreshPolygonCorners(ZelModel* model) {
    // The corners of a polygon's triangles by vertex: (vertex, triangle * 3 + corner), sorted.
    std::vector<std::pair<uint32_t, size_t>> found;
    forEachPolygon(model, [&](ZelGroup* group, uint32_t p, ZelCorner* corners, uint32_t count) {
        const uint32_t first = group->polygontriangle[p];
        if (first > group->trianglecount || count - 2 > group->trianglecount - first) return;
        found.clear();
        for (uint32_t k = 0; k + 2 < count; k++) {
            const uint32_t t = group->triangleidx[first + k];
            if (t >= model->trianglecount) continue;
            for (int j = 0; j < 3; j++)
                found.emplace_back(model->triangles[t].vertexidx[j], 3 * size_t{t} + j);
        }
        std::sort(found.begin(), found.end());
        for (uint32_t i = 0; i < count; i++) {
            auto at = std::lower_bound(found.begin(), found.end(),
                                       std::make_pair(corners[i].vertexidx, size_t{0}));
            if (at == found.end() || at->first != corners[i].vertexidx) continue;
            const ZelTriangle& t = model->triangles[at->second / 3];
            corners[i].texcoordidx = t.texcoordidx[at->second % 3];
            corners[i].normalidx = t.normalidx[at->second % 3];
        }
    });
}

}  // namespace zel
