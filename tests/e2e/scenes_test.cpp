// The real demo's scenes as pictures on the 640x480 server: each sphere scene over the
// real data files, a flat grey sphere that shows which scenes cover their field and which
// add onto it, and the end picture filling the view upright in its own colours.
// With ORRERY_SHOT_DIR set (scripts/screenshots sets docs) the real-data shots go there.
#include "itwriter.h"
#include "rig.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>

namespace {

using namespace std::chrono_literals;

const int viewWidth = 640;
const int viewHeight = 480;

// Frames drawn before a shot. The test modules pass an order every 10 ms, so every scene
// is current long before this (the sphere scenes draw about 30 frames a second on the
// rig), and its first frame, which loads, is well behind.
const long framesBeforeShot = 40;

// Distances from the view's centre, in pixels. No sphere vertex lies further than 0.837
// units, 201 pixels, from it; the smallest sphere measured still covered 80 pixels.
const double sphereCore = 50;
const double sphereReach = 210;
// A channel above this is light, not the black of the clear colour.
const int litLevel = 24;

// Where a shot is kept: the real-data shots in $ORRERY_SHOT_DIR when set (best an absolute
// path: tests run in the build tree), the rest, and those otherwise, in the build's shot folder.
std::string shotFile(const std::string &name, bool forDocs)
{
    const char *dir = std::getenv("ORRERY_SHOT_DIR");
    if (!forDocs || !dir || !*dir)
        return rig::shotPath(name);
    std::filesystem::create_directories(dir);
    return std::string(dir) + "/" + name + ".png";
}

int channel(rig::Rgb pixel, int index) { return index == 0 ? pixel.r : index == 1 ? pixel.g : pixel.b; }
int brightest(rig::Rgb pixel) { return std::max({pixel.r, pixel.g, pixel.b}); }
bool lit(rig::Rgb pixel) { return brightest(pixel) > litLevel; }

// Runs the demo in `dir` on a module that loops inside one scene and grabs the screen
// once `framesBeforeShot` frames are drawn; a key then ends the demo.
testing::AssertionResult grabScene(rig::WorkDir &dir, const rig::Server &server, int jumpAtOrder,
                                   int jumpTo, rig::Image &shot)
{
    if (!dir.write("marigold.it", jumpModule(18, jumpAtOrder, jumpTo)))
        return testing::AssertionFailure() << "cannot write marigold.it into " << dir.path();
    rig::Screen screen(server.display);
    if (!screen.connected())
        return testing::AssertionFailure() << "cannot open " << server.display;
    rig::Process demo = rig::startOrrery(dir, server);
    if (!rig::waitUntil([&] { return demo.framesDrawn() >= framesBeforeShot || !demo.running(); }, 30s) ||
        !demo.running())
        return testing::AssertionFailure() << "no " << framesBeforeShot << " frames drawn: " << demo.wait(1s);
    shot = screen.grab();
    if (!screen.pressKey())
        return testing::AssertionFailure() << "cannot press a key on " << server.display;
    const rig::Outcome outcome = demo.wait(10s);
    if (!outcome.exited || outcome.status != 0)
        return testing::AssertionFailure() << "after the shot: " << outcome;
    if (shot.width != viewWidth || shot.height != viewHeight)
        return testing::AssertionFailure() << "the screen is " << shot.width << "x" << shot.height;
    return testing::AssertionSuccess();
}

// The two parts of a sphere scene's frame: the disc the sphere always covers, and the
// field beyond the sphere's reach.
enum class Area { sphere, field };

bool inArea(Area area, int x, int y)
{
    const double distance = std::hypot(x + 0.5 - viewWidth / 2.0, y + 0.5 - viewHeight / 2.0);
    return area == Area::sphere ? distance < sphereCore : distance >= sphereReach;
}

// The share of the area's pixels that pass `among` and also pass `test`.
double shareOf(const rig::Image &shot, Area area, const std::function<bool(rig::Rgb)> &test,
               const std::function<bool(rig::Rgb)> &among = [](rig::Rgb) { return true; })
{
    long counted = 0, passed = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const rig::Rgb pixel = shot.at(x, y);
            if (!inArea(area, x, y) || !among(pixel))
                continue;
            ++counted;
            passed += test(pixel);
        }
    return counted ? double(passed) / double(counted) : 0.0;
}

