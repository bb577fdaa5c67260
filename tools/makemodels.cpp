// makemodels: builds the five models the scene loads (data/*.obj) from simple solids and writes
// them as OBJ text. Run from the repository root (or pass the output folder):
//
//     build/tools/makemodels [data]
//
// The scene fits every model into the cube from -1 to 1 before drawing it, centring its bounding
// box on the origin. Each model is therefore laid out here so that the fit leaves it exactly as
// designed (its bounding box already centred, its largest size exactly 2), except the deck gun,
// which relies on the fit to shrink it (see makePung). That way the numbers below are the numbers
// the scene draws, and the landscape, the ships and jet 1 can be made to meet: water just under the
// ships' waterline, the airstrip just under jet 1's wheels.
//
// Scene placement that the layout relies on (all before the scene's overall scale):
//  - jet 1 stands at (0, 1.55, 6); at rest after a landing it is 0.0900123 lower;
//  - a ship is drawn with local (x, y, z) -> scene (4 x + 12 or - 12, 4 z, -3.5 y - 19.25);
//  - the landscape is drawn with local (x, y, z) -> scene (20.5 x, 18.5 z, 2 - 20.5 y).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct V3 {
    double x, y, z;
};

// A triangle mesh with named parts. Indices are 0-based here and written 1-based.
struct Mesh {
    std::vector<V3> verts;
    std::vector<std::array<int, 3>> tris;
    std::vector<std::pair<std::string, size_t>> groups;  // name, first triangle

    void group(const std::string& name) { groups.emplace_back(name, tris.size()); }
    int vert(V3 v) {
        verts.push_back(v);
        return static_cast<int>(verts.size()) - 1;
    }
    void tri(int a, int b, int c) { tris.push_back({a, b, c}); }
    void quad(int a, int b, int c, int d) {
        tri(a, b, c);
        tri(a, c, d);
    }
};

using Ring = std::vector<V3>;

// Fills a convex polygon given by vertex indices with a fan.
void fan(Mesh& m, const std::vector<int>& poly, bool reverse) {
    for (size_t i = 1; i + 1 < poly.size(); ++i) {
        if (reverse)
            m.tri(poly[0], poly[i + 1], poly[i]);
        else
            m.tri(poly[0], poly[i], poly[i + 1]);
    }
}

// Joins closed rings of equal size with quads; caps the first and last ring with fans. A ring of a
// single point is an apex (nose cone, spire): it is joined with triangles and needs no cap.
void loft(Mesh& m, const std::vector<Ring>& rings, bool capFirst = true, bool capLast = true) {
    std::vector<std::vector<int>> ids;
    for (const Ring& r : rings) {
        std::vector<int> ring;
        for (const V3& p : r) ring.push_back(m.vert(p));
        ids.push_back(ring);
    }
    for (size_t k = 0; k + 1 < ids.size(); ++k) {
        const std::vector<int>& a = ids[k];
        const std::vector<int>& b = ids[k + 1];
        if (a.size() == 1) {
            for (size_t i = 0; i < b.size(); ++i) m.tri(a[0], b[i], b[(i + 1) % b.size()]);
        } else if (b.size() == 1) {
            for (size_t i = 0; i < a.size(); ++i) m.tri(a[i], b[0], a[(i + 1) % a.size()]);
        } else {
            for (size_t i = 0; i < a.size(); ++i) {
                size_t j = (i + 1) % a.size();
                m.quad(a[i], b[i], b[j], a[j]);
            }
        }
    }
    if (capFirst && ids.front().size() > 2) fan(m, ids.front(), true);
    if (capLast && ids.back().size() > 2) fan(m, ids.back(), false);
}

// A hexahedron from its four lower corners and the four upper corners above them (both listed
// counter-clockwise seen from above): boxes, tapered towers, wedges.
void hexa(Mesh& m, const std::array<V3, 4>& lower, const std::array<V3, 4>& upper) {
    loft(m, {Ring(lower.begin(), lower.end()), Ring(upper.begin(), upper.end())});
}

