// The real demo under the rig's Xorg servers: the timeline to its quit cue, a key in
// every scene, the stop signals, the failures at start-up, a screen without 640x480,
// and one whole run over the real data files.
#include "itwriter.h"
#include "rig.h"

#include <csignal>
#include <iostream>

namespace {

using namespace std::chrono_literals;

const rig::VideoMode gameMode{640, 480};
const rig::VideoMode largeDesktop{1024, 768};
const char noModeMessage[] =
    "To run this you must be able to run 640x480 16bit mode\n(in other words your computer sucks)\n";

// The pictures the demo loads before its music.
const char *const pictureFiles[] = {"cmap.tga", "color2.tga", "tesilmap.tga", "tesilmapc.tga"};

// Pictures from data/ and, unless `module` is null, the given bytes as marigold.it.
testing::AssertionResult prepare(rig::WorkDir &dir, const std::vector<uint8_t> *module)
{
    for (const char *name : pictureFiles)
        if (!dir.copyData(name))
            return testing::AssertionFailure() << "cannot copy " << rig::dataPath(name);
    if (module && !dir.write("marigold.it", *module))
        return testing::AssertionFailure() << "cannot write marigold.it into " << dir.path();
    return testing::AssertionSuccess();
}

// A demo that has started and is drawing in game mode; false with the reason otherwise.
testing::AssertionResult drawingInGameMode(rig::Process &demo, rig::Screen &screen, long frames)
{
    if (!rig::waitUntil([&] { return demo.framesDrawn() >= frames || !demo.running(); }, 30s) ||
        !demo.running())
        return testing::AssertionFailure() << "no " << frames << " frames drawn: " << demo.wait(1s);
    if (!(screen.mode() == gameMode))
        return testing::AssertionFailure() << "drawing, but the mode is " << screen.mode();
    return testing::AssertionSuccess();
}

// The frame lies in the top-left 640x480 of the desktop, the part the switched screen
// shows: some of it is lit there and nothing is lit elsewhere.
testing::AssertionResult frameInTopLeft(const rig::Image &shot)
{
    const rig::LitCount lit = rig::countLit(shot, 0, 0, gameMode.width, gameMode.height);
    const long minimumLit = long(gameMode.width) * gameMode.height / 100;
    if (lit.inside < minimumLit || lit.outside != 0)
        return testing::AssertionFailure() << lit.inside << " pixels lit in the top-left 640x480 (at least "
                                           << minimumLit << " wanted), " << lit.outside << " outside it";
    return testing::AssertionSuccess();
}

struct ServerCase {
    const char *server;
};

std::string serverName(const testing::TestParamInfo<ServerCase> &info) { return info.param.server; }

const ServerCase timelineServers[] = {{"a"}, {"b"}};

class DemoTimeline : public testing::TestWithParam<ServerCase> {};

TEST_P(DemoTimeline, FastModuleRunsToOrder17ExitsZeroAndRestoresTheDesktopMode)
{
    RIG_REQUIRE_SERVER(server, GetParam().server);
    rig::Screen screen(server.display);
    ASSERT_TRUE(rig::inDesktopMode(screen, server.display));
    const rig::VideoMode desktop = screen.desktop();
    rig::WorkDir dir;
    const std::vector<uint8_t> module = timelineModule(18, 1, 1, 255);
    ASSERT_TRUE(prepare(dir, &module));

    rig::Process demo = rig::startOrrery(dir, server);
    // The module loops, so a timeline that missed order 17 would run into the timeout.
    const rig::Outcome outcome = demo.wait(60s);
    EXPECT_TRUE(outcome.exited && outcome.status == 0) << outcome;
    EXPECT_GT(demo.framesDrawn(), 0);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(screen.mode(), desktop);
}

INSTANTIATE_TEST_SUITE_P(Servers, DemoTimeline, testing::ValuesIn(timelineServers), serverName);

// Each module loops inside one scene (its position jump goes back before the next cue),
// so only the key can end the demo. The scene shows by its colour: the brightest channel
// of the lit pixels on average, and how much of the frame is lit.
struct SceneCase {
    const char *name;
    int jumpAtOrder;
    int jumpTo;
    char brightest;        // 'r', 'g' or 'b'; 0 when no channel is asked for
    double minimumLitShare; // of the 640x480 frame
};

const SceneCase sceneCases[] = {
    {"beforeFirstCue", 3, 0, 'r', 0.01},  // the orange sphere
    {"blueScene", 9, 4, 'b', 0.01},
    {"greenScene", 13, 10, 'g', 0.01},
    {"endPicture", 16, 14, 0, 0.9},     // the closing picture fills the frame
};

// The mean colour of the lit pixels of the top-left 640x480 and their share of it.
struct LitLook {
    rig::Rgb mean;
    double share = 0;
};

LitLook litLook(const rig::Image &shot)
{
    const int threshold = 24;
    long r = 0, g = 0, b = 0, lit = 0;
    for (int y = 0; y < gameMode.height && y < shot.height; ++y)
        for (int x = 0; x < gameMode.width && x < shot.width; ++x) {
            const rig::Rgb pixel = shot.at(x, y);
            if (pixel.r <= threshold && pixel.g <= threshold && pixel.b <= threshold)
                continue;
            r += pixel.r;
            g += pixel.g;
            b += pixel.b;
            ++lit;
        }
    LitLook look;
    if (lit)
        look.mean = rig::Rgb{int(r / lit), int(g / lit), int(b / lit)};
    look.share = double(lit) / (double(gameMode.width) * gameMode.height);
    return look;
}

char brightestChannel(rig::Rgb colour)
{
    if (colour.r >= colour.g && colour.r >= colour.b)
        return 'r';
    return colour.g >= colour.b ? 'g' : 'b';
}

class DemoKey : public testing::TestWithParam<SceneCase> {};

TEST_P(DemoKey, DrawsInTheTopLeftAndAKeyExitsZeroRestoringTheDesktopMode)
{
    RIG_REQUIRE_SERVER(server, "b");
    rig::Screen screen(server.display);
    ASSERT_TRUE(rig::inDesktopMode(screen, server.display));
    ASSERT_EQ(screen.mode(), largeDesktop);
    rig::WorkDir dir;
    const std::vector<uint8_t> module = jumpModule(18, GetParam().jumpAtOrder, GetParam().jumpTo);
    ASSERT_TRUE(prepare(dir, &module));

    rig::Process demo = rig::startOrrery(dir, server);
    ASSERT_TRUE(drawingInGameMode(demo, screen, 20));
    const rig::Image shot = screen.grab();
    rig::writePng(rig::shotPath(std::string("demo-") + GetParam().name), shot);
    EXPECT_TRUE(frameInTopLeft(shot));
    const LitLook look = litLook(shot);
    EXPECT_GE(look.share, GetParam().minimumLitShare) << "mean lit colour " << look.mean;
    if (GetParam().brightest) {
        EXPECT_EQ(brightestChannel(look.mean), GetParam().brightest) << "mean lit colour " << look.mean;
    }

    ASSERT_TRUE(screen.pressKey());
    const rig::Outcome outcome = demo.wait(10s);
    EXPECT_TRUE(outcome.exited && outcome.status == 0) << outcome;
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(screen.mode(), largeDesktop);
}

INSTANTIATE_TEST_SUITE_P(Scenes, DemoKey, testing::ValuesIn(sceneCases),
                         [](const testing::TestParamInfo<SceneCase> &info) {
                             return std::string(info.param.name) + "_b";
                         });

struct SignalCase {
    const char *name;
    int number;
};

const SignalCase signalCases[] = {
    {"SIGTERM", SIGTERM},
    {"SIGINT", SIGINT},
    {"SIGHUP", SIGHUP},
};

class DemoSignal : public testing::TestWithParam<SignalCase> {};

TEST_P(DemoSignal, ExitsZeroAndRestoresTheDesktopMode)
{
    RIG_REQUIRE_SERVER(server, "b");
    rig::Screen screen(server.display);
    ASSERT_TRUE(rig::inDesktopMode(screen, server.display));
    ASSERT_EQ(screen.mode(), largeDesktop);
    rig::WorkDir dir;
    const std::vector<uint8_t> module = jumpModule(18, 3, 0);
    ASSERT_TRUE(prepare(dir, &module));

    rig::Process demo = rig::startOrrery(dir, server);
    ASSERT_TRUE(drawingInGameMode(demo, screen, 5));
    demo.signal(GetParam().number);
    const rig::Outcome outcome = demo.wait(10s);
    EXPECT_TRUE(outcome.exited && outcome.status == 0) << outcome;
    EXPECT_EQ(screen.mode(), largeDesktop);
}

INSTANTIATE_TEST_SUITE_P(Signals, DemoSignal, testing::ValuesIn(signalCases),
                         [](const testing::TestParamInfo<SignalCase> &info) {
                             return std::string(info.param.name) + "_b";
                         });

// The music cannot start: one line on standard error, status 1, no frame.
struct FailureCase {
    const char *name;
    enum { noFile, bytes } module;
    std::vector<uint8_t> moduleBytes;
    std::vector<std::string> environment;
    const char *messageStart;
};

std::vector<uint8_t> firstBytes(const std::vector<uint8_t> &bytes, size_t count)
{
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(std::min(count, bytes.size())));
}

