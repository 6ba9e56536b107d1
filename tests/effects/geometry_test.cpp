// Whole frames of each sphere scene checked by their geometry: where every field
// triangle and every sphere vertex lies, for several elapsed times.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <ostream>
#include <string>

#include "assets.h"
#include "doubles.h"
#include "effects.h"
#include "frames.h"

using frames::TexturedVertex;
using frames::Vec3;

namespace {

struct SceneGeometry {
    const char *name;
    void (*scene)(int);
    int number;
    // the field
    double cornerOffset, spacing;
    int rays, perRay;
    // the sphere
    double columnWaves, rowWaves, columnDrift, rowDrift, amplitude;
};

void PrintTo(const SceneGeometry &c, std::ostream *out) { *out << c.name; }

const SceneGeometry sceneGeometries[] = {
    {"Orange", sceneOrange, 1, 2.1, 0.05, 201, 200, 7, 3, 31, 13, 0.0},
    {"Blue", sceneBlue, 2, 2.8, 0.09, 401, 100, 7, 3, 3.1, 1.3, 0.2},
    {"Green", sceneGreen, 3, 2.8, 0.01, 71, 300, 17, 13, 3.1, 1.3, 0.2},
};

// The sphere's angle steps are decimals of their own, close to pi/64 and pi/32 but
// far enough off to matter where the wobble's phase runs into the millions.
const double gridStep = 0.0490873859375;
const double columnWaveStep = 0.049087385625;
const double rowWaveStep = 0.09817477125;

const int frameTimes[] = {0, 1000, -2500, 12345, 600000, INT_MAX};

double angleBetween(double a, double b) { return std::fabs(std::remainder(a - b, 2 * M_PI)); }

// The centre of the circle through three points, relative to the first.
Vec3 circumcentre(const Vec3 &p, const Vec3 &q, const Vec3 &r)
{
    const double bx = q.x - p.x, by = q.y - p.y, cx = r.x - p.x, cy = r.y - p.y;
    const double d = 2 * (bx * cy - by * cx);
    const double b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
    return {p.x + (cy * b2 - by * c2) / d, p.y + (bx * c2 - cx * b2) / d, 0};
}

// Largest deviations over a frame, so that one message tells the whole story.
struct Worst {
    double value = 0;
    std::string where;
    void note(double deviation, const std::string &at)
    {
        if (deviation > value) {
            value = deviation;
            where = at;
        }
    }
};

class SceneGeometryTest : public ::testing::TestWithParam<SceneGeometry> {
protected:
    void SetUp() override
    {
        unsigned state = 777;
        for (unsigned char &h : heightMap) {
            state = state * 1103515245u + 12345u;
            h = (state >> 16) & 0xFF;
        }
    }
    void drawFrame(int ms)
    {
        resetDoubles();
        loadedSceneAssets = GetParam().number; // the assets count as loaded
        GetParam().scene(ms);
    }
};

// Triangle (i, j): corners 0.03 from its centre at the spin angle 0.1 i T and that
// angle plus and minus the corner offset, in that order; its centre j x spacing from
// the origin at the ray angle i + T / 4.
TEST_P(SceneGeometryTest, FieldTrianglesSitOnTheirRays)
{
    const SceneGeometry &g = GetParam();
    for (int ms : frameTimes) {
        drawFrame(ms);
        const double time = float(ms * 0.003);
        const std::vector<Vec3> v = frames::verticesOf(frames::primitive(GL_TRIANGLES));
        ASSERT_EQ(v.size(), size_t(g.rays) * g.perRay * 3);
        Worst radius, centre, corner;
        for (int i = 1; i <= g.rays; i++) {
            const double rayAngle = i + time / 4;
            const double spin = 0.1 * i * time;
            const double offsets[3] = {0, g.cornerOffset, -g.cornerOffset};
            for (int j = 1; j <= g.perRay; j++) {
                const Vec3 *t = &v[(size_t(i - 1) * g.perRay + (j - 1)) * 3];
                const Vec3 c = circumcentre(t[0], t[1], t[2]);
                const std::string at = std::to_string(ms) + " ms, ray " + std::to_string(i) +
                                       ", position " + std::to_string(j);
                centre.note(std::hypot(c.x - j * g.spacing * std::sin(rayAngle),
                                       c.y - j * g.spacing * std::cos(rayAngle)),
                            at);
                for (int k = 0; k < 3; k++) {
                    const double dx = t[k].x - c.x, dy = t[k].y - c.y;
                    radius.note(std::fabs(std::hypot(dx, dy) - 0.03), at);
                    corner.note(angleBetween(std::atan2(dx, dy), spin + offsets[k]), at);
                }
            }
        }
        EXPECT_LT(radius.value, 1e-5) << radius.where;
        EXPECT_LT(centre.value, 1e-5) << centre.where;
        EXPECT_LT(corner.value, 1e-3) << corner.where;
    }
}

// Every sphere vertex lies r x W / 256 from the origin, mirrored through it, in the
// direction of its grid point's longitude and polar angle.
TEST_P(SceneGeometryTest, SphereVerticesSitAtTheirRadii)
{
    const SceneGeometry &g = GetParam();
    for (int ms : frameTimes) {
        drawFrame(ms);
        const float time = float(ms * 0.003);
        const float columnShift = float(time * g.columnDrift);
        const float rowShift = float(time * g.rowDrift);
        const std::vector<TexturedVertex> v = frames::texturedVertices();
        ASSERT_EQ(v.size(), 4160u);
        Worst off;
        for (size_t k = 0; k < v.size(); k++) {
            const int a = int(std::lround(v[k].s * 64)), b = int(std::lround(v[k].t * 32));
            const bool fan = k >= 31 * 130;
            const double w =
                fan ? 1.0
                    : 1 + g.amplitude * std::sin((b + double(rowShift)) * 2 * g.rowWaves *
                                                 rowWaveStep) +
                          g.amplitude * std::sin((a + double(columnShift)) * 2 * g.columnWaves *
                                                 columnWaveStep);
            const double distance = heightMap[(b % 32) * 64 + a % 64] * w / 256;
            const double theta = 2 * b * gridStep, phi = 2 * a * gridStep;
            const Vec3 expected = {-distance * std::sin(theta) * std::sin(phi),
                                   -distance * std::cos(theta),
                                   -distance * std::sin(theta) * std::cos(phi)};
            off.note(std::max({std::fabs(v[k].x - expected.x), std::fabs(v[k].y - expected.y),
                               std::fabs(v[k].z - expected.z)}),
                     std::to_string(ms) + " ms, vertex " + std::to_string(k));
        }
        EXPECT_LT(off.value, 2e-6) << off.where;
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, SceneGeometryTest, ::testing::ValuesIn(sceneGeometries),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