long distinctColours(const rig::Image &shot, Area area)
{
    std::set<long> colours;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x)
            if (inArea(area, x, y)) {
                const rig::Rgb pixel = shot.at(x, y);
                colours.insert((long(pixel.r) << 16) | (pixel.g << 8) | pixel.b);
            }
    return long(colours.size());
}

struct SphereSceneCase {
    const char *name;
    int jumpAtOrder; // the module jumps back from here ...
    int jumpTo;      // ... to here, so it stays inside the scene
    float field[3];  // the field's colour: red, green, blue
    bool sphereAdds; // the sphere is added onto the field instead of covering it
};

const SphereSceneCase sphereScenes[] = {
    {"orange", 3, 0, {1.0f, 0.7f, 0.1f}, false},
    {"blue", 9, 4, {0.1f, 0.7f, 1.0f}, false},
    {"green", 13, 10, {0.1f, 0.9f, 0.1f}, true},
};

std::string sceneName(const testing::TestParamInfo<SphereSceneCase> &info)
{
    return std::string(info.param.name) + "_a";
}

int strongestIndex(const float colour[3]) { return int(std::max_element(colour, colour + 3) - colour); }
int weakestIndex(const float colour[3]) { return int(std::min_element(colour, colour + 3) - colour); }

// A pixel whose channels rank as the field colour's do. Ties are allowed, since sums of
// triangles saturate to 255 channel by channel, but not grey or white.
bool rankedLike(rig::Rgb pixel, const float colour[3])
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (colour[i] > colour[j] && channel(pixel, i) < channel(pixel, j))
                return false;
    return channel(pixel, strongestIndex(colour)) > channel(pixel, weakestIndex(colour));
}

// The field only ever holds multiples of its colour: its weakest channel stays near a
// tenth of its strongest (up to about 0.16 where the strongest saturates). The sphere's
// picture holds at least a fifth there, also with the green field added onto it.
bool unlikeTheField(rig::Rgb pixel, const float colour[3])
{
    const int strongest = channel(pixel, strongestIndex(colour));
    return strongest > litLevel && channel(pixel, weakestIndex(colour)) >= 0.18 * strongest;
}

class SphereScene : public testing::TestWithParam<SphereSceneCase> {};

// Beyond the sphere the field's colour rules; at the centre lies the sphere, textured and
// unlike the field.
TEST_P(SphereScene, FieldInItsColourAndTheTexturedSphereAtTheCentre)
{
    RIG_REQUIRE_SERVER(server, "a");
    const SphereSceneCase &scene = GetParam();
    rig::WorkDir dir;
    ASSERT_TRUE(dir.copyAllData()) << "cannot copy the data files from " << rig::dataPath("");
    rig::Image shot;
    ASSERT_TRUE(grabScene(dir, server, scene.jumpAtOrder, scene.jumpTo, shot));
    EXPECT_TRUE(rig::writePng(shotFile(std::string("scene-") + scene.name, true), shot));

    const auto ranked = [&](rig::Rgb pixel) { return rankedLike(pixel, scene.field); };
    const auto unlike = [&](rig::Rgb pixel) { return unlikeTheField(pixel, scene.field); };
    const double fieldLit = shareOf(shot, Area::field, lit);
    const double fieldRanked = shareOf(shot, Area::field, ranked, lit);
    const double fieldUnlike = shareOf(shot, Area::field, unlike);
    const double sphereUnlike = shareOf(shot, Area::sphere, unlike);
    const long sphereColours = distinctColours(shot, Area::sphere);
    std::ostringstream measured;
    measured << "field lit " << fieldLit << ", ranked " << fieldRanked << ", unlike itself " << fieldUnlike
             << "; sphere unlike the field " << sphereUnlike << ", " << sphereColours << " colours";
    std::cout << scene.name << ": " << measured.str() << "\n";
    RecordProperty("measured", measured.str());

    // Measured: a quarter to a half of the field area lit, all of it ranked like the
    // field's colour and none unlike it; the sphere's disc all unlike the field, with
    // 160 to 2500 colours (the fewest where it shows a stretch of sea; a sphere of one
    // flat colour shows a few).
    EXPECT_GE(fieldLit, 0.15);
    EXPECT_GE(fieldRanked, 0.9);
    EXPECT_LE(fieldUnlike, 0.05);
    EXPECT_GE(sphereUnlike, 0.8);
    EXPECT_GE(sphereColours, 32) << "the sphere shows no picture";
}