const char cannotLoad[] = "orrery: cannot load marigold.it: ";

const FailureCase failureCases[] = {
    {"missingModule", FailureCase::noFile, {}, {}, cannotLoad},
    {"emptyModule", FailureCase::bytes, {}, {}, cannotLoad},
    {"notAModule", FailureCase::bytes, std::vector<uint8_t>(4096, 'x'), {}, cannotLoad},
    {"truncatedHeader", FailureCase::bytes, firstBytes(timelineModule(18, 1, 1, 255), 64), {}, cannotLoad},
    {"noAudioOutput", FailureCase::bytes, timelineModule(18, 1, 1, 255), {"SDL_AUDIODRIVER=none-such"},
     "orrery: cannot start the music player: "},
};

class DemoStartFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(DemoStartFailure, SaysWhatFailedOnStandardErrorExitsOneAndDrawsNothing)
{
    RIG_REQUIRE_SERVER(server, "b");
    rig::Screen screen(server.display);
    ASSERT_TRUE(rig::inDesktopMode(screen, server.display));
    rig::WorkDir dir;
    const FailureCase &c = GetParam();
    ASSERT_TRUE(prepare(dir, c.module == FailureCase::bytes ? &c.moduleBytes : nullptr));

    rig::Process demo = rig::startOrrery(dir, server, c.environment);
    const rig::Outcome outcome = demo.wait(30s);
    EXPECT_TRUE(outcome.exited && outcome.status == 1) << outcome;
    EXPECT_EQ(outcome.out, "");
    // One line: the start, then a reason.
    const std::string start = c.messageStart;
    EXPECT_EQ(outcome.err.compare(0, start.size(), start), 0) << outcome.err;
    EXPECT_GT(outcome.err.size(), start.size() + 1) << "no reason: " << outcome.err;
    EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << outcome.err;
    EXPECT_EQ(demo.framesDrawn(), 0);
    EXPECT_EQ(screen.mode(), largeDesktop);
}

