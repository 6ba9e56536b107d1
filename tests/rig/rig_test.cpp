// The rig proves itself: its probe enters game mode on servers a and b, its colour is
// read back where the switched screen shows it, a key ends it and the desktop's mode
// returns; on server c game mode cannot be entered.
#include "rig.h"

#include <chrono>

namespace {

using namespace std::chrono_literals;

const rig::Rgb probeColour{51, 153, 204};
const rig::VideoMode gameMode{640, 480};

struct ProbeCase {
    const char *server;
    rig::VideoMode desktop;
};

const ProbeCase probeCases[] = {
    {"a", {640, 480}},
    {"b", {1024, 768}},
};

class RigProbe : public testing::TestWithParam<ProbeCase> {};

TEST_P(RigProbe, EntersGameModeDrawsAndReturnsToTheDesktopOnAKey)
{
    RIG_REQUIRE_SERVER(server, GetParam().server);
    rig::Screen screen(server.display);
    ASSERT_TRUE(screen.connected()) << "cannot open " << server.display;
    ASSERT_TRUE(screen.restoreDesktopMode());
    ASSERT_EQ(screen.desktop(), GetParam().desktop);
    ASSERT_EQ(screen.mode(), GetParam().desktop);

    rig::WorkDir dir;
    rig::Process probe(RIG_PROBE, {}, dir, server);
    const bool drawn = rig::waitUntil([&] { return probe.out().find("drawn") != std::string::npos || !probe.running(); }, 20s);
    ASSERT_TRUE(drawn && probe.running()) << probe.wait(1s);
    EXPECT_EQ(screen.mode(), gameMode);

    // The frame shows in the top-left 640x480, the part the switched screen shows.
    rig::Image shot;
    const bool filled = rig::waitUntil(
        [&] {
            shot = screen.grab();
            return rig::shareNear(shot, 0, 0, 640, 480, probeColour, 2) == 1.0;
        },
        5s);
    rig::writePng(rig::shotPath(std::string("rig-probe-") + GetParam().server), shot);
    EXPECT_TRUE(filled) << "top-left pixel " << shot.at(0, 0) << ", bottom-right of the region "
                        << shot.at(639, 479);

    ASSERT_TRUE(screen.pressKey());
    const rig::Outcome outcome = probe.wait(10s);
    EXPECT_TRUE(outcome.exited && outcome.status == 0) << outcome;
    EXPECT_NE(outcome.out.find("key"), std::string::npos) << outcome;
    EXPECT_EQ(screen.mode(), GetParam().desktop);
}

INSTANTIATE_TEST_SUITE_P(Servers, RigProbe, testing::ValuesIn(probeCases),
                         [](const testing::TestParamInfo<ProbeCase> &info) { return std::string(info.param.server); });


struct ServerCase {
    const char *server;
};

std::string serverName(const testing::TestParamInfo<ServerCase> &info) { return info.param.server; }

class RigNoGameMode : public testing::TestWithParam<ServerCase> {};

TEST_P(RigNoGameMode, OffersOnlyTheDesktopModeSoGameModeIsNotPossible)
{
    RIG_REQUIRE_SERVER(server, GetParam().server);
    rig::Screen screen(server.display);
    ASSERT_TRUE(screen.connected()) << "cannot open " << server.display;
    ASSERT_EQ(screen.desktop(), (rig::VideoMode{1024, 768}));
    const std::vector<rig::VideoMode> modes = screen.modes();
    ASSERT_EQ(modes.size(), 1u);
    EXPECT_EQ(modes[0], (rig::VideoMode{1024, 768}));

    rig::WorkDir dir;
    rig::Process probe(RIG_PROBE, {}, dir, server);
    const rig::Outcome outcome = probe.wait(20s);
    EXPECT_TRUE(outcome.exited && outcome.status == 3) << outcome;
    EXPECT_EQ(outcome.out, "game mode not possible\n");
    EXPECT_EQ(screen.mode(), (rig::VideoMode{1024, 768}));
}

INSTANTIATE_TEST_SUITE_P(Servers, RigNoGameMode, testing::Values(ServerCase{"c"}), serverName);

struct ModeCase {
    const char *server;
    rig::VideoMode desktop;
    bool has640x480;
};

const ModeCase modeCases[] = {
    {"a", {640, 480}, true},
    {"b", {1024, 768}, true},
    {"c", {1024, 768}, false},
};

class RigModes : public testing::TestWithParam<ModeCase> {};

TEST_P(RigModes, DesktopAndModeListFitTheSituation)
{
    RIG_REQUIRE_SERVER(server, GetParam().server);
    rig::Screen screen(server.display);
    ASSERT_TRUE(screen.connected()) << "cannot open " << server.display;
    EXPECT_EQ(screen.desktop(), GetParam().desktop);
    bool has640x480 = false;
    bool hasDesktop = false;
    for (const rig::VideoMode mode : screen.modes()) {
        has640x480 = has640x480 || mode == gameMode;
        hasDesktop = hasDesktop || mode == GetParam().desktop;
    }
    EXPECT_EQ(has640x480, GetParam().has640x480);
    EXPECT_TRUE(hasDesktop);
}

INSTANTIATE_TEST_SUITE_P(Servers, RigModes, testing::ValuesIn(modeCases),
                         [](const testing::TestParamInfo<ModeCase> &info) { return std::string(info.param.server); });

} // namespace
