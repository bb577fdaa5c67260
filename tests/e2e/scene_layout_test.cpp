// Where the committed models end up in the scene, and whether the picture makes sense: the scene's
// own object operations draw the real data/*.obj files into the GL recorder, and the recorded
// matrix calls and vertices are replayed here into scene coordinates. The animation is driven by
// the scene's own step functions. So these checks follow the models through the real reader, the
// real unit fit and the real transforms: the airstrip lies just under jet 1's wheels, the ships
// float just above the water all along their run, nothing sinks into the ground, the parts stand on
// the ship, and a frame stays within its triangle budget.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gl_recorder.h"
#include "scene_state.h"

namespace {

using Vec = std::array<double, 3>;
using Mat = std::array<double, 16>;  // column-major, as GL keeps it

Mat identity() {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

Mat multiply(const Mat& a, const Mat& b) {
    Mat r{};
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 4; ++row)
            for (int k = 0; k < 4; ++k) r[c * 4 + row] += a[k * 4 + row] * b[c * 4 + k];
    return r;
}

Mat rotation(double angle, double x, double y, double z) {
    double n = std::sqrt(x * x + y * y + z * z);
    x /= n, y /= n, z /= n;
    double c = std::cos(angle * M_PI / 180), s = std::sin(angle * M_PI / 180), t = 1 - c;
    return {x * x * t + c,
            y * x * t + z * s,
            x * z * t - y * s,
            0,
            x * y * t - z * s,
            y * y * t + c,
            y * z * t + x * s,
            0,
            x * z * t + y * s,
            y * z * t - x * s,
            z * z * t + c,
            0,
            0,
            0,
            0,
            1};
}

Vec apply(const Mat& m, const Vec& p) {
    return {m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12],
            m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13],
            m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14]};
}

enum Colour { kOther, kBlue, kGreen, kYellow, kRed };

// One outlined triangle as it lands in the scene, with the colour it was drawn in.
struct Tri {
    Colour colour;
    std::array<Vec, 3> v;
};

// Replays recorded calls (matrix operations, colours, line loops) into scene-space triangles.
std::vector<Tri> replay(const std::vector<std::string>& calls) {
    std::vector<Tri> tris;
    std::vector<Mat> stack{identity()};
    Colour colour = kOther;
    std::vector<Vec> loop;
    for (const std::string& text : calls) {
        size_t open = text.find('(');
        std::string name = text.substr(0, open);
        std::vector<double> a;
        const char* p = text.c_str() + open + 1;
        while (*p) {
            char* end;
            double v = std::strtod(p, &end);
            if (end != p) {
                a.push_back(v);
                p = end;
            } else {
                ++p;
            }
        }
        Mat& top = stack.back();
        if (name == "glPushMatrix") {
            stack.push_back(top);
        } else if (name == "glPopMatrix") {
            stack.pop_back();
        } else if (name == "glTranslatef") {
            Mat t = identity();
            t[12] = a[0], t[13] = a[1], t[14] = a[2];
            top = multiply(top, t);
        } else if (name == "glScalef") {
            Mat s = identity();
            s[0] = a[0], s[5] = a[1], s[10] = a[2];
            top = multiply(top, s);
        } else if (name == "glRotatef") {
            top = multiply(top, rotation(a[0], a[1], a[2], a[3]));
        } else if (name == "glColor3f") {
            colour = a[0] == 0 && a[1] == 0 && a[2] == 1   ? kBlue
                     : a[0] == 0 && a[1] == 1 && a[2] == 0 ? kGreen
                     : a[0] == 1 && a[1] == 1 && a[2] == 0 ? kYellow
                     : a[0] == 1 && a[1] == 0 && a[2] == 0 ? kRed
                                                           : kOther;
        } else if (name == "glBegin") {
            loop.clear();
        } else if (name == "glVertex3fv" || name == "glVertex3f") {
            loop.push_back(apply(top, {a[0], a[1], a[2]}));
        } else if (name == "glEnd" && loop.size() == 3) {
            tris.push_back({colour, {loop[0], loop[1], loop[2]}});
        }
    }
    return tris;
}

template <class F>
std::vector<Tri> drawn(F&& draw) {
    glrec::clear();
    draw();
    std::vector<Tri> tris = replay(glrec::calls());
    glrec::clear();
    return tris;
}

