// The scene routines: each sphere scene's state calls around its two drawings, the
// one-time loads of its first frame, a scene the timeline passes in one frame, and the
// end picture's state, projection and quad.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/freeglut.h>

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "assets.h"
#include "doubles.h"
#include "effects.h"
#include "frames.h"
#include "shell.h"

using frames::Vec3;

namespace {

// A call as expected; `anyArgs` skips the arguments.
struct Expected {
    const char *name;
    std::vector<double> args;
    bool anyArgs = false;
};

void expectCalls(const std::vector<GlCall> &calls, size_t from, const std::vector<Expected> &want)
{
    ASSERT_GE(calls.size(), from + want.size());
    for (size_t k = 0; k < want.size(); k++) {
        const GlCall &c = calls[from + k];
        ASSERT_STREQ(c.name, want[k].name) << "call " << from + k;
        if (!want[k].anyArgs) {
            EXPECT_EQ(std::vector<double>(c.args, c.args + c.argCount), want[k].args)
                << "call " << from + k << " " << c.name;
        }
    }
}

size_t indexOf(const char *name)
{
    const std::vector<GlCall> &calls = doubles().calls;
    for (size_t k = 0; k < calls.size(); k++)
        if (!std::strcmp(calls[k].name, name))
            return k;
    return calls.size();
}

// The names of the files opened in a directory, in order, as the kernel reports them.
class OpenWatch {
public:
    explicit OpenWatch(const std::filesystem::path &directory)
        : fd_(inotify_init1(IN_NONBLOCK))
    {
        EXPECT_GE(fd_, 0);
        EXPECT_GE(inotify_add_watch(fd_, directory.c_str(), IN_OPEN), 0);
    }
    ~OpenWatch() { close(fd_); }
    OpenWatch(const OpenWatch &) = delete;
    OpenWatch &operator=(const OpenWatch &) = delete;

    std::vector<std::string> opened()
    {
        std::vector<std::string> names;
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = read(fd_, buffer, sizeof buffer)) > 0)
            for (char *at = buffer; at < buffer + n;) {
                const inotify_event *event = reinterpret_cast<const inotify_event *>(at);
                if (event->len > 0)
                    names.push_back(event->name);
                at += sizeof(inotify_event) + event->len;
            }
        return names;
    }

private:
    int fd_;
};

// Fixture files: every stored pixel of an image is the same three bytes, and every
// height of a map the same value, so each load shows in what it leaves behind.
const std::vector<unsigned char> sphereImagePixel = {10, 20, 30};
const std::vector<unsigned char> endImagePixel = {40, 50, 60};
const unsigned char plainHeight = 100;     // "tesilmap.tga"
const unsigned char mappedHeight = 200;    // "tesilmapc.tga"
const int imageBytes = 256 * 128 * 3;

void writeFixtures(const frames::ScratchDirectory &dir)
{
    dir.write("cmap.tga", 44, sphereImagePixel, imageBytes);
    dir.write("color2.tga", 18, endImagePixel, imageBytes);
    dir.write("tesilmap.tga", 54, {plainHeight}, 2048);
    dir.write("tesilmapc.tga", 786, {mappedHeight}, 2048);
}

bool heightsAre(unsigned char value)
{
    return std::all_of(std::begin(heightMap), std::end(heightMap),
                       [value](unsigned char h) { return h == value; });
}

bool uploadIs(const std::vector<unsigned char> &upload, const std::vector<unsigned char> &pixel)
{
    if (upload.size() != size_t(imageBytes))
        return false;
    for (size_t at = 0; at < upload.size(); at += 3)
        if (!std::equal(pixel.begin(), pixel.end(), upload.begin() + at))
            return false;
    return true;
}

struct SphereSceneCase {
    const char *name;
    void (*scene)(int);
    int number;         // loadedSceneAssets after its first frame
    int before;         // the marker as the scene before it leaves it
    const char *heightFile;
    unsigned char height;
    std::vector<unsigned char> texel; // every uploaded texel
    const char *blendingAfterField;
    bool pulse;
    float fieldColor[4];
    long fieldVertices;
};

void PrintTo(const SphereSceneCase &c, std::ostream *out) { *out << c.name; }

const SphereSceneCase sphereSceneCases[] = {
    {"Orange", sceneOrange, 1, 0, "tesilmapc.tga", mappedHeight, {10, 30, 20}, "glDisable", false,
     {1.0f, 0.7f, 0.1f, 0.2f}, 120600},
    {"Blue", sceneBlue, 2, 1, "tesilmapc.tga", mappedHeight, {20, 30, 10}, "glDisable", true,
     {0.1f, 0.7f, 1.0f, 0.2f}, 120300},
    {"Green", sceneGreen, 3, 2, "tesilmap.tga", plainHeight, {30, 10, 20}, "glEnable", true,
     {0.1f, 0.9f, 0.1f, 0.2f}, 63900},
};