void box(Mesh& m, V3 lo, V3 hi) {
    hexa(m, {V3{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}},
         {V3{lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}});
}

// A box standing on z = z0 up to z1, with its top shrunk towards its centre line (towers, funnels).
void taperedBox(Mesh& m, double cx, double cy, double hx0, double hy0, double hx1, double hy1,
                double z0, double z1) {
    hexa(m,
         {V3{cx - hx0, cy - hy0, z0},
          {cx + hx0, cy - hy0, z0},
          {cx + hx0, cy + hy0, z0},
          {cx - hx0, cy + hy0, z0}},
         {V3{cx - hx1, cy - hy1, z1},
          {cx + hx1, cy - hy1, z1},
          {cx + hx1, cy + hy1, z1},
          {cx - hx1, cy + hy1, z1}});
}

// A ring of n points round the z axis at height z (radius rx, ry), starting at angle a0.
Ring zRing(double cx, double cy, double rx, double ry, double z, int n, double a0 = 0.0) {
    Ring r;
    for (int i = 0; i < n; ++i) {
        double a = a0 + 2.0 * M_PI * i / n;
        r.push_back({cx + rx * std::cos(a), cy + ry * std::sin(a), z});
    }
    return r;
}

// A vertical prism (cylinder) round the z axis from z0 to z1.
void zCylinder(Mesh& m, double cx, double cy, double r, double z0, double z1, int n) {
    loft(m, {zRing(cx, cy, r, r, z0, n, M_PI / n), zRing(cx, cy, r, r, z1, n, M_PI / n)});
}

// A flat plate: a convex outline in the plane spanned by axes u and v (given as unit vectors),
// thickened by t along the normal n around the offset o. Wings, fins, stabilisers.
void plate(Mesh& m, const std::vector<std::array<double, 2>>& outline, V3 u, V3 v, V3 n, V3 o,
           double t) {
    Ring lower, upper;
    for (const auto& p : outline) {
        V3 q{o.x + u.x * p[0] + v.x * p[1], o.y + u.y * p[0] + v.y * p[1],
             o.z + u.z * p[0] + v.z * p[1]};
        lower.push_back({q.x - n.x * t / 2, q.y - n.y * t / 2, q.z - n.z * t / 2});
        upper.push_back({q.x + n.x * t / 2, q.y + n.y * t / 2, q.z + n.z * t / 2});
    }
    loft(m, {lower, upper});
}

// Mirrors the vertices of the triangles added since `firstTri` (and the vertices added since
// `firstVert`) through the plane x = 0, adding the mirrored copy to the mesh.
void mirrorX(Mesh& m, size_t firstVert, size_t firstTri) {
    size_t vEnd = m.verts.size();
    size_t tEnd = m.tris.size();
    int offset = static_cast<int>(vEnd - firstVert);
    for (size_t i = firstVert; i < vEnd; ++i)
        m.verts.push_back({-m.verts[i].x, m.verts[i].y, m.verts[i].z});
    for (size_t t = firstTri; t < tEnd; ++t) {
        std::array<int, 3> tr = m.tris[t];
        m.tri(tr[0] + offset, tr[2] + offset, tr[1] + offset);
    }
}

bool writeObj(const Mesh& m, const std::string& path, const char* what) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "makemodels: can't write \"%s\"\n", path.c_str());
        return false;
    }
    std::fprintf(f, "# %s\n# made by tools/makemodels: %zu vertices, %zu triangles\n", what,
                 m.verts.size(), m.tris.size());
    for (const V3& v : m.verts) std::fprintf(f, "v %f %f %f\n", v.x, v.y, v.z);
    for (size_t g = 0; g < m.groups.size(); ++g) {
        size_t first = m.groups[g].second;
        size_t last = g + 1 < m.groups.size() ? m.groups[g + 1].second : m.tris.size();
        if (first == last) continue;
        std::fprintf(f, "g %s\n", m.groups[g].first.c_str());
        for (size_t t = first; t < last; ++t)
            std::fprintf(f, "f %d %d %d\n", m.tris[t][0] + 1, m.tris[t][1] + 1, m.tris[t][2] + 1);
    }
    bool ok = std::fclose(f) == 0;
    std::printf("%-16s %5zu vertices %5zu triangles\n", path.c_str(), m.verts.size(),
                m.tris.size());
    return ok;
}

