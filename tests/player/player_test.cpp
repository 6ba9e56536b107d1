// Tests of the module player over the real libopenmpt and SDL: positions in real time on
// SDL's dummy driver, loads that fail, release in every order, and the audio captured by
// SDL's disk driver against the decoder's own render. Modules come from the IT writer.
#include "itwriter.h"
#include "player.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t systemFlags = playerRamp | playerLoop | playerInterpolate;
constexpr uint32_t rate = 44100;

uint32_t orderOf(uint32_t position) { return position & 0xFFFF; }
uint32_t rowOf(uint32_t position) { return position >> 16; }

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A directory of its own under the system's temporary directory, removed with its files.
struct TempDir {
    std::filesystem::path path;
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orrery-player-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp " << pattern << " failed";
        }
        path = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const char *name) const { return (path / name).string(); }
};

void writeFile(const std::string &name, const Bytes &bytes)
{
    std::ofstream out(name, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << name;
}

Bytes readFile(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every position change seen while polling about every millisecond, with its time.
struct Seen {
    double seconds; // since the watch began
    uint32_t position;
};

// Polls the position until `done` holds for a position or `timeoutSeconds` pass.
std::vector<Seen> watchPositions(const std::function<bool(uint32_t)> &done, double timeoutSeconds)
{
    std::vector<Seen> seen;
    const Clock::time_point start = Clock::now();
    while (secondsSince(start) < timeoutSeconds) {
        const uint32_t position = BASSMOD_MusicGetPosition();
        if (seen.empty() || seen.back().position != position) {
            seen.push_back({secondsSince(start), position});
        }
        if (done(position)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return seen;
}

bool reachesOrder(const std::vector<Seen> &seen, uint32_t order)
{
    return std::any_of(seen.begin(), seen.end(),
                       [order](const Seen &s) { return orderOf(s.position) == order; });
}

// Seconds of a module from its start to the start of `order`, as the decoder counts them.
double orderStartSeconds(const Bytes &module, int order)
{
    openmpt_module *mod = openmpt_module_create_from_memory2(module.data(), module.size(), nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(mod, nullptr);
    if (mod == nullptr) {
        return 0;
    }
    const double seconds = openmpt_module_set_position_order_row(mod, order, 0);
    openmpt_module_destroy(mod);
    return seconds;
}

// Every test starts on SDL's dummy driver, which consumes buffers in about real time,
// and ends with the player released.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u) << "a test before left SDL running";
    }
    void TearDown() override
    {
        BASSMOD_Free();
        EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
    }
    void startWith(const Bytes &module, uint32_t flags)
    {
        ASSERT_NE(BASSMOD_Init(-1, rate, 0), 0) << playerErrorText();
        ASSERT_NE(BASSMOD_MusicLoad(1, module.data(), 0, static_cast<uint32_t>(module.size()), flags), 0)
            << playerErrorText();
        ASSERT_NE(BASSMOD_MusicPlay(), 0) << playerErrorText();
    }
};

// ---- calls outside Init .. Free

struct NamedCall {
    const char *name;
    std::function<uint32_t()> call;
};

std::vector<NamedCall> everyCall(const Bytes &module)
{
    return {
        {"MusicLoad", [&module] { return uint32_t(BASSMOD_MusicLoad(1, module.data(), 0, uint32_t(module.size()), 0)); }},
        {"MusicPlay", [] { return uint32_t(BASSMOD_MusicPlay()); }},
        {"MusicGetPosition", [] { return BASSMOD_MusicGetPosition(); }},
        {"MusicStop", [] { return uint32_t(BASSMOD_MusicStop()); }},
        {"MusicFree", [] { return uint32_t(BASSMOD_MusicFree()); }},
        {"Free", [] { return uint32_t(BASSMOD_Free()); }},
    };
}

TEST_F(PlayerTest, CallsBeforeInitAndAfterFreeReturnZeroAndStartNothing)
{
    const Bytes module = timelineModule(2, 1, 1, 255);
    for (const bool afterFree : {false, true}) {
        if (afterFree) {
            ASSERT_NE(BASSMOD_Init(-1, rate, 0), 0) << playerErrorText();
            ASSERT_NE(BASSMOD_Free(), 0);
        }
        for (const NamedCall &c : everyCall(module)) {
            SCOPED_TRACE(std::string(c.name) + (afterFree ? " after Free" : " before Init"));
            EXPECT_EQ(c.call(), 0u);
            EXPECT_NE(std::string(playerErrorText()).find("not started"), std::string::npos)
                << playerErrorText();
            EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
        }
    }
}

// ---- Init

struct InitFailure {
    const char *name;
    const char *driver;
    int device;
    uint32_t rate;
    const char *reason; // a part of the text playerErrorText gives
};

const InitFailure initFailures[] = {
    {"no such audio driver", "nosuchdriver", -1, 44100, "SDL audio"},
    {"device past the list", "dummy", 5, 44100, "no output device 5"},
    {"negative device other than -1", "dummy", -2, 44100, "no output device -2"},
    {"rate 0", "dummy", -1, 0, "rate 0"},
    {"rate above the decoder's", "dummy", -1, 400000, "rate 400000"},
};

TEST_F(PlayerTest, InitWithoutAUsableDeviceFailsWithAReasonAndLeavesNothing)
{
    for (const InitFailure &f : initFailures) {
        SCOPED_TRACE(f.name);
        setenv("SDL_AUDIODRIVER", f.driver, 1);
        EXPECT_EQ(BASSMOD_Init(f.device, f.rate, 0), 0);
        EXPECT_NE(std::string(playerErrorText()).find(f.reason), std::string::npos) << playerErrorText();
        EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
        EXPECT_EQ(BASSMOD_MusicPlay(), 0) << "a failed Init left a started player";
    }
}

TEST_F(PlayerTest, InitOpensTheDefaultOrAListedDeviceOnce)
{
    const Bytes module = timelineModule(2, 1, 1, 255);
    for (const int device : {-1, 0}) {
        SCOPED_TRACE(device);
        ASSERT_NE(BASSMOD_Init(device, 22050, 0), 0) << playerErrorText();
        EXPECT_NE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
        EXPECT_EQ(BASSMOD_Init(device, 22050, 0), 0) << "a second Init succeeded";
        EXPECT_NE(std::string(playerErrorText()).find("already started"), std::string::npos);
        EXPECT_NE(BASSMOD_MusicLoad(1, module.data(), 0, uint32_t(module.size()), 0), 0)
            << "the second Init broke the first: " << playerErrorText();
        EXPECT_NE(BASSMOD_Free(), 0);
        EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
    }
}

// ---- loading

// How a load is called: from a file or memory, the module behind `prefix` junk bytes
// and before `suffix` junk bytes, with its exact length or 0 (the rest of the file).
struct LoadWay {
    const char *name;
    bool fromMemory;
    uint32_t prefix;
    uint32_t suffix;
    bool exactLength;
};

const LoadWay loadWays[] = {
    {"whole file", false, 0, 0, false},
    {"file from an offset to its end", false, 37, 0, false},
    {"file window inside junk", false, 37, 51, true},
    {"memory", true, 0, 0, true},
    {"memory window inside junk", true, 37, 51, true},
};

TEST_F(PlayerTest, ModulesLoadFromFilesAndMemoryWindowsAndPlay)
{
    const Bytes module = timelineModule(3, 2, 1, 250);
    TempDir dir;
    for (const LoadWay &way : loadWays) {
        SCOPED_TRACE(way.name);
        Bytes stored(way.prefix, 0xA5);
        stored.insert(stored.end(), module.begin(), module.end());
        stored.insert(stored.end(), way.suffix, 0x5A);
        const std::string name = dir.file("window.it");
        writeFile(name, stored);
        const uint32_t length = way.exactLength ? uint32_t(module.size()) : 0;
        ASSERT_NE(BASSMOD_Init(-1, rate, 0), 0) << playerErrorText();
        const int loaded = way.fromMemory ? BASSMOD_MusicLoad(1, stored.data(), way.prefix, length, 0)
                                          : BASSMOD_MusicLoad(0, name.c_str(), way.prefix, length, 0);
        ASSERT_NE(loaded, 0) << playerErrorText();
        ASSERT_NE(BASSMOD_MusicPlay(), 0) << playerErrorText();
        EXPECT_TRUE(reachesOrder(watchPositions([](uint32_t p) { return orderOf(p) == 2; }, 10), 2));
        EXPECT_NE(BASSMOD_Free(), 0);
    }
}

// A failing load: how to call it, given a scratch directory and a good module.
struct LoadFailure {
    const char *name;
    std::function<int(const TempDir &, const Bytes &)> load;
    const char *reason;
};

int loadStoredFile(const TempDir &dir, const Bytes &bytes, uint32_t offset = 0, uint32_t length = 0)
{
    const std::string name = dir.file("stored.it");
    writeFile(name, bytes);
    return BASSMOD_MusicLoad(0, name.c_str(), offset, length, systemFlags);
}

const LoadFailure loadFailures[] = {
    {"missing file", [](const TempDir &dir, const Bytes &) {
         return BASSMOD_MusicLoad(0, dir.file("absent.it").c_str(), 0, 0, systemFlags); },
     "No such file"},
    {"a directory", [](const TempDir &dir, const Bytes &) {
         return BASSMOD_MusicLoad(0, dir.path.c_str(), 0, 0, systemFlags); },
     "not a regular file"},
    {"empty file", [](const TempDir &dir, const Bytes &) { return loadStoredFile(dir, {}); }, "empty"},
    {"header cut short", [](const TempDir &dir, const Bytes &m) {
         return loadStoredFile(dir, Bytes(m.begin(), m.begin() + 100)); },
     "cannot decode"},
    {"text, not a module", [](const TempDir &dir, const Bytes &) {
         const std::string text = "These bytes are a note about the music, not music at all.\n";
         return loadStoredFile(dir, Bytes(text.begin(), text.end())); },
     "cannot decode"},
    {"offset past the end", [](const TempDir &dir, const Bytes &m) {
         return loadStoredFile(dir, m, uint32_t(m.size()), 0); },
     "offset"},
    {"length past the end", [](const TempDir &dir, const Bytes &m) {
         return loadStoredFile(dir, m, 1, uint32_t(m.size())); },
     "holds"},
    {"no file name", [](const TempDir &, const Bytes &) {
         return BASSMOD_MusicLoad(0, nullptr, 0, 0, systemFlags); },
     "no file name"},
    {"memory without a length", [](const TempDir &, const Bytes &m) {
         return BASSMOD_MusicLoad(1, m.data(), 0, 0, systemFlags); },
     "no length"},
    {"memory holding junk", [](const TempDir &, const Bytes &) {
         const Bytes junk(4096, 0x3C);
         return BASSMOD_MusicLoad(1, junk.data(), 0, uint32_t(junk.size()), systemFlags); },
     "cannot decode"},
};

TEST_F(PlayerTest, FailingLoadsSayWhyAndKeepTheModuleBefore)
{
    const Bytes module = timelineModule(3, 2, 1, 250);
    TempDir dir;
    ASSERT_NE(BASSMOD_Init(-1, rate, 0), 0) << playerErrorText();
    ASSERT_NE(BASSMOD_MusicLoad(1, module.data(), 0, uint32_t(module.size()), 0), 0) << playerErrorText();
    for (const LoadFailure &f : loadFailures) {
        SCOPED_TRACE(f.name);
        EXPECT_EQ(f.load(dir, module), 0);
        EXPECT_NE(std::string(playerErrorText()).find(f.reason), std::string::npos) << playerErrorText();
    }
    ASSERT_NE(BASSMOD_MusicPlay(), 0) << "the failed loads dropped the loaded module";
    EXPECT_TRUE(reachesOrder(watchPositions([](uint32_t p) { return orderOf(p) == 2; }, 10), 2));
}

// A module cut anywhere either fails to load with a reason or loads and plays what it
// holds; neither may crash or hang.
TEST_F(PlayerTest, TruncatedModulesFailOrPlayWhatTheyHold)
{
    const Bytes module = timelineModule(3, 2, 1, 250);
    ASSERT_NE(BASSMOD_Init(-1, rate, 0), 0) << playerErrorText();
    const size_t size = module.size();
    const size_t itHeaderBytes = 192; // before the order list
    for (const size_t cut : {size_t(1), size_t(4), itHeaderBytes - 1, itHeaderBytes, size / 4, size / 2, size - 1}) {
        SCOPED_TRACE(cut);
        const int loaded = BASSMOD_MusicLoad(1, module.data(), 0, uint32_t(cut), 0);
        if (cut < itHeaderBytes) {
            EXPECT_EQ(loaded, 0) << "a module without its whole header loaded";
        }
        if (loaded == 0) {
            EXPECT_NE(std::string(playerErrorText()), "");
            continue;
        }
        ASSERT_NE(BASSMOD_MusicPlay(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_NE(BASSMOD_MusicStop(), 0);
    }
}

// ---- playing in real time

struct TimedModule {
    const char *name;
    int orders;
    int rowsPerOrder;
    int speed;
    int tempo;
};

const TimedModule timedModules[] = {
    {"orders of four 10 ms rows", 6, 4, 1, 250},
    {"orders of two 50 ms rows", 4, 2, 3, 150},
    {"eighteen one-row orders, shorter than a buffer", 18, 1, 1, 255},
};

TEST_F(PlayerTest, OrderAndRowAdvanceWithTheMusicAndNeverGoBack)
{
    for (const TimedModule &m : timedModules) {
        SCOPED_TRACE(m.name);
        const Bytes module = timelineModule(m.orders, m.rowsPerOrder, m.speed, m.tempo);
        const uint32_t last = uint32_t(m.orders - 1);
        const double lastStarts = orderStartSeconds(module, m.orders - 1);
        startWith(module, 0);
        const std::vector<Seen> seen = watchPositions([last](uint32_t p) { return orderOf(p) == last; },
                                                      10 + 4 * lastStarts);
        ASSERT_TRUE(reachesOrder(seen, last)) << "last position " << std::hex << seen.back().position;
        // Half the music's time is a bound no machine's slowness can break.
        EXPECT_GT(seen.back().seconds, lastStarts / 2) << "the position ran ahead of the music";
        uint32_t highestRow = 0;
        for (size_t i = 1; i < seen.size(); ++i) {
            const uint32_t before = seen[i - 1].position, now = seen[i].position;
            EXPECT_TRUE(orderOf(now) > orderOf(before) ||
                        (orderOf(now) == orderOf(before) && rowOf(now) > rowOf(before)))
                << std::hex << before << " then " << now;
            EXPECT_LT(rowOf(now), uint32_t(m.rowsPerOrder));
            highestRow = std::max(highestRow, rowOf(now));
        }
        if (m.rowsPerOrder > 1) {
            EXPECT_GT(highestRow, 0u) << "rows never advanced";
        }
        EXPECT_NE(BASSMOD_Free(), 0);
    }
}

TEST_F(PlayerTest, WithoutLoopTheLastPositionStaysAfterTheEnd)
{
    const Bytes module = timelineModule(3, 2, 1, 250);
    startWith(module, playerRamp | playerInterpolate);
    ASSERT_TRUE(reachesOrder(watchPositions([](uint32_t p) { return orderOf(p) == 2; }, 10), 2));
    // Well past the end and its fadeout the position holds on the last order.
    const std::vector<Seen> after = watchPositions([](uint32_t) { return false; }, 0.4);
    for (const Seen &s : after) {
        EXPECT_EQ(orderOf(s.position), 2u) << "at " << s.seconds << " s";
    }
}

TEST_F(PlayerTest, TheSystemFlagsLoopTheModule)
{
    const Bytes module = timelineModule(4, 2, 1, 250);
    startWith(module, systemFlags);
    ASSERT_TRUE(reachesOrder(watchPositions([](uint32_t p) { return orderOf(p) == 3; }, 10), 3));
    EXPECT_TRUE(reachesOrder(watchPositions([](uint32_t p) { return orderOf(p) == 0; }, 10), 0))
        << "the module did not start over";
    EXPECT_TRUE(reachesOrder(watchPositions([](uint32_t p) { return orderOf(p) == 3; }, 10), 3))
        << "the second pass did not play through";
}

// A position jump from order 3 back to 1: the orders after 3 are never heard; with the
// loop flag the jump repeats, without it the module ends at the jump.
TEST_F(PlayerTest, PositionJumpsAreFollowed)
{
    const Bytes module = jumpModule(6, 3, 1, 2, 1, 250);
    for (const bool loop : {true, false}) {
        SCOPED_TRACE(loop ? "looping" : "once");
        startWith(module, loop ? systemFlags : 0);
        const std::vector<Seen> seen = watchPositions([](uint32_t) { return false; }, 0.6);
        ASSERT_TRUE(reachesOrder(seen, 3));
        bool backAfterJump = false;
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_LE(orderOf(seen[i].position), 3u) << "an order past the jump was played";
            if (i > 0 && orderOf(seen[i - 1].position) == 3 && orderOf(seen[i].position) < 3) {
                backAfterJump = true;
            }
        }
        EXPECT_EQ(backAfterJump, loop);
        EXPECT_NE(BASSMOD_Free(), 0);
    }
}

// ---- play, load and release in any order

TEST_F(PlayerTest, PlayNeedsALoadedModule)
{
    const Bytes module = timelineModule(2, 1, 1, 255);
    ASSERT_NE(BASSMOD_Init(-1, rate, 0), 0) << playerErrorText();
    EXPECT_EQ(BASSMOD_MusicPlay(), 0);
    EXPECT_NE(std::string(playerErrorText()).find("no module"), std::string::npos) << playerErrorText();
    ASSERT_NE(BASSMOD_MusicLoad(1, module.data(), 0, uint32_t(module.size()), 0), 0);
    EXPECT_NE(BASSMOD_MusicPlay(), 0);
    EXPECT_NE(BASSMOD_MusicFree(), 0);
    EXPECT_EQ(BASSMOD_MusicPlay(), 0) << "played a freed module";
    EXPECT_EQ(BASSMOD_MusicGetPosition(), 0u);
}

TEST_F(PlayerTest, PlayStartsOverFromTheBeginningAlsoAfterTheEnd)
{
    const Bytes module = timelineModule(4, 2, 1, 250);
    startWith(module, 0);
    for (const uint32_t restartAt : {2u, 3u}) {
        SCOPED_TRACE(restartAt);
        ASSERT_TRUE(reachesOrder(watchPositions([=](uint32_t p) { return orderOf(p) == restartAt; }, 10), restartAt));
        if (restartAt == 3) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300)); // past the end and its fadeout
        }
        ASSERT_NE(BASSMOD_MusicPlay(), 0);
        EXPECT_EQ(BASSMOD_MusicGetPosition(), 0u);
        const std::vector<Seen> seen = watchPositions([](uint32_t p) { return orderOf(p) == 1; }, 10);
        EXPECT_TRUE(reachesOrder(seen, 1)) << "did not play again";
        EXPECT_LE(orderOf(seen.front().position), 1u);
    }
}

TEST_F(PlayerTest, StopHoldsThePositionAndPlayResumesFromTheStart)
{
    const Bytes module = timelineModule(8, 2, 1, 250);
    startWith(module, 0);
    ASSERT_TRUE(reachesOrder(watchPositions([](uint32_t p) { return orderOf(p) == 2; }, 10), 2));
    const uint32_t beforeStop = BASSMOD_MusicGetPosition();
    ASSERT_NE(BASSMOD_MusicStop(), 0);
    const uint32_t stoppedAt = BASSMOD_MusicGetPosition();
    EXPECT_GE(orderOf(stoppedAt), orderOf(beforeStop));
    EXPECT_LE(orderOf(stoppedAt), orderOf(beforeStop) + 1) << "the stop jumped ahead";
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(BASSMOD_MusicGetPosition(), stoppedAt) << "the position moved after the stop";
    ASSERT_NE(BASSMOD_MusicPlay(), 0);
    EXPECT_TRUE(reachesOrder(watchPositions([](uint32_t p) { return orderOf(p) == 1; }, 10), 1));
}

TEST_F(PlayerTest, LoadingWhilePlayingReplacesTheModuleStopped)
{
    const Bytes first = timelineModule(16, 2, 1, 250);
    const Bytes second = timelineModule(3, 1, 3, 125);
    startWith(first, systemFlags);
    ASSERT_TRUE(reachesOrder(watchPositions([](uint32_t p) { return orderOf(p) == 4; }, 10), 4));
    ASSERT_NE(BASSMOD_MusicLoad(1, second.data(), 0, uint32_t(second.size()), 0), 0) << playerErrorText();
    EXPECT_EQ(BASSMOD_MusicGetPosition(), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(BASSMOD_MusicGetPosition(), 0u) << "the replaced module went on playing";
    ASSERT_NE(BASSMOD_MusicPlay(), 0);
    const std::vector<Seen> seen = watchPositions([](uint32_t) { return false; }, 0.5);
    EXPECT_TRUE(reachesOrder(seen, 2));
    for (const Seen &s : seen) {
        EXPECT_LE(orderOf(s.position), 2u) << "the first module is still playing";
    }
}

enum class Release { stop, musicFree, free };

struct ReleaseOrder {
    const char *name;
    std::vector<Release> steps;
};

const ReleaseOrder releaseOrders[] = {
    {"stop, music free, free", {Release::stop, Release::musicFree, Release::free}},
    {"stop, free, music free", {Release::stop, Release::free, Release::musicFree}},
    {"music free, stop, free", {Release::musicFree, Release::stop, Release::free}},
    {"music free, free, stop", {Release::musicFree, Release::free, Release::stop}},
    {"free, stop, music free", {Release::free, Release::stop, Release::musicFree}},
    {"free, music free, stop", {Release::free, Release::musicFree, Release::stop}},
    {"each twice", {Release::stop, Release::stop, Release::musicFree, Release::musicFree, Release::free,
                    Release::free}},
    {"the sequence twice", {Release::stop, Release::musicFree, Release::free, Release::stop,
                            Release::musicFree, Release::free}},
};

TEST_F(PlayerTest, StopAndFreeWorkInAnyOrderAndTwice)
{
    const Bytes module = timelineModule(8, 2, 1, 250);
    for (const ReleaseOrder &order : releaseOrders) {
        SCOPED_TRACE(order.name);
        startWith(module, systemFlags);
        ASSERT_TRUE(reachesOrder(watchPositions([](uint32_t p) { return orderOf(p) == 1; }, 10), 1));
        bool freed = false;
        for (const Release step : order.steps) {
            const int result = step == Release::stop        ? BASSMOD_MusicStop()
                               : step == Release::musicFree ? BASSMOD_MusicFree()
                                                            : BASSMOD_Free();
            EXPECT_EQ(result != 0, !freed);
            freed = freed || step == Release::free;
        }
        EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
        EXPECT_EQ(BASSMOD_MusicGetPosition(), 0u);
    }
}

// ---- the audio itself, captured by SDL's disk driver

struct RenderSettings {
    const char *name;
    uint32_t flags;
    int32_t repeatCount;
    int32_t filterLength;
    int32_t rampingStrength;
};

const RenderSettings renderSettings[] = {
    {"the system's 261: loop, default interpolation, ramping", systemFlags, -1, 0, -1},
    {"no flags: once, no interpolation, no ramping", 0, 0, 1, 0},
    {"interpolation only", playerInterpolate, 0, 0, 0},
    {"loop and ramping, no interpolation", playerLoop | playerRamp | 0x8000'0000, -1, 1, -1},
};

// The decoder's own render of a module, in float stereo at `rate`: `frames` frames or
// up to the module's end, whichever comes first.
std::vector<float> referenceRender(const Bytes &module, const RenderSettings &s, size_t frames)
{
    const openmpt_module_initial_ctl ctls[] = {{"load.skip_plugins", "1"}, {nullptr, nullptr}};
    openmpt_module *mod = openmpt_module_create_from_memory2(module.data(), module.size(), nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr, ctls);
    EXPECT_NE(mod, nullptr);
    if (mod == nullptr) {
        return {};
    }
    openmpt_module_set_repeat_count(mod, s.repeatCount);
    openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, s.filterLength);
    openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH, s.rampingStrength);
    std::vector<float> samples(frames * 2);
    size_t done = 0;
    while (done < frames) {
        const size_t got = openmpt_module_read_interleaved_float_stereo(mod, int32_t(rate), std::min<size_t>(1024, frames - done),
                                                                        samples.data() + done * 2);
        if (got == 0) {
            break;
        }
        done += got;
    }
    openmpt_module_destroy(mod);
    samples.resize(done * 2);
    return samples;
}

size_t firstSound(const std::vector<float> &samples)
{
    const auto it = std::find_if(samples.begin(), samples.end(), [](float v) { return v != 0.0f; });
    return size_t(it - samples.begin());
}

// The largest difference between the capture from `start` and the reference.
float largestDifference(const std::vector<float> &capture, size_t start, const std::vector<float> &reference)
{
    float largest = 0;
    for (size_t i = 0; i < reference.size() && start + i < capture.size(); ++i) {
        largest = std::max(largest, std::fabs(capture[start + i] - reference[i]));
    }
    return largest;
}

TEST_F(PlayerTest, CapturedAudioIsTheDecodersRenderOfTheModule)
{
    // Four orders of four 60 ms rows, a decaying tone at each order's start: about a second.
    const Bytes module = timelineModule(4, 4, 3, 125);
    const size_t compared = rate * 5 / 4; // frames: the whole second and the fadeout after it
    const float tolerance = 1e-5f;
    TempDir dir;
    const std::string capturePath = dir.file("capture.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capturePath.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "4", 1); // ms per 23 ms buffer: faster than real time
    for (const RenderSettings &s : renderSettings) {
        SCOPED_TRACE(s.name);
        const std::vector<float> reference = referenceRender(module, s, compared);
        ASSERT_FALSE(reference.empty());
        ASSERT_NE(BASSMOD_Init(-1, rate, 0), 0) << playerErrorText();
        ASSERT_NE(BASSMOD_MusicLoad(1, module.data(), 0, uint32_t(module.size()), s.flags), 0) << playerErrorText();
        ASSERT_NE(BASSMOD_MusicPlay(), 0);
        // The capture starts with the silence of the paused device; wait for the music
        // and a second of buffers past what is compared.
        std::vector<float> capture;
        const Clock::time_point start = Clock::now();
        while (secondsSince(start) < 30) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const Bytes raw = readFile(capturePath);
            capture.assign(reinterpret_cast<const float *>(raw.data()),
                           reinterpret_cast<const float *>(raw.data()) + raw.size() / sizeof(float));
            const size_t sound = firstSound(capture);
            if (sound < capture.size() && capture.size() >= sound + compared * 2 + rate * 2) {
                break;
            }
        }
        ASSERT_NE(BASSMOD_Free(), 0);
        const size_t soundAt = firstSound(capture);
        ASSERT_LT(soundAt, capture.size()) << "the capture is silent";
        ASSERT_GE(soundAt, firstSound(reference));
        const size_t offset = soundAt - firstSound(reference);
        ASSERT_GE(capture.size(), offset + compared * 2) << "the capture ended early";
        EXPECT_LE(largestDifference(capture, offset, reference), tolerance);
        if (s.repeatCount == 0) {
            // The module ended inside the compared stretch: after it, silence only.
            ASSERT_LT(reference.size(), compared * 2);
            const auto tail = capture.begin() + std::ptrdiff_t(offset + reference.size());
            EXPECT_TRUE(std::all_of(tail, capture.end(), [](float v) { return v == 0.0f; }))
                << "sound after the module's end";
        }
        // The settings are heard: the render with every one of them the other way differs.
        const RenderSettings opposite = {"opposite", 0, s.repeatCount == 0 ? -1 : 0, s.filterLength == 1 ? 0 : 1,
                                         s.rampingStrength == 0 ? -1 : 0};
        EXPECT_GT(largestDifference(capture, offset, referenceRender(module, opposite, compared)), 1e-3f);
    }
}

// ---- the delay between an order change being rendered and being reported

struct Millis {
    double lowest = 1e9, highest = -1e9, sum = 0;
    int count = 0;
    void add(double ms)
    {
        lowest = std::min(lowest, ms);
        highest = std::max(highest, ms);
        sum += ms;
        ++count;
    }
    void print(const char *what) const
    {
        printf("%s over %d order changes: min %.1f ms, mean %.1f ms, max %.1f ms\n", what, count, lowest,
               count ? sum / count : 0.0, highest);
    }
};

// Measured, not asserted. On the disk driver at its real-time pace the capture file grows
// by one buffer right after each render, so the poll sees when the buffer holding an
// order's first frame was rendered and when the position first shows that order. As the
// position follows the ear slice by slice, the delay spreads over one buffer's duration.
TEST_F(PlayerTest, MeasureOrderChangeToReportDelay)
{
    const int orders = 12;
    const Bytes module = timelineModule(orders, 4, 3, 125); // 240 ms orders
    const size_t frameBytes = 2 * sizeof(float);
    const size_t bufferFrames = 1024;
    TempDir dir;
    const std::string capturePath = dir.file("capture.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capturePath.c_str(), 1);
    unsetenv("SDL_DISKAUDIODELAY");
    struct Poll {
        double seconds;
        uint32_t position;
        uintmax_t bytes;
    };
    std::vector<Poll> polls;
    startWith(module, 0);
    const Clock::time_point start = Clock::now();
    while (secondsSince(start) < 30 && (polls.empty() || orderOf(polls.back().position) != orders - 1)) {
        std::error_code error;
        const uintmax_t bytes = std::filesystem::file_size(capturePath, error);
        polls.push_back({secondsSince(start), BASSMOD_MusicGetPosition(), error ? 0 : bytes});
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    ASSERT_NE(BASSMOD_Free(), 0);
    const Bytes raw = readFile(capturePath);
    const std::vector<float> capture(reinterpret_cast<const float *>(raw.data()),
                                     reinterpret_cast<const float *>(raw.data()) + raw.size() / sizeof(float));
    const RenderSettings once = {"once", 0, 0, 1, 0};
    const size_t musicStart = (firstSound(capture) - firstSound(referenceRender(module, once, rate))) / 2;
    const auto firstPollWith = [&polls](const std::function<bool(const Poll &)> &holds) {
        const auto it = std::find_if(polls.begin(), polls.end(), holds);
        return it == polls.end() ? -1.0 : it->seconds;
    };
    const auto writtenBy = [&](size_t frame) {
        const uintmax_t needed = (frame / bufferFrames + 1) * bufferFrames * frameBytes;
        return firstPollWith([needed](const Poll &p) { return p.bytes >= needed; });
    };
    Millis fromRender;
    for (int order = 1; order < orders; ++order) {
        const double due = orderStartSeconds(module, order);
        const size_t changeFrame = musicStart + size_t(std::lround(due * rate));
        const double reported = firstPollWith([order](const Poll &p) { return orderOf(p.position) == uint32_t(order); });
        const double rendered = writtenBy(changeFrame);
        if (reported >= 0 && rendered >= 0) {
            fromRender.add((reported - rendered) * 1000);
        }
    }
    ASSERT_GT(fromRender.count, 0);
    fromRender.print("rendered to reported");
    printf("(buffer %zu frames, %.1f ms; polled every 0.5 ms)\n", bufferFrames, bufferFrames * 1000.0 / rate);
    RecordProperty("renderedToReportedMeanMs", std::to_string(fromRender.sum / fromRender.count));
}

} // namespace
