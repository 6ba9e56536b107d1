// The real demo stopped at random moments, by a key and by each stop signal: during
// start-up, inside each scene and at each scene change; every run must end with status 0
// and the desktop mode back. The moments come from a seeded generator (the seed is printed;
// ORRERY_INTERRUPT_SEED sets another) so that a failing run can be repeated.
#include "itwriter.h"
#include "rig.h"

#include <X11/Xlib.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

const rig::VideoMode largeDesktop{1024, 768};
const int runsPerWay = 20;
const unsigned defaultSeed = 7117;

// Orders of 78 ms (one row at speed 1, tempo 32); the cues of orders 4, 10 and 14 thus
// come 312, 781 and 1094 ms after the music starts, and the last row of order 16 jumps
// back to 14, so the end picture stays until the demo is stopped.
std::vector<uint8_t> interruptModule() { return jumpModule(18, 16, 14, 1, 1, 32); }
const int orderMs = 78;
const int cueOrders[] = {4, 10, 14};

// Where in the run a moment falls. Start-up moments count from the moment the demo can
// first take the stop: its signal handlers are in place, or, for a key, its window holds
// the keyboard. The others count from the first frame, which follows the start of the
// music at once.
enum class Phase { startUp, orange, toBlue, blue, toGreen, green, toEnd, endPicture };
struct PhaseWindow {
    Phase phase;
    const char *name;
    int fromMs; // the range the moment is drawn from
    int toMs;
};
const PhaseWindow phaseWindows[] = {
    {Phase::startUp, "start-up", 0, 300},
    {Phase::orange, "orange", 0, cueOrders[0] * orderMs - 40},
    {Phase::toBlue, "orange-to-blue", cueOrders[0] * orderMs - 20, cueOrders[0] * orderMs + 60},
    {Phase::blue, "blue", cueOrders[0] * orderMs + 80, cueOrders[1] * orderMs - 40},
    {Phase::toGreen, "blue-to-green", cueOrders[1] * orderMs - 20, cueOrders[1] * orderMs + 60},
    {Phase::green, "green", cueOrders[1] * orderMs + 80, cueOrders[2] * orderMs - 40},
    {Phase::toEnd, "green-to-end", cueOrders[2] * orderMs - 20, cueOrders[2] * orderMs + 60},
    {Phase::endPicture, "end picture", cueOrders[2] * orderMs + 80, cueOrders[2] * orderMs + 600},
};

unsigned interruptSeed()
{
    const char *text = std::getenv("ORRERY_INTERRUPT_SEED");
    return text && *text ? unsigned(std::strtoul(text, nullptr, 0)) : defaultSeed;
}

// Polls every millisecond: start-up is too short for the rig's 20 ms steps.
bool pollUntil(const std::function<bool()> &condition, Ms timeout)
{
    const auto end = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Whether the process catches SIGINT, SIGTERM and SIGHUP (its SigCgt in /proc).
bool catchesStopSignals(pid_t pid)
{
    std::istringstream status(rig::readFile("/proc/" + std::to_string(pid) + "/status"));
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 7, "SigCgt:") == 0) {
            const unsigned long long caught = std::strtoull(line.c_str() + 7, nullptr, 16);
            const unsigned long long wanted = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1)) | (1ull << (SIGHUP - 1));
            return (caught & wanted) == wanted;
        }
    return false;
}

// Whether some window has taken the keyboard focus from the root: the game-mode window
// does so as it enters game mode, and a key pressed before would go nowhere.
bool keyboardTaken(Display *display)
{
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    return focus != None && focus != PointerRoot && focus != DefaultRootWindow(display);
}

struct Way {
    const char *name;
    int signal; // 0: a key
};