// ---------------------------------------------------------------------------------------------
// f-16: nose at z = +1, tail at z = -1, up +y, wings along x. Bounding box x +-0.62, y +-0.32,
// z +-1, so the fit changes nothing; the wheels' lowest point is y = -0.32.

constexpr double kJetHalfHeight = 0.32;

Mesh makeJet() {
    Mesh m;
    const double cy = -0.04;  // fuselage axis height
    m.group("fuselage");
    {
        // Stations along z: (z, radius). Cross sections are octagons, a little wider than high.
        const double st[][2] = {{0.86, 0.035}, {0.68, 0.07},   {0.45, 0.095}, {0.15, 0.10},
                                {-0.55, 0.10}, {-0.85, 0.085}, {-1.0, 0.07}};
        std::vector<Ring> rings;
        rings.push_back({V3{0, cy - 0.02, 1.0}});
        for (const auto& s : st) {
            Ring r;
            for (int i = 0; i < 8; ++i) {
                double a = 2.0 * M_PI * (i + 0.5) / 8;
                r.push_back({s[1] * 1.1 * std::cos(a), cy + s[1] * std::sin(a), s[0]});
            }
            rings.push_back(r);
        }
        loft(m, rings, false, true);
    }
    m.group("canopy");
    {
        // A bubble over the cockpit: half rings from the left side over the top to the right.
        auto half = [&](double z, double w, double h) {
            Ring r;
            const double base = cy + 0.075;
            for (int i = 0; i <= 4; ++i) {
                double a = M_PI * i / 4;
                r.push_back({w * std::cos(a), base + h * std::sin(a), z});
            }
            return r;
        };
        loft(m, {half(0.70, 0.03, 0.02), half(0.60, 0.055, 0.065), half(0.45, 0.055, 0.06),
                 half(0.32, 0.035, 0.03)});
    }
    m.group("intake");
    hexa(
        m,
        {V3{-0.065, -0.20, 0.38},
         {0.065, -0.20, 0.38},
         {0.065, -0.20, -0.05},
         {-0.065, -0.20, -0.05}},
        {V3{-0.07, -0.11, 0.34}, {0.07, -0.11, 0.34}, {0.07, -0.11, -0.05}, {-0.07, -0.11, -0.05}});
    // Wings, stabilisers and gear legs are built for the right side and mirrored.
    m.group("wings");
    size_t v0 = m.verts.size(), t0 = m.tris.size();
    // Cropped delta, leading edge swept 40 degrees, with a strake running forward to the cockpit.
    // The outline starts at the root's trailing edge, so the fan's inner lines run from there and
    // the kink between strake and wing stays visible in the outline drawing.
    plate(m, {{{0.09, -0.54}, {0.085, 0.50}, {0.14, 0.15}, {0.62, -0.27}, {0.62, -0.40}}},
          {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, cy, 0}, 0.025);
    mirrorX(m, v0, t0);
    m.group("stabilisers");
    v0 = m.verts.size();
    t0 = m.tris.size();
    plate(m, {{{0.07, -0.70}, {0.33, -0.90}, {0.33, -0.97}, {0.07, -0.99}}}, {1, 0, 0}, {0, 0, 1},
          {0, 1, 0}, {0, cy - 0.02, 0}, 0.02);
    mirrorX(m, v0, t0);
    m.group("fin");
    plate(m,
          {{{cy + 0.08, -0.42},
            {kJetHalfHeight, -0.76},
            {kJetHalfHeight, -0.90},
            {cy + 0.08, -0.93}}},
          {0, 1, 0}, {0, 0, 1}, {1, 0, 0}, {0, 0, 0}, 0.02);
    m.group("gear");
    // Nose leg under the intake, main legs under the wing roots; wheels reach y = -0.32.
    const double foot = -kJetHalfHeight;
    box(m, {-0.008, foot + 0.03, 0.22}, {0.008, -0.20, 0.25});
    box(m, {-0.012, foot, 0.20}, {0.012, foot + 0.045, 0.27});
    v0 = m.verts.size();
    t0 = m.tris.size();
    box(m, {0.10, foot + 0.03, -0.28}, {0.115, cy - 0.0125, -0.25});
    box(m, {0.095, foot, -0.31}, {0.12, foot + 0.05, -0.22});
    mirrorX(m, v0, t0);
    return m;
}

