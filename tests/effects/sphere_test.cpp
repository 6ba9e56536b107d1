// The height-map sphere: strip and fan order, the seam column, the transform calls,
// the poles in device coordinates, and bit-for-bit agreement with the plain formulas.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <ostream>
#include <string>

#include "assets.h"
#include "doubles.h"
#include "effects.h"
#include "frames.h"

using frames::TexturedVertex;
using frames::Vec3;

namespace {

struct StyleCase {
    const char *name;
    const SphereStyle *style;
};

void PrintTo(const StyleCase &c, std::ostream *out) { *out << c.name; }

const StyleCase styleCases[] = {
    {"Orange", &orangeSphere},
    {"Blue", &blueSphere},
    {"Green", &greenSphere},
};

void fillHeights(unsigned char value) { std::memset(heightMap, value, sizeof heightMap); }

// Heights that differ from point to point: a fixed pseudo-random pattern.
void scatterHeights()
{
    unsigned state = 12345;
    for (unsigned char &h : heightMap) {
        state = state * 1103515245u + 12345u;
        h = (state >> 16) & 0xFF;
    }
}

// The grid point (column, row) that a vertex's texture coordinate names.
int columnOf(const TexturedVertex &v) { return int(std::lround(v.s * 64)); }
int rowOf(const TexturedVertex &v) { return int(std::lround(v.t * 32)); }

class SphereStyleTest : public ::testing::TestWithParam<StyleCase> {};

TEST_P(SphereStyleTest, StripsThenFansInGridOrder)
{
    resetDoubles();
    scatterHeights();
    drawHeightMapSphere(4321, *GetParam().style);

    std::vector<const GlCall *> pairs;
    for (const GlCall &c : doubles().calls)
        if (!std::strcmp(c.name, "glBegin") || !std::strcmp(c.name, "glEnd"))
            pairs.push_back(&c);
    ASSERT_EQ(pairs.size(), 66u);
    for (int k = 0; k < 33; k++) {
        EXPECT_STREQ(pairs[2 * k]->name, "glBegin");
        EXPECT_EQ(pairs[2 * k]->args[0], k < 31 ? GL_TRIANGLE_STRIP : GL_TRIANGLE_FAN);
        EXPECT_STREQ(pairs[2 * k + 1]->name, "glEnd");
    }
    EXPECT_STREQ(doubles().calls.back().name, "glEnd");

    const std::vector<TexturedVertex> vertices = frames::texturedVertices();
    ASSERT_EQ(countCalls("glVertex3f"), 4160);
    ASSERT_EQ(countCalls("glTexCoord2f"), 4160);
    ASSERT_EQ(vertices.size(), 4160u);
    for (int b = 0; b < 31; b++) {
        EXPECT_EQ(frames::primitive(GL_TRIANGLE_STRIP, b).size(), 260u);
        for (int k = 0; k < 130; k++) {
            const TexturedVertex &v = vertices[b * 130 + k];
            ASSERT_EQ(columnOf(v), k / 2) << "strip " << b << " vertex " << k;
            ASSERT_EQ(rowOf(v), b + k % 2) << "strip " << b << " vertex " << k;
        }
    }
    for (int fan = 0; fan < 2; fan++) {
        EXPECT_EQ(frames::primitive(GL_TRIANGLE_FAN, fan).size(), 130u);
        for (int a = 0; a < 65; a++) {
            const TexturedVertex &v = vertices[31 * 130 + fan * 65 + a];
            ASSERT_EQ(columnOf(v), a);
            ASSERT_EQ(rowOf(v), fan * 31);
        }
    }
    // The seam column: s = 1 exactly, not 0.
    EXPECT_EQ(vertices[128].s, 1.0f);
    EXPECT_EQ(vertices[31 * 130 + 64].s, 1.0f);
    EXPECT_EQ(vertices[31 * 130 + 65 + 64].t, 31.0f / 32);
}

// The seam column reads column 0 of its own row, not the next row's first byte.
TEST_P(SphereStyleTest, ColumnSixtyFourIsColumnZero)
{
    resetDoubles();
    for (int b = 0; b < 32; b++)
        for (int a = 0; a < 64; a++)
            heightMap[b * 64 + a] = (unsigned char)(10 + 2 * b + 3 * a);
    drawHeightMapSphere(2000, *GetParam().style);
    const std::vector<TexturedVertex> v = frames::texturedVertices();
    for (size_t first = 0; first < v.size(); first++) {
        if (columnOf(v[first]) != 0)
            continue;
        // Column 64 of the same primitive and row: 128 vertices on in a strip, 64 in a fan.
        const size_t seam = first + (first < 31 * 130 ? 128 : 64);
        ASSERT_EQ(columnOf(v[seam]), 64);
        ASSERT_EQ(rowOf(v[seam]), rowOf(v[first]));
        EXPECT_NEAR(v[seam].x, v[first].x, 1e-6) << "row " << rowOf(v[first]);
        EXPECT_NEAR(v[seam].y, v[first].y, 1e-6) << "row " << rowOf(v[first]);
        EXPECT_NEAR(v[seam].z, v[first].z, 1e-6) << "row " << rowOf(v[first]);
    }
}

// At 0 ms nothing turns or pulses and W is exactly 1 at (0, 0); with full heights every
// row-0 point lands 255/256 x 0.5 below the centre.
TEST_P(SphereStyleTest, RowZeroAtZeroMsInDeviceCoordinates)
{
    resetDoubles();
    fillHeights(255);
    drawHeightMapSphere(0, *GetParam().style);
    const std::vector<TexturedVertex> v = frames::texturedVertices();
    EXPECT_EQ(v[0].x, 0.0f);
    EXPECT_EQ(v[0].y, -255.0f / 256);
    EXPECT_EQ(v[0].z, 0.0f);
    const frames::Matrix m = frames::recordedTransform();
    for (int a = 0; a < 65; a++) {
        const TexturedVertex &p = v[31 * 130 + a];
        const Vec3 device = frames::apply(m, {p.x, p.y, p.z});
        EXPECT_NEAR(device.x, 0.0, 1e-7) << "column " << a;
        EXPECT_NEAR(device.y, -0.498046875, 1e-7) << "column " << a;
        EXPECT_NEAR(device.z, 0.0, 1e-7) << "column " << a;
    }
}

TEST_P(SphereStyleTest, ZeroHeightsStillSendEveryVertex)
{
    resetDoubles();
    fillHeights(0);
    drawHeightMapSphere(5555, *GetParam().style);
    const std::vector<TexturedVertex> v = frames::texturedVertices();
    ASSERT_EQ(v.size(), 4160u);
    for (const TexturedVertex &p : v) {
        ASSERT_EQ(p.x, 0.0f);
        ASSERT_EQ(p.y, 0.0f);
        ASSERT_EQ(p.z, 0.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Styles, SphereStyleTest, ::testing::ValuesIn(styleCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The orange style's amplitudes are 0: its strips hold exactly sphereVertex's points.
TEST(OrangeSphere, WobbleFactorIsExactlyOne)
{
    scatterHeights();
    for (int ms : {0, 777, -3000, 12345, INT_MAX}) {
        resetDoubles();
        drawHeightMapSphere(ms, orangeSphere);
        const std::vector<TexturedVertex> drawn = frames::texturedVertices();
        resetDoubles();
        for (const TexturedVertex &v : drawn)
            sphereVertex(columnOf(v), rowOf(v));
        const std::vector<TexturedVertex> plain = frames::texturedVertices();
        ASSERT_EQ(drawn.size(), plain.size());
        for (size_t k = 0; k < drawn.size(); k++)
            ASSERT_TRUE(frames::sameBits(drawn[k], plain[k])) << ms << " ms, vertex " << k;
    }
}

struct TransformCase {
    const char *name;
    const SphereStyle *style;
    int elapsedMs;
    float angle;
    float pulse; // 0: no pulse scale
};

void PrintTo(const TransformCase &c, std::ostream *out) { *out << c.name; }

// Angles and pulse factors: the floats nearest elapsedMs x 0.1 and 1 + 0.2 sin T.
const TransformCase transformCases[] = {
    {"OrangeHasNoPulse", &orangeSphere, 1000, 100.0f, 0.0f},
    {"BlueOneSecond", &blueSphere, 1000, 100.0f, 1.02822399f},
    {"GreenSevenMs", &greenSphere, 7, 0.699999988f, 1.00419974f},
    {"BlueNegative", &blueSphere, -12345, -1234.5f, 1.12327206f},
    {"GreenUnwrapped", &greenSphere, INT_MAX, 214748368.0f, 0.906166852f},
};

class SphereTransformTest : public ::testing::TestWithParam<TransformCase> {};

TEST_P(SphereTransformTest, CallsBeforeTheFirstStrip)
{
    const TransformCase &c = GetParam();
    resetDoubles();
    doubles().recordGeometry = false;
    drawHeightMapSphere(c.elapsedMs, *c.style);
    struct Expected {
        const char *name;
        std::vector<double> args;
    };
    std::vector<Expected> expected = {
        {"glLoadIdentity", {}},
        {"glScalef", {0.375, 0.5, 0.5}},
        {"glRotatef", {c.angle, 1, 1, 1}},
    };
    if (c.pulse != 0)
        expected.push_back({"glScalef", {c.pulse, c.pulse, c.pulse}});
    expected.push_back({"glEnable", {GL_TEXTURE_2D}});
    expected.push_back({"glBegin", {GL_TRIANGLE_STRIP}});
    const std::vector<GlCall> &calls = doubles().calls;
    ASSERT_GE(calls.size(), expected.size());
    for (size_t k = 0; k < expected.size(); k++) {
        EXPECT_STREQ(calls[k].name, expected[k].name) << "call " << k;
        EXPECT_EQ(std::vector<double>(calls[k].args, calls[k].args + calls[k].argCount),
                  expected[k].args)
            << "call " << k << " " << calls[k].name;
    }
}

INSTANTIATE_TEST_SUITE_P(Transforms, SphereTransformTest, ::testing::ValuesIn(transformCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The plain formulas, straight from their description, vertex by vertex and with every
// ring computed twice: what the drawing must reproduce bit for bit.
TexturedVertex plainGridPoint(int a, int b, double w)
{
    const double phi = (2 * a) * 0.0490873859375;
    const double theta = (2 * b) * 0.0490873859375;
    const double r = heightMap[(b & 31) * 64 + (a & 63)];
    return {float(a * 0.015625), float(b * 0.03125),
            float(-w * r * std::sin(theta) * std::sin(phi) / 256),
            float(-w * r * std::cos(theta) / 256),
            float(-w * r * std::sin(theta) * std::cos(phi) / 256)};
}

TexturedVertex plainWobblePoint(int a, int b, float columnWaves, float rowWaves, float columnShift,
                                float rowShift, float columnAmplitude, float rowAmplitude)
{
    const float w = float(
        double(rowAmplitude) * std::sin((b + double(rowShift)) * (2.0 * rowWaves) * 0.09817477125) +
        double(columnAmplitude) *
            std::sin((a + double(columnShift)) * (2.0 * columnWaves) * 0.049087385625) +
        1.0);
    return plainGridPoint(a, b, w);
}

std::vector<TexturedVertex> plainSphere(int elapsedMs, const SphereStyle &style)
{
    const float time = float(elapsedMs * 0.003);
    const float columnShift = float(time * style.columnDrift);
    const float rowShift = float(time * style.rowDrift);
    std::vector<TexturedVertex> out;
    for (int b = 0; b <= 30; b++)
        for (int a = 0; a <= 64; a++)
            for (int row : {b, b + 1})
                out.push_back(plainWobblePoint(a, row, style.columnWaves, style.rowWaves,
                                               columnShift, rowShift, style.columnAmplitude,
                                               style.rowAmplitude));
    for (int row : {0, 31})
        for (int a = 0; a <= 64; a++)
            out.push_back(plainGridPoint(a, row, 1.0));
    return out;
}

const int bitIdentityTimes[] = {-100000, -1, 0, 1, 16, 999, 12345, 65432, 1 << 24, INT_MAX};

TEST_P(SphereStyleTest, DrawingMatchesThePlainFormulasBitForBit)
{
    scatterHeights();
    for (int ms : bitIdentityTimes) {
        resetDoubles();
        drawHeightMapSphere(ms, *GetParam().style);
        const std::vector<TexturedVertex> drawn = frames::texturedVertices();
        const std::vector<TexturedVertex> plain = plainSphere(ms, *GetParam().style);
        ASSERT_EQ(drawn.size(), plain.size());
        for (size_t k = 0; k < drawn.size(); k++)
            ASSERT_TRUE(frames::sameBits(drawn[k], plain[k])) << ms << " ms, vertex " << k;
    }
}

// The vertex routines on their own, also off the drawn grid, where the masks wrap the
// height-map indices.
TEST(VertexRoutines, MatchThePlainFormulasAnywhere)
{
    scatterHeights();
    const int points[][2] = {{0, 0}, {17, 9}, {64, 31}, {-1, -1}, {-70, 40}, {100, 33}, {1000, -200}};
    for (const auto &p : points) {
        resetDoubles();
        sphereVertex(p[0], p[1]);
        wobbleVertex(p[0], p[1], 17.0f, 13.0f, 0.37f, -112.9f, 0.2f, 0.2f);
        const std::vector<TexturedVertex> v = frames::texturedVertices();
        ASSERT_EQ(v.size(), 2u);
        EXPECT_TRUE(frames::sameBits(v[0], plainGridPoint(p[0], p[1], 1.0)))
            << p[0] << ", " << p[1];
        EXPECT_TRUE(frames::sameBits(
            v[1], plainWobblePoint(p[0], p[1], 17.0f, 13.0f, 0.37f, -112.9f, 0.2f, 0.2f)))
            << p[0] << ", " << p[1];
    }
}

} // namespace