class SphereSceneTest : public ::testing::TestWithParam<SphereSceneCase> {};

TEST_P(SphereSceneTest, StateAroundTheFieldAndTheSphere)
{
    const SphereSceneCase &c = GetParam();
    resetDoubles();
    doubles().recordGeometry = false;
    loadedSceneAssets = c.number;
    c.scene(1000);

    std::vector<Expected> want = {
        {"glMatrixMode", {GL_PROJECTION}},
        {"glClear", {GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT}},
        {"glDisable", {GL_DEPTH_TEST}},
        {"glDisable", {GL_TEXTURE_2D}},
        {"glBlendFunc", {GL_SRC_ALPHA, GL_ONE}},
        {"glEnable", {GL_BLEND}},
        {"glLoadIdentity", {}},
        {"glScalef", {0.75, 1, 1}},
        {"glBegin", {GL_TRIANGLES}},
        {"glColor4f", {c.fieldColor[0], c.fieldColor[1], c.fieldColor[2], c.fieldColor[3]}},
        {"glEnd", {}},
        {c.blendingAfterField, {GL_BLEND}},
        {"glEnable", {GL_DEPTH_TEST}},
        {"glColor4f", {1, 1, 1, 1}},
        {"glLoadIdentity", {}},
        {"glScalef", {0.375, 0.5, 0.5}},
        {"glRotatef", {100, 1, 1, 1}},
    };
    if (c.pulse)
        want.push_back({"glScalef", {}, true});
    want.push_back({"glEnable", {GL_TEXTURE_2D}});
    for (int k = 0; k < 33; k++) {
        want.push_back({"glBegin", {double(k < 31 ? GL_TRIANGLE_STRIP : GL_TRIANGLE_FAN)}});
        want.push_back({"glEnd", {}});
    }
    want.push_back({"glutSwapBuffers", {}});
    expectCalls(doubles().calls, 0, want);
    EXPECT_EQ(doubles().calls.size(), want.size());
    EXPECT_EQ(doubles().callCount, long(want.size()) + c.fieldVertices + 2 * 4160);
    EXPECT_EQ(loadedSceneAssets, c.number);
}

// The first frame reads the height map, then the image, before it clears the screen;
// the frames after it read nothing.
TEST_P(SphereSceneTest, LoadsItsAssetsInItsFirstFrameOnly)
{
    const SphereSceneCase &c = GetParam();
    frames::ScratchDirectory dir;
    writeFixtures(dir);
    OpenWatch watch(dir.path());
    resetDoubles();
    doubles().recordGeometry = false;
    loadedSceneAssets = c.before;

    c.scene(0);
    EXPECT_EQ(watch.opened(), (std::vector<std::string>{c.heightFile, "cmap.tga"}));
    EXPECT_TRUE(heightsAre(c.height));
    ASSERT_EQ(doubles().uploads.size(), 1u);
    EXPECT_TRUE(uploadIs(doubles().uploads[0], c.texel));
    EXPECT_EQ(indexOf("glMatrixMode"), 0u);
    EXPECT_LT(indexOf("glTexImage2D"), indexOf("glClear"));
    EXPECT_EQ(countCalls("glutSwapBuffers"), 1);
    EXPECT_EQ(loadedSceneAssets, c.number);

    std::memset(heightMap, 7, sizeof heightMap);
    for (int ms : {16, 33, 5000}) {
        c.scene(ms);
        EXPECT_TRUE(watch.opened().empty()) << ms << " ms";
    }
    EXPECT_TRUE(heightsAre(7));
    EXPECT_EQ(countCalls("glGenTextures"), 1);
    EXPECT_EQ(doubles().uploads.size(), 1u);
    EXPECT_EQ(countCalls("glutSwapBuffers"), 4);
}

