// The triangle field: its calls and counts per row, the first triangles at known times,
// and the turn and spin angles read back from the emitted corners.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <climits>
#include <cmath>
#include <ostream>
#include <string>

#include "doubles.h"
#include "effects.h"
#include "frames.h"

using frames::Vec3;

namespace {

void resetField()
{
    resetDoubles();
    loadedSceneAssets = 1; // sceneOrange's assets count as loaded: no files are read
}

struct FieldRowCase {
    const char *name;
    const TriangleFieldParams *row;
    float color[4];
    long vertices;
};

void PrintTo(const FieldRowCase &c, std::ostream *out) { *out << c.name; }

const FieldRowCase fieldRowCases[] = {
    {"Orange", &orangeField, {1.0f, 0.7f, 0.1f, 0.2f}, 120600},
    {"Blue", &blueField, {0.1f, 0.7f, 1.0f, 0.2f}, 120300},
    {"Green", &greenField, {0.1f, 0.9f, 0.1f, 0.2f}, 63900},
};

class FieldRowTest : public ::testing::TestWithParam<FieldRowCase> {};

TEST_P(FieldRowTest, OneTrianglePairWithTheColourFirst)
{
    const FieldRowCase &c = GetParam();
    resetField();
    drawTriangleField(2500, *c.row);

    const std::vector<GlCall> &calls = doubles().calls;
    ASSERT_EQ(long(calls.size()), c.vertices + 5);
    EXPECT_STREQ(calls[0].name, "glLoadIdentity");
    EXPECT_STREQ(calls[1].name, "glScalef");
    EXPECT_EQ(std::vector<double>(calls[1].args, calls[1].args + 3),
              (std::vector<double>{0.75, 1.0, 1.0}));
    EXPECT_STREQ(calls[2].name, "glBegin");
    EXPECT_EQ(calls[2].args[0], GL_TRIANGLES);
    EXPECT_STREQ(calls[3].name, "glColor4f");
    for (int k = 0; k < 4; k++)
        EXPECT_EQ(calls[3].args[k], c.color[k]) << "component " << k;
    EXPECT_EQ(countCalls("glVertex3f"), c.vertices);
    EXPECT_STREQ(calls.back().name, "glEnd");
    for (const Vec3 &v : frames::verticesOf(calls))
        ASSERT_EQ(v.z, 0.0);
}

INSTANTIATE_TEST_SUITE_P(Rows, FieldRowTest, ::testing::ValuesIn(fieldRowCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct FirstTriangleCase {
    const char *name;
    int elapsedMs;
    double corners[3][2];
};

void PrintTo(const FirstTriangleCase &c, std::ostream *out) { *out << c.name; }

const FirstTriangleCase firstTriangleCases[] = {
    {"AtZero", 0, {{0.042, 0.057}, {0.068, 0.012}, {0.016, 0.012}}},
    {"AtOneSecond", 1000, {{0.058, 0.020}, {0.069, -0.031}, {0.020, -0.016}}},
};

class FirstTriangleTest : public ::testing::TestWithParam<FirstTriangleCase> {};

TEST_P(FirstTriangleTest, RayOneInSceneOrange)
{
    const FirstTriangleCase &c = GetParam();
    resetField();
    doubles().recordGeometry = true;
    sceneOrange(c.elapsedMs);
    const std::vector<Vec3> field = frames::verticesOf(frames::primitive(GL_TRIANGLES));
    ASSERT_GE(field.size(), 3u);
    for (int k = 0; k < 3; k++) {
        EXPECT_NEAR(field[k].x, c.corners[k][0], 0.0005) << "corner " << k;
        EXPECT_NEAR(field[k].y, c.corners[k][1], 0.0005) << "corner " << k;
    }
}

INSTANTIATE_TEST_SUITE_P(SceneOrange, FirstTriangleTest, ::testing::ValuesIn(firstTriangleCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The angles of one triangle as read from its corners: with the corner offset o, the
// second corner minus the third is 0.06 sin(o) (cos spin, -sin spin).
struct TriangleAngles {
    double spin, rayAngle, distance;
};

TriangleAngles anglesOf(const Vec3 corners[3], double cornerOffset)
{
    const double dx = corners[1].x - corners[2].x, dy = corners[1].y - corners[2].y;
    const double spin = std::atan2(-dy / std::sin(cornerOffset), dx / std::sin(cornerOffset));
    const double cx = corners[0].x - 0.03 * std::sin(spin);
    const double cy = corners[0].y - 0.03 * std::cos(spin);
    return {spin, std::atan2(cx, cy), std::hypot(cx, cy)};
}

double angleBetween(double a, double b) { return std::fabs(std::remainder(a - b, 2 * M_PI)); }

// The float nearest 37.035, the time value for 12,345 ms.
const double time12345 = 37.03499984741211;

struct RayAngleCase {
    const char *name;
    int elapsedMs;
    int ray;
    double rayAngle; // radians clockwise from straight up
    double spin;     // of the first corner about the centre
};

void PrintTo(const RayAngleCase &c, std::ostream *out) { *out << c.name; }

const RayAngleCase rayAngleCases[] = {
    {"ZeroRayOne", 0, 1, 1.0, 0.0},
    {"OneSecondRayOne", 1000, 1, 1.75, 0.3},
    {"NegativeTurnsBackRayOne", -1000, 1, 0.25, -0.3},
    {"NegativeSpinsBackLastRay", -1000, 201, 200.25, -60.3},
    {"FloatTimeLastRay", 12345, 201, 201 + time12345 * 0.25, 20.1 * time12345},
    {"LongestRunLastRay", INT_MAX, 201, 201 + 6442451.0 * 0.25, 20.1 * 6442451.0},
};

class RayAngleTest : public ::testing::TestWithParam<RayAngleCase> {};

TEST_P(RayAngleTest, FirstTriangleOfTheRay)
{
    const RayAngleCase &c = GetParam();
    resetField();
    drawTriangleField(c.elapsedMs, orangeField);
    const std::vector<Vec3> field = frames::verticesOf(doubles().calls);
    const Vec3 *triangle = &field[size_t(c.ray - 1) * 200 * 3];
    const TriangleAngles seen = anglesOf(triangle, 2.1);
    EXPECT_LT(angleBetween(seen.spin, c.spin), 5e-7);
    EXPECT_LT(angleBetween(seen.rayAngle, c.rayAngle), 5e-6);
    EXPECT_NEAR(seen.distance, 0.05, 1e-7);
}

INSTANTIATE_TEST_SUITE_P(Times, RayAngleTest, ::testing::ValuesIn(rayAngleCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(FieldTime, IsTheFloatNearestTheProductNotTheProduct)
{
    resetField();
    drawTriangleField(12345, orangeField);
    const std::vector<Vec3> field = frames::verticesOf(doubles().calls);
    const TriangleAngles lastRay = anglesOf(&field[200 * 200 * 3], 2.1);
    // Ray 201 spins by 20.1 T: the float and the exact product lie 3e-6 radians apart.
    EXPECT_LT(angleBetween(lastRay.spin, 20.1 * time12345), 5e-7);
    EXPECT_GT(angleBetween(lastRay.spin, 20.1 * 37.035), 2e-6);
}

} // namespace