// ---------------------------------------------------------------------------------------------
// abort (the ship): length along y with the bow at y = -1, height along z. A waterline model: its
// lowest points are the waterline at z = -0.2, its highest the mast top at z = +0.2, its widest the
// deck at x = +-0.11. The fit leaves it unchanged; in the scene it spans y -0.8..0.8 and its bottom
// is the waterline, 0.8 below the ship's centre height.

constexpr double kShipWaterline = -0.2;
constexpr double kShipMastTop = 0.2;
constexpr double kGunDeck = -0.07;   // deck height round the gun at y = -0.76
constexpr double kRadarFoot = 0.15;  // radar tower top at (0, 0.35): the antenna stands on it

Mesh makeShip() {
    Mesh m;
    m.group("hull");
    {
        // Stations: y of the deck edge, y of the waterline edge, deck half-beam, waterline
        // half-beam, deck height.
        struct Station {
            double yd, yw, bd, bw, zd;
        };
        const Station st[] = {
            {-1.00, -0.93, 0.0, 0.0, -0.055},      {-0.85, -0.83, 0.05, 0.03, kGunDeck},
            {-0.65, -0.65, 0.088, 0.07, kGunDeck}, {-0.40, -0.40, 0.106, 0.095, -0.08},
            {-0.10, -0.10, 0.11, 0.10, -0.09},     {0.40, 0.40, 0.11, 0.10, -0.095},
            {0.80, 0.80, 0.10, 0.09, -0.10},       {1.00, 1.00, 0.095, 0.085, -0.10}};
        std::vector<std::array<int, 4>> ids;  // deck left, deck right, waterline left, right
        for (const Station& s : st) {
            std::array<int, 4> r;
            r[0] = m.vert({-s.bd, s.yd, s.zd});
            r[1] = s.bd > 0 ? m.vert({s.bd, s.yd, s.zd}) : r[0];
            r[2] = m.vert({-s.bw, s.yw, kShipWaterline});
            r[3] = s.bw > 0 ? m.vert({s.bw, s.yw, kShipWaterline}) : r[2];
            ids.push_back(r);
        }
        for (size_t k = 0; k + 1 < ids.size(); ++k) {
            const auto& a = ids[k];
            const auto& b = ids[k + 1];
            // Sides (deck edge down to waterline), then the deck across.
            if (a[0] == a[1]) {
                m.tri(a[0], a[2], b[2]);
                m.tri(a[0], b[2], b[0]);
                m.tri(a[1], b[1], b[3]);
                m.tri(a[1], b[3], a[3]);
                m.tri(a[0], b[0], b[1]);
            } else {
                m.quad(a[0], a[2], b[2], b[0]);
                m.quad(a[1], b[1], b[3], a[3]);
                m.quad(a[0], b[0], b[1], a[1]);
            }
        }
        const auto& s = ids.back();
        m.quad(s[0], s[1], s[3], s[2]);  // transom
    }
    const double deck = -0.09;
    m.group("bridge");
    // Forward superstructure with a raked front, wheelhouse on top.
    hexa(m,
         {V3{-0.085, -0.50, deck},
          {0.085, -0.50, deck},
          {0.085, -0.20, deck},
          {-0.085, -0.20, deck}},
         {V3{-0.08, -0.44, 0.0}, {0.08, -0.44, 0.0}, {0.08, -0.20, 0.0}, {-0.08, -0.20, 0.0}});
    hexa(m,
         {V3{-0.065, -0.42, 0.0}, {0.065, -0.42, 0.0}, {0.065, -0.28, 0.0}, {-0.065, -0.28, 0.0}},
         {V3{-0.06, -0.39, 0.045},
          {0.06, -0.39, 0.045},
          {0.06, -0.28, 0.045},
          {-0.06, -0.28, 0.045}});
    m.group("mast");
    taperedBox(m, 0, -0.32, 0.018, 0.018, 0.004, 0.004, 0.045, kShipMastTop);
    box(m, {-0.06, -0.325, 0.14}, {0.06, -0.315, 0.15});  // yard
    m.group("deckhouse");
    hexa(m, {V3{-0.09, -0.20, deck}, {0.09, -0.20, deck}, {0.09, 0.72, deck}, {-0.09, 0.72, deck}},
         {V3{-0.085, -0.20, -0.02},
          {0.085, -0.20, -0.02},
          {0.085, 0.72, -0.02},
          {-0.085, 0.72, -0.02}});
    m.group("funnel");
    hexa(m,
         {V3{-0.045, -0.05, -0.02},
          {0.045, -0.05, -0.02},
          {0.045, 0.17, -0.02},
          {-0.045, 0.17, -0.02}},
         {V3{-0.035, 0.02, 0.09}, {0.035, 0.02, 0.09}, {0.035, 0.20, 0.09}, {-0.035, 0.20, 0.09}});
    m.group("radar tower");
    taperedBox(m, 0, 0.35, 0.04, 0.04, 0.02, 0.02, -0.02, kRadarFoot);
    m.group("hangar");
    box(m, {-0.08, 0.45, -0.02}, {0.08, 0.72, 0.02});
    return m;
}