// Heights of the landscape's upper surface, looked up in a bucket grid over x and z.
class Ground {
public:
    explicit Ground(const std::vector<Tri>& hang) {
        for (const Tri& t : hang) {
            double area = (t.v[1][0] - t.v[0][0]) * (t.v[2][2] - t.v[0][2]) -
                          (t.v[2][0] - t.v[0][0]) * (t.v[1][2] - t.v[0][2]);
            if (std::fabs(area) < 1e-9) continue;  // the skirt's upright walls
            tris_.push_back(t);
            for (int k = 0; k < 3; ++k) {
                lo_[0] = std::min(lo_[0], t.v[k][0]), hi_[0] = std::max(hi_[0], t.v[k][0]);
                lo_[1] = std::min(lo_[1], t.v[k][2]), hi_[1] = std::max(hi_[1], t.v[k][2]);
            }
        }
        buckets_.resize(kCells * kCells);
        for (size_t i = 0; i < tris_.size(); ++i) {
            const Tri& t = tris_[i];
            double x0 = std::min({t.v[0][0], t.v[1][0], t.v[2][0]});
            double x1 = std::max({t.v[0][0], t.v[1][0], t.v[2][0]});
            double z0 = std::min({t.v[0][2], t.v[1][2], t.v[2][2]});
            double z1 = std::max({t.v[0][2], t.v[1][2], t.v[2][2]});
            for (int cz = cell(z0, 1); cz <= cell(z1, 1); ++cz)
                for (int cx = cell(x0, 0); cx <= cell(x1, 0); ++cx)
                    buckets_[cz * kCells + cx].push_back(i);
        }
    }

    bool covers(double x, double z) const {
        return x >= lo_[0] && x <= hi_[0] && z >= lo_[1] && z <= hi_[1];
    }
    double minX() const { return lo_[0]; }
    double maxX() const { return hi_[0]; }
    double minZ() const { return lo_[1]; }
    double maxZ() const { return hi_[1]; }

    // The highest surface over (x, z); NAN outside the landscape.
    double height(double x, double z) const {
        if (!covers(x, z)) return NAN;
        double best = NAN;
        for (size_t i : buckets_[cell(z, 1) * kCells + cell(x, 0)]) {
            const Tri& t = tris_[i];
            const Vec &a = t.v[0], &b = t.v[1], &c = t.v[2];
            double d = (b[0] - a[0]) * (c[2] - a[2]) - (c[0] - a[0]) * (b[2] - a[2]);
            double u = ((b[0] - x) * (c[2] - z) - (c[0] - x) * (b[2] - z)) / d;
            double v = ((c[0] - x) * (a[2] - z) - (a[0] - x) * (c[2] - z)) / d;
            double w = 1 - u - v;
            const double eps = -1e-9;
            if (u < eps || v < eps || w < eps) continue;
            double h = u * a[1] + v * b[1] + w * c[1];
            if (std::isnan(best) || h > best) best = h;
        }
        return best;
    }

private:
    static constexpr int kCells = 64;
    int cell(double v, int axis) const {
        double t = (v - lo_[axis]) / (hi_[axis] - lo_[axis]);
        return std::clamp(static_cast<int>(t * kCells), 0, kCells - 1);
    }
    std::vector<Tri> tris_;
    std::vector<std::vector<size_t>> buckets_;
    double lo_[2] = {1e30, 1e30}, hi_[2] = {-1e30, -1e30};
};

double lowest(const std::vector<Tri>& tris, Colour colour) {
    double y = INFINITY;
    for (const Tri& t : tris)
        if (t.colour == colour)
            for (const Vec& v : t.v) y = std::min(y, v[1]);
    return y;
}

class SceneLayout : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        previous_ = new std::filesystem::path(std::filesystem::current_path());
        std::filesystem::current_path(TARVOSSA_SOURCE_DIR);
        sceneState = SceneState{};
        ground_ = new Ground(drawn(drawHang));
    }
    static void TearDownTestSuite() {
        std::filesystem::current_path(*previous_);
        delete previous_;
        delete ground_;
    }
    void SetUp() override {
        // Fresh motion state; the models read by earlier tests stay in their slots.
        SceneState fresh;
        fresh.f16Model = sceneState.f16Model;
        fresh.hangModel = sceneState.hangModel;
        fresh.abortModel = sceneState.abortModel;
        fresh.rader1Model = sceneState.rader1Model;
        fresh.pungModel = sceneState.pungModel;
        sceneState = fresh;
    }

    static const Ground& ground() { return *ground_; }

    static std::filesystem::path* previous_;
    static Ground* ground_;
};

std::filesystem::path* SceneLayout::previous_ = nullptr;
Ground* SceneLayout::ground_ = nullptr;