const Way ways[] = {{"key", 0}, {"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}, {"SIGHUP", SIGHUP}};

class Interrupted : public testing::TestWithParam<Way> {};

TEST_P(Interrupted, AtTwentyRandomMomentsEveryRunExitsZeroAndRestoresTheDesktopMode)
{
    RIG_REQUIRE_SERVER(server, "b");
    const Way &way = GetParam();
    rig::Screen screen(server.display);
    ASSERT_TRUE(screen.connected()) << "cannot open " << server.display;
    Display *focusDisplay = XOpenDisplay(server.display.c_str());
    ASSERT_NE(focusDisplay, nullptr) << "cannot open " << server.display;
    const std::unique_ptr<Display, int (*)(Display *)> closeFocusDisplay(focusDisplay, XCloseDisplay);
    ASSERT_TRUE(screen.restoreDesktopMode());
    ASSERT_EQ(screen.mode(), largeDesktop);
    rig::WorkDir dir;
    for (const char *name : {"cmap.tga", "color2.tga", "tesilmap.tga", "tesilmapc.tga"})
        ASSERT_TRUE(dir.copyData(name)) << "cannot copy " << rig::dataPath(name);
    ASSERT_TRUE(dir.write("marigold.it", interruptModule()));

    // Each way draws its own moments, so that one can be run alone and repeated.
    const unsigned seed = interruptSeed() + unsigned(way.signal);
    std::printf("%s: seed %u (ORRERY_INTERRUPT_SEED=%u)\n", way.name, seed, interruptSeed());
    RecordProperty("seed", std::to_string(seed));
    std::mt19937 random(seed);

    int passed = 0;
    for (int run = 0; run < runsPerWay; ++run) {
        const PhaseWindow &window = phaseWindows[size_t(run) % std::size(phaseWindows)];
        const int momentMs = std::uniform_int_distribution<int>(window.fromMs, window.toMs)(random);
        SCOPED_TRACE(testing::Message() << way.name << " run " << run << ": " << window.name << " + " << momentMs
                                        << " ms (seed " << seed << ")");

        rig::Process demo = rig::startOrrery(dir, server);
        bool ready = false;
        if (window.phase == Phase::startUp)
            ready = way.signal ? pollUntil([&] { return catchesStopSignals(demo.pid()) || !demo.running(); }, 30s)
                               : pollUntil([&] { return keyboardTaken(focusDisplay) || !demo.running(); }, 30s);
        else
            ready = pollUntil([&] { return demo.framesDrawn() > 0 || !demo.running(); }, 30s);
        ASSERT_TRUE(ready && demo.running()) << "the demo did not get ready: " << demo.wait(5s);
        std::this_thread::sleep_until(Clock::now() + Ms(momentMs));

        const long framesBefore = demo.framesDrawn();
        if (way.signal)
            demo.signal(way.signal);
        else
            ASSERT_TRUE(screen.pressKey());
        const rig::Outcome outcome = demo.wait(10s);
        const rig::VideoMode after = screen.mode();
        const bool good = outcome.exited && outcome.status == 0 && after == largeDesktop;
        std::printf("  %-7s run %2d  %-14s +%4d ms  %4ld frames before  %s, mode %dx%d\n", way.name, run,
                    window.name, momentMs, framesBefore,
                    outcome.timedOut ? "timed out"
                    : outcome.exited ? ("status " + std::to_string(outcome.status)).c_str()
                                     : ("signal " + std::to_string(outcome.signal)).c_str(),
                    after.width, after.height);
        EXPECT_TRUE(outcome.exited && outcome.status == 0) << outcome;
        EXPECT_EQ(after, largeDesktop);
        if (good)
            ++passed;
        else
            screen.restoreDesktopMode();
    }
    std::printf("%s: %d of %d runs exited 0 with the desktop mode back\n", way.name, passed, runsPerWay);
}

INSTANTIATE_TEST_SUITE_P(Ways, Interrupted, testing::ValuesIn(ways),
                         [](const testing::TestParamInfo<Way> &info) { return std::string(info.param.name) + "_b"; });

} // namespace