// ---------------------------------------------------------------------------------------------
// rader1: a bar antenna on a pedestal, spinning about z. Symmetric about the z axis so that it
// turns in place: x +-1, y +-0.12, z +-0.5; the fit leaves it unchanged. The scene scales it by 0.1
// and stands its centre at (0, 0.35, 0.2) on the ship, so its foot is at ship height 0.15.

Mesh makeRadar() {
    Mesh m;
    m.group("pedestal");
    zCylinder(m, 0, 0, 0.12, -0.5, -0.06, 8);
    m.group("yoke");
    box(m, {-0.35, -0.06, -0.06}, {0.35, 0.06, 0.06});
    m.group("array");
    {
        // The radiating face as a lattice of 8 panels, front and back.
        const int n = 8;
        const double z0 = 0.06, z1 = 0.5, d = 0.07;
        std::vector<std::array<int, 4>> col;  // front low, front high, back low, back high
        for (int i = 0; i <= n; ++i) {
            double x = -1.0 + 2.0 * i / n;
            col.push_back(
                {m.vert({x, -d, z0}), m.vert({x, -d, z1}), m.vert({x, d, z0}), m.vert({x, d, z1})});
        }
        for (int i = 0; i < n; ++i) {
            const auto& a = col[i];
            const auto& b = col[i + 1];
            m.quad(a[0], b[0], b[1], a[1]);  // front
            m.quad(a[2], a[3], b[3], b[2]);  // back
        }
        const auto& l = col.front();
        const auto& r = col.back();
        m.quad(l[0], l[1], l[3], l[2]);  // ends
        m.quad(r[0], r[2], r[3], r[1]);
        m.quad(l[1], r[1], r[3], l[3]);  // top
        m.quad(l[0], l[2], r[2], r[0]);  // bottom
    }
    return m;
}