INSTANTIATE_TEST_SUITE_P(Scenes, SphereScene, testing::ValuesIn(sphereScenes), sceneName);

// With a picture of one grey, what an opaque sphere shows is known: that grey. Orange and
// blue show it over the whole disc; green adds the field's colour onto it (the field is
// dense around the centre, so all of the disc has some behind it) and never shows less.
const int sphereGrey = 64;
const int picturePixelBytes = 256 * 128 * 3;
const int sphereHeaderBytes = 44;

class GreySphere : public testing::TestWithParam<SphereSceneCase> {};

TEST_P(GreySphere, CoversTheFieldOrAddsOntoIt)
{
    RIG_REQUIRE_SERVER(server, "a");
    const SphereSceneCase &scene = GetParam();
    rig::WorkDir dir;
    ASSERT_TRUE(dir.copyAllData()) << "cannot copy the data files from " << rig::dataPath("");
    // The same byte three times per pixel: every scene's reordering gives the same grey.
    ASSERT_TRUE(dir.write("cmap.tga", std::vector<uint8_t>(sphereHeaderBytes + picturePixelBytes, sphereGrey)));
    rig::Image shot;
    ASSERT_TRUE(grabScene(dir, server, scene.jumpAtOrder, scene.jumpTo, shot));
    rig::writePng(shotFile(std::string("grey-sphere-") + scene.name, false), shot);

    const int major = strongestIndex(scene.field);
    const double grey = shareOf(shot, Area::sphere, [](rig::Rgb pixel) {
        return std::abs(pixel.r - sphereGrey) <= 3 && std::abs(pixel.g - sphereGrey) <= 3 &&
               std::abs(pixel.b - sphereGrey) <= 3;
    });
    // The grey with the field's colour added: no channel below the grey, the field's
    // strongest well above it.
    const double added = shareOf(shot, Area::sphere, [&](rig::Rgb pixel) {
        return std::min({pixel.r, pixel.g, pixel.b}) >= sphereGrey - 3 &&
               channel(pixel, major) >= sphereGrey + 24;
    });
    std::ostringstream measured;
    measured << "disc grey " << grey << ", grey plus field " << added;
    std::cout << scene.name << ": " << measured.str() << "\n";
    RecordProperty("measured", measured.str());

    // Measured: orange and blue at least 0.99 grey and none added; green under 0.02 grey
    // and at least 0.98 added.
    if (scene.sphereAdds) {
        EXPECT_LE(grey, 0.2);
        EXPECT_GE(added, 0.8);
    } else {
        EXPECT_GE(grey, 0.9);
        EXPECT_LE(added, 0.05);
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, GreySphere, testing::ValuesIn(sphereScenes), sceneName);

// The end picture of the test's own making, as rectangles of the 256x128 picture
// (first stored row at the top): a marked top band over four quadrants.
struct PictureRegion {
    const char *name;
    int left, top, right, bottom; // picture pixels, right and bottom exclusive
    rig::Rgb colour;              // as it should show; the file stores blue, green, red
};

const PictureRegion pictureRegions[] = {
    {"marked top rows", 0, 0, 256, 8, {255, 255, 255}},
    {"top left", 0, 8, 128, 64, {255, 0, 0}},
    {"top right", 128, 8, 256, 64, {0, 255, 0}},
    {"bottom left", 0, 64, 128, 128, {0, 0, 255}},
    {"bottom right", 128, 64, 256, 128, {255, 255, 0}},
};

const int pictureWidth = 256;
const int pictureHeight = 128;
const int endHeaderBytes = 18;

// Picture pixels to screen pixels: the picture spans the view.
const double screenPerColumn = double(viewWidth) / pictureWidth; // 2.5
const double screenPerRow = double(viewHeight) / pictureHeight;  // 3.75

std::vector<uint8_t> quadrantPicture()
{
    std::vector<uint8_t> bytes(endHeaderBytes, 0); // skipped unread
    for (int row = 0; row < pictureHeight; ++row)
        for (int column = 0; column < pictureWidth; ++column)
            for (const PictureRegion &region : pictureRegions)
                if (column >= region.left && column < region.right && row >= region.top && row < region.bottom) {
                    bytes.push_back(uint8_t(region.colour.b));
                    bytes.push_back(uint8_t(region.colour.g));
                    bytes.push_back(uint8_t(region.colour.r));
                }
    return bytes;
}

// A region's rectangle on screen, shrunk by `inset` pixels on every side.
struct ScreenRect {
    int x0, y0, x1, y1;
};

ScreenRect onScreen(const PictureRegion &region, int inset)
{
    return {int(std::lround(region.left * screenPerColumn)) + inset,
            int(std::lround(region.top * screenPerRow)) + inset,
            int(std::lround(region.right * screenPerColumn)) - inset,
            int(std::lround(region.bottom * screenPerRow)) - inset};
}

// The region a screen pixel shows, or null within `margin` pixels of a line between two
// regions, where linear filtering mixes them.
const PictureRegion *regionAt(int x, int y, int margin)
{
    for (const PictureRegion &region : pictureRegions) {
        const ScreenRect r = onScreen(region, 0);
        const bool inside = x >= r.x0 && x < r.x1 && y >= r.y0 && y < r.y1;
        if (!inside)
            continue;
        const bool nearInnerLine = (r.x0 > 0 && x < r.x0 + margin) || (r.x1 < viewWidth && x >= r.x1 - margin) ||
                                   (r.y0 > 0 && y < r.y0 + margin) || (r.y1 < viewHeight && y >= r.y1 - margin);
        return nearInnerLine ? nullptr : &region;
    }
    return nullptr;
}

TEST(EndPicture, OwnPictureFillsTheViewUprightInItsOwnColours_a)
{
    RIG_REQUIRE_SERVER(server, "a");
    rig::WorkDir dir;
    ASSERT_TRUE(dir.copyAllData()) << "cannot copy the data files from " << rig::dataPath("");
    ASSERT_TRUE(dir.write("color2.tga", quadrantPicture()));
    rig::Image shot;
    ASSERT_TRUE(grabScene(dir, server, 16, 14, shot));
    rig::writePng(shotFile("end-picture-quadrants", false), shot);

    // Every region inside its own rectangle, exactly its colour: blue, green, red as
    // stored shows red, green, blue; the marked rows at the top, left at the left.
    for (const PictureRegion &region : pictureRegions) {
        const ScreenRect r = onScreen(region, 4);
        EXPECT_GE(rig::shareNear(shot, r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0, region.colour, 3), 0.99)
            << region.name << " is not " << region.colour << " at (" << r.x0 << ", " << r.y0 << ")-(" << r.x1
            << ", " << r.y1 << "), e.g. " << shot.at((r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2);
    }

    // No border: every pixel is lit, and every pixel along the four edges carries the
    // full channels of the region there. At the outermost pixels the texture's filter
    // takes some of the neighbouring column across the wrap (left and right) or of the
    // black border colour (top and bottom); measured, those channels stay above 89.
    const rig::LitCount lit = rig::countLit(shot, 0, 0, viewWidth, viewHeight, litLevel);
    EXPECT_EQ(lit.inside, long(viewWidth) * viewHeight) << "pixels of clear colour in the view";
    int weakestEdgeChannel = 255;
    long edgePixels = 0;
    for (int y = 0; y < viewHeight; ++y)
        for (int x = 0; x < viewWidth; ++x) {
            if (x != 0 && x != viewWidth - 1 && y != 0 && y != viewHeight - 1)
                continue;
            const PictureRegion *region = regionAt(x, y, 3);
            if (!region)
                continue;
            ++edgePixels;
            const rig::Rgb pixel = shot.at(x, y);
            for (int c = 0; c < 3; ++c)
                if (channel(region->colour, c) == 255) {
                    weakestEdgeChannel = std::min(weakestEdgeChannel, channel(pixel, c));
                    EXPECT_GE(channel(pixel, c), 64) << "edge pixel (" << x << ", " << y << ") is " << pixel
                                                     << ", in " << region->name;
                }
        }
    EXPECT_GT(edgePixels, 2 * (viewWidth + viewHeight) - 40);
    std::cout << "edges: " << edgePixels << " pixels, weakest full channel " << weakestEdgeChannel << "\n";
    RecordProperty("weakestEdgeChannel", weakestEdgeChannel);
}

// The real end picture, kept for a look. Stretched over the view it keeps the file's
// colours block by block (a 4x4 grid), but for the filtering along the blocks' edges.
TEST(EndPicture, RealPictureShowsTheFilesColoursInPlace_a)
{
    RIG_REQUIRE_SERVER(server, "a");
    rig::WorkDir dir;
    ASSERT_TRUE(dir.copyAllData()) << "cannot copy the data files from " << rig::dataPath("");
    rig::Image shot;
    ASSERT_TRUE(grabScene(dir, server, 16, 14, shot));
    EXPECT_TRUE(rig::writePng(shotFile("end-picture", true), shot));

    const std::string file = rig::readFile(rig::dataPath("color2.tga"));
    ASSERT_GE(file.size(), size_t(endHeaderBytes + picturePixelBytes));
    const int blocks = 4;
    const int blockColumns = pictureWidth / blocks, blockRows = pictureHeight / blocks;
    const int blockWidth = viewWidth / blocks, blockHeight = viewHeight / blocks;
    double worst = 0;
    for (int by = 0; by < blocks; ++by)
        for (int bx = 0; bx < blocks; ++bx)
            for (int c = 0; c < 3; ++c) {
                double fileMean = 0, shotMean = 0;
                for (int row = by * blockRows; row < (by + 1) * blockRows; ++row)
                    for (int column = bx * blockColumns; column < (bx + 1) * blockColumns; ++column)
                        // stored blue, green, red
                        fileMean += uint8_t(file[size_t(endHeaderBytes + (row * pictureWidth + column) * 3 + 2 - c)]);
                for (int y = by * blockHeight; y < (by + 1) * blockHeight; ++y)
                    for (int x = bx * blockWidth; x < (bx + 1) * blockWidth; ++x)
                        shotMean += channel(shot.at(x, y), c);
                fileMean /= double(blockColumns) * blockRows;
                shotMean /= double(blockWidth) * blockHeight;
                worst = std::max(worst, std::abs(shotMean - fileMean));
                EXPECT_NEAR(shotMean, fileMean, 4.0) << "block (" << bx << ", " << by << "), channel " << c;
            }
    std::cout << "largest difference of a block's mean channel from the file's: " << worst << "\n";
    RecordProperty("largestBlockDifference", std::to_string(worst));
}

} // namespace