// Everything of `tris` over the landscape stays above the ground by at least `clearance`.
void expectAboveGround(const Ground& ground, const std::vector<Tri>& tris, double clearance,
                       const std::string& what) {
    int reported = 0;
    for (const Tri& t : tris)
        for (const Vec& v : t.v) {
            double h = ground.height(v[0], v[2]);
            if (std::isnan(h) || v[1] - h >= clearance) continue;
            if (reported++ < 3)
                ADD_FAILURE() << what << ": point (" << v[0] << ", " << v[1] << ", " << v[2]
                              << ") is " << v[1] - h << " above the ground at " << h;
        }
}

TEST_F(SceneLayout, LandscapeSpansItsPlaceInTheScene) {
    // The fit leaves the landscape 2 x 2 in plan; the scene scales it to 41 x 41 and moves it by 2.
    EXPECT_NEAR(ground().minX(), -20.5, 1e-4);
    EXPECT_NEAR(ground().maxX(), 20.5, 1e-4);
    EXPECT_NEAR(ground().minZ(), -18.5, 1e-4);
    EXPECT_NEAR(ground().maxZ(), 22.5, 1e-4);
}

TEST_F(SceneLayout, Jet1WheelsRestJustAboveTheAirstrip) {
    std::vector<Tri> jet = drawn(drawJet1);
    double wheels = lowest(jet, kBlue);
    std::vector<double> gaps;
    for (const Tri& t : jet)
        for (const Vec& v : t.v)
            if (v[1] < wheels + 1e-3) gaps.push_back(v[1] - ground().height(v[0], v[2]));
    ASSERT_FALSE(gaps.empty());
    for (double gap : gaps) {
        // After a landing jet 1 rests 0.0900123 lower than at the start: the strip leaves room.
        EXPECT_GT(gap, 0.0900123 + 0.002);
        EXPECT_LT(gap, 0.2) << "the airstrip should lie just under the wheels";
    }
}

TEST_F(SceneLayout, Jet1NeverTouchesTheGroundOnItsFlight) {
    sceneState.jetSequence = JET_DEPART;
    int frames = 0;
    bool airborne = false, landed = false;
    do {
        std::vector<Tri> jet = drawn(drawJet1);
        airborne |= sceneState.jetRise > 5;
        expectAboveGround(ground(), jet, 0.005, "jet 1 at frame " + std::to_string(frames));
        if (HasFailure()) return;
        stepJetSequence();
        landed = sceneState.jetSequence == JET_IDLE;
    } while (!landed && ++frames < 400);
    EXPECT_TRUE(airborne);
    EXPECT_TRUE(landed);
    // Resting where the sequence leaves it, it still stands on the strip.
    expectAboveGround(ground(), drawn(drawJet1), 0.002, "jet 1 after landing");
}

TEST_F(SceneLayout, FormationFliesWellAboveTheHills) {
    for (auto draw : {drawJet2, drawJet3, drawJet4, drawJet5, drawJet6})
        expectAboveGround(ground(), drawn(draw), 4.0, "formation jet");
}

// The hull's lowest outline (its waterline) and points along it, for ship A and ship B.
std::vector<Vec> waterline(const std::vector<Tri>& tris) {
    double bottom = lowest(tris, kYellow);
    std::vector<Vec> points;
    for (const Tri& t : tris) {
        if (t.colour != kYellow) continue;
        for (int k = 0; k < 3; ++k) {
            const Vec& a = t.v[k];
            const Vec& b = t.v[(k + 1) % 3];
            if (a[1] > bottom + 1e-4 || b[1] > bottom + 1e-4) continue;
            for (int s = 0; s <= 8; ++s) {
                double f = s / 8.0;
                points.push_back({a[0] + (b[0] - a[0]) * f, bottom, a[2] + (b[2] - a[2]) * f});
            }
        }
    }
    return points;
}

TEST_F(SceneLayout, ShipsFloatJustAboveTheWaterAllAlongTheirRun) {
    sceneState.shipSequence = SHIPS_OUTBOUND;
    int frames = 0, overLand = 0;
    do {
        for (auto draw : {drawShipA, drawShipB}) {
            std::vector<Tri> ship = drawn(draw);
            for (const Vec& p : waterline(ship)) {
                double h = ground().height(p[0], p[2]);
                if (std::isnan(h)) continue;
                ++overLand;
                double gap = p[1] - h;
                if (gap < 0.05 || gap > 0.2) {
                    ADD_FAILURE() << "frame " << frames << ": waterline at (" << p[0] << ", "
                                  << p[1] << ", " << p[2] << ") is " << gap << " above the ground";
                    return;
                }
            }
            expectAboveGround(ground(), ship, 0.05, "ship at frame " + std::to_string(frames));
            if (HasFailure()) return;
        }
        stepShipSequence();
    } while (sceneState.shipSequence != SHIPS_IDLE && ++frames < 1000);
    EXPECT_EQ(sceneState.shipSequence, SHIPS_IDLE);
    EXPECT_GT(overLand, 10000);  // most of the run is over the landscape's water
}