// ---------------------------------------------------------------------------------------------
// pung: the deck gun. A mount ring, a gun house and a barrel that stays inside the ring, so the
// bounding box is centred on the turning axis. The scene draws it at the ship's full scale, where a
// unit-fitted model would be far wider than the ship. The fit measures each axis as |max| + |min|,
// so the gun is built standing on z = 1 - h/2 up to z = 1 + h/2: its z size counts as 2, the fit
// scale is 2 / 2 = 1, and the gun keeps the size it is built at (ring radius 0.045 of the ship's
// half length). Centred by the fit and drawn at ship height -0.05, its foot is at -0.069, on the
// deck at -0.07.

constexpr double kGunHeight = 0.038;

Mesh makePung() {
    Mesh m;
    const double base = 1.0 - kGunHeight / 2;
    m.group("ring");
    zCylinder(m, 0, 0, 0.045, base, base + 0.008, 10);
    m.group("gunhouse");
    const double z0 = base + 0.008, z1 = base + 0.032;
    hexa(m, {V3{-0.024, -0.022, z0}, {-0.024, 0.03, z0}, {0.024, 0.03, z0}, {0.024, -0.022, z0}},
         {V3{-0.018, -0.008, z1}, {-0.018, 0.026, z1}, {0.018, 0.026, z1}, {0.018, -0.008, z1}});
    m.group("barrel");
    // Rising slightly towards the muzzle, whose top is the highest point of the gun.
    const double zb = base + 0.018;
    hexa(m,
         {V3{-0.004, -0.014, zb - 0.004},
          {0.004, -0.014, zb - 0.004},
          {0.004, -0.044, zb + 0.002},
          {-0.004, -0.044, zb + 0.002}},
         {V3{-0.004, -0.014, zb + 0.004},
          {0.004, -0.014, zb + 0.004},
          {0.004, -0.044, base + kGunHeight},
          {-0.004, -0.044, base + kGunHeight}});
    return m;
}

// ---------------------------------------------------------------------------------------------
// hang: the landscape, in scene units first (x across, z towards the viewer, y up) and written in
// the model's frame: model x = x / 20.5, model y = (2 - z) / 20.5, model z = height / 18.5. The
// grid spans model x and y from -1 to 1 exactly. A skirt round the edges goes down to minus the
// highest hill, so the height range is centred on 0 and the fit changes nothing.

constexpr double kWater = -0.9;     // ships' waterline is at -0.8
constexpr double kAirstrip = 1.13;  // jet 1's wheels at 1.23, after landing at 1.14
constexpr double kGrass = 1.0;
constexpr double kStripHalfWidth = 1.0;
constexpr double kStripStart = -10.0, kStripEnd = 20.0;
constexpr double kBank = 1.5;  // width of the slope from water up to land
constexpr double kXMin = -20.5, kXMax = 20.5, kZMin = -18.5, kZMax = 22.5;