INSTANTIATE_TEST_SUITE_P(Failures, DemoStartFailure, testing::ValuesIn(failureCases),
                         [](const testing::TestParamInfo<FailureCase> &info) {
                             return std::string(info.param.name) + "_b";
                         });

TEST(DemoWithoutFullScreenMode, SaysSoOnceOnStandardOutputExitsOneAndDrawsNothing_c)
{
    RIG_REQUIRE_SERVER(server, "c");
    rig::Screen screen(server.display);
    ASSERT_TRUE(screen.connected()) << "cannot open " << server.display;
    rig::WorkDir dir;
    const std::vector<uint8_t> module = timelineModule(18, 1, 1, 255);
    ASSERT_TRUE(prepare(dir, &module));

    rig::Process demo = rig::startOrrery(dir, server);
    const rig::Outcome outcome = demo.wait(30s);
    EXPECT_TRUE(outcome.exited && outcome.status == 1) << outcome;
    EXPECT_EQ(outcome.out, noModeMessage);
    EXPECT_EQ(demo.framesDrawn(), 0);
    EXPECT_EQ(screen.mode(), largeDesktop);
}

// The whole module over the real data files, about two minutes; screenshots along the
// way are kept for a look.
TEST(LongRun, RealDataPlaysTheWholeModuleToOrder17AndExitsZero_a)
{
    RIG_REQUIRE_SERVER(server, "a");
    rig::Screen screen(server.display);
    ASSERT_TRUE(rig::inDesktopMode(screen, server.display));
    rig::WorkDir dir;
    ASSERT_TRUE(dir.copyAllData()) << "cannot copy the data files from " << rig::dataPath("");

    const auto start = std::chrono::steady_clock::now();
    rig::Process demo = rig::startOrrery(dir, server);
    int shots = 0;
    auto nextShot = start + 5s;
    rig::waitUntil(
        [&] {
            if (std::chrono::steady_clock::now() >= nextShot && demo.running()) {
                rig::writePng(rig::shotPath("real-data-" + std::to_string(shots++)), screen.grab());
                nextShot += 15s;
            }
            return !demo.running();
        },
        300s);
    const rig::Outcome outcome = demo.wait(1s);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "the real data played to order 17 in " << seconds << " s, " << demo.framesDrawn()
              << " frames\n";
    RecordProperty("seconds", std::to_string(seconds));
    EXPECT_TRUE(outcome.exited && outcome.status == 0) << outcome;
    EXPECT_GT(demo.framesDrawn(), 0);
    EXPECT_EQ(screen.mode(), screen.desktop());
}

} // namespace