// Ship A alone, with its parts told apart by drawing order: hull, then the radar, then the gun.
struct ShipParts {
    std::vector<Tri> hull, radar, gun;
};

ShipParts shipParts() {
    ShipParts parts;
    std::vector<Tri> all = drawn(drawShipA);
    bool radarDone = false;
    double radarCentreZ = NAN;
    for (const Tri& t : all) {
        if (t.colour == kYellow) {
            parts.hull.push_back(t);
            continue;
        }
        // The first red model drawn is the radar; the gun follows. The two stand 0.35 * 3.5 and
        // 0.76 * 3.5 scene units from the ship's centre, on either side of it.
        if (std::isnan(radarCentreZ)) radarCentreZ = t.v[0][2];
        radarDone |= std::fabs(t.v[0][2] - radarCentreZ) > 2.0;
        (radarDone ? parts.gun : parts.radar).push_back(t);
    }
    return parts;
}

// Height of the hull's highest surface over (x, z), or NAN where the hull is not.
double hullTop(const std::vector<Tri>& hull, double x, double z) {
    Ground g(hull);
    return g.height(x, z);
}

TEST_F(SceneLayout, RadarStandsOnItsTowerAndGunOnTheForedeck) {
    ShipParts parts = shipParts();
    ASSERT_FALSE(parts.radar.empty());
    ASSERT_FALSE(parts.gun.empty());
    double radarFoot = lowest(parts.radar, kRed);
    double gunFoot = lowest(parts.gun, kRed);
    // Under each part's centre: the hull's highest surface there.
    auto centre = [](const std::vector<Tri>& tris) {
        Vec lo{1e30, 1e30, 1e30}, hi{-1e30, -1e30, -1e30};
        for (const Tri& t : tris)
            for (const Vec& v : t.v)
                for (int k = 0; k < 3; ++k)
                    lo[k] = std::min(lo[k], v[k]), hi[k] = std::max(hi[k], v[k]);
        return Vec{(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
    };
    Vec rc = centre(parts.radar), gc = centre(parts.gun);
    double tower = hullTop(parts.hull, rc[0], rc[2]);
    double deck = hullTop(parts.hull, gc[0], gc[2]);
    ASSERT_FALSE(std::isnan(tower));
    ASSERT_FALSE(std::isnan(deck));
    EXPECT_GE(radarFoot, tower - 1e-4) << "radar sunk into its tower";
    EXPECT_LT(radarFoot, tower + 0.02) << "radar floats above its tower";
    EXPECT_GE(gunFoot, deck - 1e-4) << "gun sunk into the deck";
    EXPECT_LT(gunFoot, deck + 0.02) << "gun floats above the deck";
    // The gun swings through a full half turn: everything it can reach lies over the deck.
    double reach = 0;
    for (const Tri& t : parts.gun)
        for (const Vec& v : t.v)
            reach = std::max(reach, std::hypot((v[0] - gc[0]) / 4.0, (v[2] - gc[2]) / 3.5));
    for (int i = 0; i < 32; ++i) {
        double a = 2 * M_PI * i / 32;
        double x = gc[0] + 4.0 * reach * std::cos(a), z = gc[2] + 3.5 * reach * std::sin(a);
        EXPECT_FALSE(std::isnan(hullTop(parts.hull, x, z)))
            << "gun reaches over the side at angle " << i;
    }
    // A deck gun, not a gun the size of the ship: the fit has shrunk it to a fraction of the hull.
    double hullLength = 0;
    for (const Tri& t : parts.hull)
        for (const Vec& v : t.v) hullLength = std::max(hullLength, std::fabs(v[2] - gc[2]));
    EXPECT_LT(reach * 3.5, hullLength / 10);
}

TEST_F(SceneLayout, AFrameDrawsNearTenThousandTriangles) {
    onReshape(1200, 1000);
    glrec::clear();
    onDisplay();
    size_t loops =
        std::count(glrec::calls().begin(), glrec::calls().end(), "glBegin(GL_LINE_LOOP)");
    glrec::clear();
    EXPECT_GT(loops, 2000u);
    EXPECT_LE(loops, 10500u);
}

}  // namespace