double smoothstep(double e0, double e1, double x) {
    double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Inner and outer shore of the channel on one side, as |x|, at z. The ships sail along x = +-12;
// from z = 14.35 on their outward run they drift inwards (ship B at 0.762 units of x per unit of
// z, ship A at 0.457), so the inner shore falls back well ahead of them towards the near edge.
double innerShore(double z) {
    return std::min(9.0, 10.56 - 0.762 * (z - 10.85));
}
double outerShore(double z) {
    return 15.5 + 3.5 * smoothstep(4.0, 22.5, z);
}

// Land height before the shore is cut in: grass at 1.0, hills, the airstrip.
double land(double x, double z) {
    struct Hill {
        double x, z, r, h;
    };
    static const Hill hills[] = {
        // Ridges beyond the channels on both sides.
        {-19.5, -15.0, 4.0, 2.6},
        {-20.0, -6.0, 3.5, 2.2},
        {-19.0, 3.0, 4.0, 2.8},
        {-20.5, 12.0, 3.0, 1.8},
        {19.5, -13.0, 4.0, 2.8},
        {20.0, -4.0, 3.0, 2.0},
        {19.0, 5.0, 4.0, 2.5},
        {20.5, 14.0, 3.0, 1.6},
        // Low hills between the airstrip and the channels.
        {-5.5, -12.0, 2.5, 1.4},
        {5.5, -9.0, 2.6, 1.6},
        {-6.0, -2.0, 2.2, 1.1},
        {6.0, 3.0, 2.0, 0.9},
        {-5.0, 6.0, 1.8, 0.7},
    };
    double h = kGrass;
    for (const Hill& hl : hills) {
        double d2 = ((x - hl.x) * (x - hl.x) + (z - hl.z) * (z - hl.z)) / (hl.r * hl.r);
        h += hl.h * std::exp(-d2);
    }
    // Keep the airfield and the approach over the far edge flat.
    double field = smoothstep(2.5, 4.0, std::fabs(x));
    h = kGrass + (h - kGrass) * field;
    if (std::fabs(x) <= kStripHalfWidth + 1e-9 && z >= kStripStart - 1e-9 && z <= kStripEnd + 1e-9)
        h = kAirstrip;
    return h;
}

double terrain(double x, double z) {
    double u = std::fabs(x);
    double into = std::max(innerShore(z) - u, u - outerShore(z));  // > 0 on land
    if (into <= 0) return kWater;
    if (into >= kBank) return land(x, z);
    return kWater + (land(x, z) - kWater) * smoothstep(0.0, kBank, into);
}

// Grid lines: even steps, plus lines on the airstrip's edges, centre line and ends.
std::vector<double> gridLines(double lo, double hi, int steps, std::vector<double> forced) {
    std::vector<double> lines;
    for (int i = 0; i <= steps; ++i) {
        double v = lo + (hi - lo) * i / steps;
        bool nearForced = false;
        for (double f : forced) nearForced |= std::fabs(v - f) < 0.3 * (hi - lo) / steps;
        if (!nearForced || i == 0 || i == steps) lines.push_back(v);
    }
    for (double f : forced) lines.push_back(f);
    std::sort(lines.begin(), lines.end());
    return lines;
}

Mesh makeHang() {
    const std::vector<double> xs =
        gridLines(kXMin, kXMax, 48, {-kStripHalfWidth, 0.0, kStripHalfWidth});
    const std::vector<double> zs = gridLines(kZMin, kZMax, 48, {kStripStart, kStripEnd});
    const size_t nx = xs.size(), nz = zs.size();
    std::vector<double> h(nx * nz);
    double hill = 0;
    for (size_t j = 0; j < nz; ++j)
        for (size_t i = 0; i < nx; ++i) {
            h[j * nx + i] = terrain(xs[i], zs[j]);
            hill = std::max(hill, h[j * nx + i]);
        }
    auto model = [](double x, double z, double y) {
        return V3{x / 20.5, (2.0 - z) / 20.5, y / 18.5};
    };

    Mesh m;
    m.group("terrain");
    std::vector<int> id(nx * nz);
    for (size_t j = 0; j < nz; ++j)
        for (size_t i = 0; i < nx; ++i) id[j * nx + i] = m.vert(model(xs[i], zs[j], h[j * nx + i]));
    // Flat stretches (water, airstrip, the grass round it) are covered by larger quads, so that in
    // the outline picture water reads as calm and the airstrip as one long band, and the frame
    // draws fewer triangles. Lines ending on a long edge need no matching vertex: the quads are
    // flat.
    auto flatLevel = [&](size_t i, size_t j) {
        double v = h[j * nx + i];
        bool flat =
            v == h[j * nx + i + 1] && v == h[(j + 1) * nx + i] && v == h[(j + 1) * nx + i + 1];
        return flat && (v == kWater || v == kAirstrip || v == kGrass) ? v : NAN;
    };
    std::vector<char> done((nx - 1) * (nz - 1), 0);
    for (size_t j = 0; j + 1 < nz; ++j)
        for (size_t i = 0; i + 1 < nx; ++i) {
            if (done[j * (nx - 1) + i]) continue;
            double level = flatLevel(i, j);
            size_t w = 1, d = 1;
            if (!std::isnan(level)) {
                const size_t maxW = level == kAirstrip ? 1 : 5, maxD = level == kAirstrip ? 12 : 5;
                while (w < maxW && i + w + 1 < nx && !done[j * (nx - 1) + i + w] &&
                       flatLevel(i + w, j) == level)
                    ++w;
                auto rowFlat = [&](size_t jj) {
                    for (size_t ii = i; ii < i + w; ++ii)
                        if (done[jj * (nx - 1) + ii] || flatLevel(ii, jj) != level) return false;
                    return true;
                };
                while (d < maxD && j + d + 1 < nz && rowFlat(j + d)) ++d;
            }
            for (size_t jj = j; jj < j + d; ++jj)
                for (size_t ii = i; ii < i + w; ++ii) done[jj * (nx - 1) + ii] = 1;
            int a = id[j * nx + i], b = id[j * nx + i + w];
            int c = id[(j + d) * nx + i + w], e = id[(j + d) * nx + i];
            // Model y runs against scene z: keep the faces counter-clockwise seen from above.
            m.quad(a, e, c, b);
        }
    // The skirt: walls round the border down to the base, which lies as far below 0 as the highest
    // hill is above it. Each wall is fanned from a few base points to keep its lines sparse.
    m.group("skirt");
    auto wall = [&](const std::vector<size_t>& top) {
        const size_t n = top.size() - 1, step = 4;
        std::vector<size_t> at;  // positions along the wall that get a base point
        for (size_t k = 0; k < n; k += step) at.push_back(k);
        if (at.back() != n) at.push_back(n);
        std::vector<int> base;
        for (size_t k : at) base.push_back(m.vert(model(xs[top[k] % nx], zs[top[k] / nx], -hill)));
        for (size_t q = 0; q + 1 < at.size(); ++q) {
            size_t lo = at[q], hi = at[q + 1], mid = (lo + hi) / 2;
            for (size_t k = lo; k < hi; ++k)
                m.tri(k < mid ? base[q] : base[q + 1], id[top[k + 1]], id[top[k]]);
            m.tri(base[q], base[q + 1], id[top[mid]]);
        }
    };
    std::vector<size_t> side;
    for (size_t i = 0; i < nx; ++i) side.push_back(i);
    wall(side);
    side.clear();
    for (size_t j = 0; j < nz; ++j) side.push_back(j * nx + nx - 1);
    wall(side);
    side.clear();
    for (size_t i = nx; i-- > 0;) side.push_back((nz - 1) * nx + i);
    wall(side);
    side.clear();
    for (size_t j = nz; j-- > 0;) side.push_back(j * nx);
    wall(side);
    std::printf("landscape: water %.2f, airstrip %.2f, highest hill %.4f, base %.4f\n", kWater,
                kAirstrip, hill, -hill);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : "data";
    bool ok = true;
    ok &= writeObj(makeJet(), dir + "/f-16.obj", "f-16: a fighter jet, nose +z, up +y");
    ok &= writeObj(makeHang(), dir + "/hang.obj", "hang: the landscape, z up");
    ok &= writeObj(makeShip(), dir + "/abort.obj", "abort: a ship, bow -y, up +z");
    ok &= writeObj(makeRadar(), dir + "/rader1.obj", "rader1: a radar antenna, turns about z");
    ok &= writeObj(makePung(), dir + "/pung.obj", "pung: a deck gun, turns about z");
    return ok ? 0 : 1;
}