INSTANTIATE_TEST_SUITE_P(Scenes, SphereSceneTest, ::testing::ValuesIn(sphereSceneCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The music jumps to order 10 in the second frame: the blue scene is current for that
// one frame only, and still loads and draws all of it.
TEST(SceneTimeline, SceneCurrentForOneFrameStillLoadsAndDraws)
{
    frames::ScratchDirectory dir;
    writeFixtures(dir);
    OpenWatch watch(dir.path());
    resetDoubles();
    currentScene = 0;
    sceneStartMs = 0;
    loadedSceneAssets = 0;
    endPictureLoaded = 99;
    doubles().positions = {0, 10, 10};

    for (const SphereSceneCase &c : sphereSceneCases) {
        const size_t before = doubles().calls.size();
        displayFrame();
        EXPECT_EQ(currentScene, c.number - 1);
        EXPECT_EQ(loadedSceneAssets, c.number);
        EXPECT_EQ(watch.opened(), (std::vector<std::string>{c.heightFile, "cmap.tga"})) << c.name;
        EXPECT_TRUE(heightsAre(c.height)) << c.name;
        EXPECT_TRUE(uploadIs(doubles().uploads.back(), c.texel)) << c.name;
        long vertices = 0, swaps = 0;
        for (size_t k = before; k < doubles().calls.size(); k++) {
            vertices += !std::strcmp(doubles().calls[k].name, "glVertex3f");
            swaps += !std::strcmp(doubles().calls[k].name, "glutSwapBuffers");
        }
        EXPECT_EQ(vertices, c.fieldVertices + 4160) << c.name;
        EXPECT_EQ(swaps, 1) << c.name;
    }
    EXPECT_EQ(doubles().uploads.size(), 3u);
}

std::vector<Expected> endPictureFrame()
{
    return {
        {"glDisable", {GL_BLEND}},
        {"glClear", {GL_COLOR_BUFFER_BIT}},
        {"glMatrixMode", {GL_PROJECTION}},
        {"glLoadIdentity", {}},
        {"gluPerspective", {60.0, 1.3333333333333333, 1.0, 300.0}},
        {"glMatrixMode", {GL_MODELVIEW}},
        {"glLoadIdentity", {}},
        {"glDisable", {GL_DEPTH_TEST}},
        {"glEnable", {GL_TEXTURE_2D}},
        {"glColor3f", {1, 1, 1}},
        {"glBegin", {GL_QUADS}},
        {"glTexCoord2f", {0, 1}},
        {"glVertex3f", {-1, -0.75, -1.3f}},
        {"glTexCoord2f", {1, 1}},
        {"glVertex3f", {1, -0.75, -1.3f}},
        {"glTexCoord2f", {1, 0}},
        {"glVertex3f", {1, 0.75, -1.3f}},
        {"glTexCoord2f", {0, 0}},
        {"glVertex3f", {-1, 0.75, -1.3f}},
        {"glEnd", {}},
        {"glutSwapBuffers", {}},
    };
}

// The same frame whatever the time: the picture does not move.
TEST(EndPicture, SameStateProjectionAndQuadEveryFrame)
{
    const std::vector<Expected> want = endPictureFrame();
    for (int ms : {0, 5000, -7, INT_MAX}) {
        resetDoubles();
        endPictureLoaded = 4;
        sceneEndPicture(ms);
        expectCalls(doubles().calls, 0, want);
        EXPECT_EQ(doubles().calls.size(), want.size()) << ms << " ms";
    }
}

TEST(EndPicture, LoadsThePictureInItsFirstFrameOnly)
{
    frames::ScratchDirectory dir;
    writeFixtures(dir);
    OpenWatch watch(dir.path());
    resetDoubles();
    endPictureLoaded = 99;
    loadedSceneAssets = 3;

    sceneEndPicture(0);
    EXPECT_EQ(watch.opened(), std::vector<std::string>{"color2.tga"});
    ASSERT_EQ(doubles().uploads.size(), 1u);
    EXPECT_TRUE(uploadIs(doubles().uploads[0], {60, 50, 40}));
    EXPECT_EQ(endPictureLoaded, 4);
    EXPECT_EQ(loadedSceneAssets, 3);
    const size_t load = indexOf("glDisable");
    EXPECT_LT(indexOf("glTexImage2D"), load);
    expectCalls(doubles().calls, load, endPictureFrame());

    sceneEndPicture(40);
    sceneEndPicture(80);
    EXPECT_TRUE(watch.opened().empty());
    EXPECT_EQ(countCalls("glGenTextures"), 1);
    EXPECT_EQ(countCalls("glutSwapBuffers"), 3);
}

// Through the recorded perspective the quad reaches past the outermost pixel centres of
// the 640 x 480 view on every side, the image's first row at the top, s = 0 at the left.
TEST(EndPicture, QuadCoversTheWholeViewUpright)
{
    resetDoubles();
    endPictureLoaded = 4;
    sceneEndPicture(0);
    const frames::Matrix projection = frames::recordedTransform();
    const std::vector<frames::TexturedVertex> quad = frames::texturedVertices();
    ASSERT_EQ(quad.size(), 4u);
    for (const frames::TexturedVertex &corner : quad) {
        const Vec3 device = frames::apply(projection, {corner.x, corner.y, corner.z});
        EXPECT_GT(std::fabs(device.x), 1 - 1.0 / 640);
        EXPECT_GT(std::fabs(device.y), 1 - 1.0 / 480);
        EXPECT_LT(std::fabs(device.x), 1 + 1.0 / 640);
        EXPECT_LT(std::fabs(device.y), 1 + 1.0 / 480);
        EXPECT_LT(std::fabs(device.z), 1);
        EXPECT_EQ(device.x > 0, corner.s == 1.0f);
        EXPECT_EQ(device.y > 0, corner.t == 0.0f);
    }
}

} // namespace
