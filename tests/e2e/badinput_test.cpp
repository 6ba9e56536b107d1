// The real demo given bad input: each picture and height map damaged in every way a file
// can be, odd and broken modules, and a missing display, a display that dies and no audio.
#include "itwriter.h"
#include "rig.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

const rig::VideoMode gameMode{640, 480};
const rig::VideoMode largeDesktop{1024, 768};
const char cannotLoad[] = "orrery: cannot load marigold.it: ";

std::vector<uint8_t> dataBytes(const std::string &name)
{
    const std::string text = rig::readFile(rig::dataPath(name));
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> firstBytes(const std::vector<uint8_t> &bytes, size_t count)
{
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(std::min(count, bytes.size())));
}

// The share of the top-left 640x480 (what the switched screen shows) that is lit.
double litShare(const rig::Image &shot)
{
    const rig::LitCount lit = rig::countLit(shot, 0, 0, gameMode.width, gameMode.height);
    return double(lit.inside) / (double(gameMode.width) * gameMode.height);
}

// The demo's own messages start with its name; anything else on standard error comes
// from the X and GL libraries.
bool saysNothingOfItsOwn(const std::string &err) { return err.find("orrery:") == std::string::npos; }

// A message of the demo's: one line, the given start, then a reason.
testing::AssertionResult oneLineStartingWith(const std::string &err, const std::string &start)
{
    const size_t at = err.find(start);
    if (at == std::string::npos)
        return testing::AssertionFailure() << "no \"" << start << "\" in: " << err;
    const size_t end = err.find('\n', at);
    if (end == std::string::npos || end <= at + start.size())
        return testing::AssertionFailure() << "no reason after \"" << start << "\" in: " << err;
    if (err.find(start, end) != std::string::npos)
        return testing::AssertionFailure() << "said more than once: " << err;
    return testing::AssertionSuccess();
}

// The four files read at fixed offsets: a header of fixed length, then the data.
struct PictureFile {
    const char *name;
    const char *label; // for test names
    size_t headerBytes;
    size_t dataBytes;
};

const PictureFile pictureFiles[] = {
    {"cmap.tga", "cmap", 44, 98304},
    {"color2.tga", "color2", 18, 98304},
    {"tesilmap.tga", "tesilmap", 54, 2048},
    {"tesilmapc.tga", "tesilmapc", 786, 2048},
};

enum class Damage { missing, empty, oneByte, headerOnly, cutInData, extraMiB, directory, namedPipe, danglingLink };

// What the end picture shows with color2.tga damaged so: nothing of it (the texture is
// zeros), part of it, or all of it.
enum class EndPicture { black, part, whole };

struct DamageCase {
    const char *name;
    Damage damage;
    EndPicture endPicture; // when the damaged file is color2.tga
};

const DamageCase damageCases[] = {
    {"missing", Damage::missing, EndPicture::black},
    {"empty", Damage::empty, EndPicture::black},
    {"oneByte", Damage::oneByte, EndPicture::black},
    {"headerOnly", Damage::headerOnly, EndPicture::black},
    {"cutInData", Damage::cutInData, EndPicture::part},
    {"extraMiB", Damage::extraMiB, EndPicture::whole},
    {"directory", Damage::directory, EndPicture::black},
    {"namedPipe", Damage::namedPipe, EndPicture::black},
    {"danglingLink", Damage::danglingLink, EndPicture::black},
};

// Puts the damaged file in place of the good one; false with the reason when it cannot.
testing::AssertionResult damageFile(rig::WorkDir &dir, const PictureFile &file, Damage damage)
{
    const std::string path = dir.path() + "/" + file.name;
    const std::vector<uint8_t> good = dataBytes(file.name);
    if (good.size() < file.headerBytes + file.dataBytes)
        return testing::AssertionFailure() << rig::dataPath(file.name) << " is shorter than its layout";
    std::error_code error;
    fs::remove(path, error);
    std::vector<uint8_t> bytes;
    switch (damage) {
    case Damage::missing:
        return testing::AssertionSuccess();
    case Damage::directory:
        if (!fs::create_directory(path, error))
            return testing::AssertionFailure() << "cannot make directory " << path << ": " << error.message();
        return testing::AssertionSuccess();
    case Damage::namedPipe:
        if (mkfifo(path.c_str(), 0644) != 0)
            return testing::AssertionFailure() << "cannot make pipe " << path << ": " << std::strerror(errno);
        return testing::AssertionSuccess();
    case Damage::danglingLink:
        fs::create_symlink("nowhere/" + std::string(file.name), path, error);
        if (error)
            return testing::AssertionFailure() << "cannot link " << path << ": " << error.message();
        return testing::AssertionSuccess();
    case Damage::empty:
        break;
    case Damage::oneByte:
        bytes = firstBytes(good, 1);
        break;
    case Damage::headerOnly:
        bytes = firstBytes(good, file.headerBytes);
        break;
    case Damage::cutInData:
        bytes = firstBytes(good, file.headerBytes + file.dataBytes / 2);
        break;
    case Damage::extraMiB:
        bytes = good;
        bytes.insert(bytes.end(), 1 << 20, 0xa5);
        break;
    }
    if (!dir.write(file.name, bytes))
        return testing::AssertionFailure() << "cannot write " << path;
    return testing::AssertionSuccess();
}

bool looksLike(double share, EndPicture expected)
{
    switch (expected) {
    case EndPicture::black:
        return share < 0.01;
    case EndPicture::part:
        return share > 0.2 && share < 0.8;
    case EndPicture::whole:
        return share >= 0.9;
    }
    return false;
}

const char *describe(EndPicture look)
{
    return look == EndPicture::black ? "black" : look == EndPicture::part ? "part of the picture" : "the whole picture";
}

class DamagedPicture : public testing::TestWithParam<std::tuple<PictureFile, DamageCase>> {};

// Every scene runs with the damaged file (the module passes all cues in a fraction of a
// second and then loops inside the end picture), the end picture shows what color2.tga
// held, and a key ends the demo with status 0 and the desktop mode back.
TEST_P(DamagedPicture, DemoRunsThroughEveryScene)
{
    RIG_REQUIRE_SERVER(server, "b");
    const PictureFile &file = std::get<0>(GetParam());
    const DamageCase &damage = std::get<1>(GetParam());
    rig::Screen screen(server.display);
    ASSERT_TRUE(rig::inDesktopMode(screen, server.display));
    ASSERT_EQ(screen.mode(), largeDesktop);
    rig::WorkDir dir;
    for (const PictureFile &picture : pictureFiles)
        ASSERT_TRUE(dir.copyData(picture.name)) << "cannot copy " << rig::dataPath(picture.name);
    ASSERT_TRUE(damageFile(dir, file, damage.damage));
    ASSERT_TRUE(dir.write("marigold.it", jumpModule(18, 16, 14)));
    const EndPicture expected = std::string(file.name) == "color2.tga" ? damage.endPicture : EndPicture::whole;

    rig::Process demo = rig::startOrrery(dir, server);
    // Some frames first, so that the cues are behind and the black of a window not yet
    // drawn is not taken for a black end picture.
    ASSERT_TRUE(rig::waitUntil([&] { return demo.framesDrawn() >= 40 || !demo.running(); }, 30s) &&
                demo.running())
        << "no 40 frames: " << demo.wait(5s);
    EXPECT_EQ(screen.mode(), gameMode);
    double share = -1;
    const bool shown = rig::waitUntil(
        [&] {
            share = litShare(screen.grab());
            return looksLike(share, expected) || !demo.running();
        },
        10s);
    EXPECT_TRUE(shown && demo.running())
        << "the end picture should be " << describe(expected) << ", lit share " << share;

    ASSERT_TRUE(screen.pressKey());
    const rig::Outcome outcome = demo.wait(10s);
    EXPECT_TRUE(outcome.exited && outcome.status == 0) << outcome;
    EXPECT_EQ(outcome.out, "");
    EXPECT_TRUE(saysNothingOfItsOwn(outcome.err)) << outcome.err;
    EXPECT_EQ(screen.mode(), largeDesktop);
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedPicture,
                         testing::Combine(testing::ValuesIn(pictureFiles), testing::ValuesIn(damageCases)),
                         [](const testing::TestParamInfo<DamagedPicture::ParamType> &info) {
                             return std::string(std::get<0>(info.param).label) + "_" +
                                    std::get<1>(info.param).name + "_b";
                         });

// The sphere when its files are missing, with the music held in the orange scene: a
// picture of zeros makes it black, and with neither height map it has no radius at all,
// so the field shows through where it would be. Its own map missing, the orange scene
// keeps the one read at start-up, and the sphere stays.
enum class SphereLook { textured, black, gone };

struct SphereCase {
    const char *name;
    std::vector<const char *> missing;
    SphereLook expected;
};

const SphereCase sphereCases[] = {
    {"allFiles", {}, SphereLook::textured},
    {"noPicture", {"cmap.tga"}, SphereLook::black},
    {"noHeightMaps", {"tesilmap.tga", "tesilmapc.tga"}, SphereLook::gone},
    {"noSceneHeightMap", {"tesilmapc.tga"}, SphereLook::textured},
};

// Dark and lit shares of a square at the centre of the 640x480 frame, where the sphere is.
struct CentreLook {
    double dark = 0;
    double lit = 0;
};

CentreLook centreLook(const rig::Image &shot)
{
    const int side = 100;
    const int x = gameMode.width / 2 - side / 2, y = gameMode.height / 2 - side / 2;
    CentreLook look;
    look.dark = rig::shareNear(shot, x, y, side, side, rig::Rgb{0, 0, 0}, 24);
    const rig::LitCount lit = rig::countLit(shot, x, y, side, side, 24);
    look.lit = double(lit.inside) / double(side * side);
    return look;
}

class ShortSphereFiles : public testing::TestWithParam<SphereCase> {};

TEST_P(ShortSphereFiles, ShowInTheSphere)
{
    RIG_REQUIRE_SERVER(server, "b");
    const SphereCase &c = GetParam();
    rig::Screen screen(server.display);
    ASSERT_TRUE(rig::inDesktopMode(screen, server.display));
    rig::WorkDir dir;
    for (const PictureFile &picture : pictureFiles) {
        const bool missing = std::find_if(c.missing.begin(), c.missing.end(), [&](const char *name) {
                                 return std::string(name) == picture.name;
                             }) != c.missing.end();
        if (!missing) {
            ASSERT_TRUE(dir.copyData(picture.name)) << "cannot copy " << rig::dataPath(picture.name);
        }
    }
    ASSERT_TRUE(dir.write("marigold.it", jumpModule(18, 3, 0)));

    rig::Process demo = rig::startOrrery(dir, server);
    ASSERT_TRUE(rig::waitUntil([&] { return demo.framesDrawn() >= 20 || !demo.running(); }, 30s) &&
                demo.running())
        << "no 20 frames: " << demo.wait(5s);
    const rig::Image shot = screen.grab();
    rig::writePng(rig::shotPath(std::string("badinput-sphere-") + c.name), shot);
    const CentreLook look = centreLook(shot);
    // An opaque sphere leaves no dark pixel at the centre; the field behind it leaves
    // its gaps, and the dark spot at its own centre.
    switch (c.expected) {
    case SphereLook::textured:
        EXPECT_LT(look.dark, 0.02) << "a textured sphere should cover the centre";
        EXPECT_GT(look.lit, 0.98) << "a textured sphere should cover the centre";
        break;
    case SphereLook::black:
        EXPECT_GT(look.dark, 0.95) << "a black sphere should cover the centre";
        break;
    case SphereLook::gone:
        EXPECT_GT(look.dark, 0.03) << "no sphere should hide the field's gaps at the centre";
        EXPECT_LT(look.dark, 0.9) << "the field should show at the centre";
        break;
    }

    ASSERT_TRUE(screen.pressKey());
    const rig::Outcome outcome = demo.wait(10s);
    EXPECT_TRUE(outcome.exited && outcome.status == 0) << outcome;
    EXPECT_EQ(screen.mode(), largeDesktop);
}

INSTANTIATE_TEST_SUITE_P(Files, ShortSphereFiles, testing::ValuesIn(sphereCases),
                         [](const testing::TestParamInfo<SphereCase> &info) {
                             return std::string(info.param.name) + "_b";
                         });

// Modules the demo is given as marigold.it, besides the missing, empty, non-module and
// header-cut ones of the demo's own tests.
enum class ModuleFate {
    refused,   // a message on standard error and status 1, no frame
    runsTo17,  // plays to order 17, where the demo exits 0 by itself
    loops,     // never reaches order 17: the scene stays, the music goes on, a key ends it
};

struct ModuleCase {
    const char *name;
    enum { bytes, directory, namedPipe } kind;
    std::vector<uint8_t> module;
    ModuleFate fate;
};

std::vector<uint8_t> randomBytes(size_t count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t &byte : bytes)
        byte = uint8_t(random());
    return bytes;
}

// A fast module that reaches order 17, its tone's sample data cut short (the last 2000
// of the sample's 4410 bytes are missing): the decoder plays what there is.
std::vector<uint8_t> cutInSampleData()
{
    const std::vector<uint8_t> whole = timelineModule(18, 1, 1, 255);
    return firstBytes(whole, whole.size() - 2000);
}

// A well-formed module whose order list is empty.
std::vector<uint8_t> moduleWithoutOrders()
{
    ItModule module;
    module.title = "no orders";
    module.patterns.push_back(itPattern(1, 1));
    return writeIt(module);
}

// Three hundred orders of one short pattern, with a tone on its row.
std::vector<uint8_t> moduleOf300Orders()
{
    ItModule module;
    module.title = "300 orders";
    module.initialSpeed = 1;
    module.initialTempo = 255;
    ItPattern pattern = itPattern(1, 1);
    itCell(pattern, 0, 0).note = itMiddleC;
    itCell(pattern, 0, 0).instrument = 1;
    module.patterns.push_back(pattern);
    ItSample tone;
    tone.name = "tone";
    tone.pcm.assign(2205, 0);
    for (size_t i = 0; i < tone.pcm.size(); ++i)
        tone.pcm[i] = int16_t((i % 50 < 25 ? 8000 : -8000));
    tone.c5Speed = 22050;
    module.samples.push_back(tone);
    module.orders.assign(300, 0);
    return writeIt(module);
}

const ModuleCase moduleCases[] = {
    {"randomBytes", ModuleCase::bytes, randomBytes(64 * 1024, 7), ModuleFate::refused},
    {"cutInSampleData", ModuleCase::bytes, cutInSampleData(), ModuleFate::runsTo17},
    {"noOrders", ModuleCase::bytes, moduleWithoutOrders(), ModuleFate::refused},
    {"threeHundredOrders", ModuleCase::bytes, moduleOf300Orders(), ModuleFate::runsTo17},
    {"jumpsBackBeforeOrder17", ModuleCase::bytes, jumpModule(18, 12, 2), ModuleFate::loops},
    {"directory", ModuleCase::directory, {}, ModuleFate::refused},
    {"namedPipe", ModuleCase::namedPipe, {}, ModuleFate::refused},
};

// The mean colour of the lit pixels of the top-left 640x480, by its brightest channel.
char brightestLitChannel(const rig::Image &shot)
{
    long r = 0, g = 0, b = 0;
    for (int y = 0; y < gameMode.height && y < shot.height; ++y)
        for (int x = 0; x < gameMode.width && x < shot.width; ++x) {
            const rig::Rgb pixel = shot.at(x, y);
            if (pixel.r > 24 || pixel.g > 24 || pixel.b > 24) {
                r += pixel.r;
                g += pixel.g;
                b += pixel.b;
            }
        }
    if (r >= g && r >= b)
        return 'r';
    return g >= b ? 'g' : 'b';
}

class OddModule : public testing::TestWithParam<ModuleCase> {};

TEST_P(OddModule, IsRefusedWithAMessageOrPlays)
{
    RIG_REQUIRE_SERVER(server, "b");
    const ModuleCase &c = GetParam();
    rig::Screen screen(server.display);
    ASSERT_TRUE(rig::inDesktopMode(screen, server.display));
    ASSERT_EQ(screen.mode(), largeDesktop);
    rig::WorkDir dir;
    for (const PictureFile &picture : pictureFiles)
        ASSERT_TRUE(dir.copyData(picture.name)) << "cannot copy " << rig::dataPath(picture.name);
    const std::string modulePath = dir.path() + "/marigold.it";
    switch (c.kind) {
    case ModuleCase::bytes:
        ASSERT_TRUE(dir.write("marigold.it", c.module));
        break;
    case ModuleCase::directory:
        ASSERT_TRUE(fs::create_directory(modulePath));
        break;
    case ModuleCase::namedPipe:
        ASSERT_EQ(mkfifo(modulePath.c_str(), 0644), 0) << std::strerror(errno);
        break;
    }

    rig::Process demo = rig::startOrrery(dir, server);
    if (c.fate == ModuleFate::loops) {
        // The order list goes back to order 2 after order 12: the green scene of order 10
        // stays, and the demo goes on drawing it loop after loop.
        ASSERT_TRUE(rig::waitUntil([&] { return demo.framesDrawn() >= 40 || !demo.running(); }, 30s) &&
                    demo.running())
            << "no 40 frames: " << demo.wait(5s);
        std::this_thread::sleep_for(3s);
        const long frames = demo.framesDrawn();
        std::this_thread::sleep_for(1s);
        ASSERT_TRUE(demo.running()) << demo.wait(1s);
        EXPECT_GT(demo.framesDrawn(), frames) << "no frame drawn in a second";
        EXPECT_EQ(brightestLitChannel(screen.grab()), 'g') << "the green scene does not stay";
        EXPECT_EQ(screen.mode(), gameMode);
        ASSERT_TRUE(screen.pressKey());
    }
    const rig::Outcome outcome = demo.wait(c.fate == ModuleFate::loops ? 10s : 30s);
    EXPECT_FALSE(outcome.timedOut) << outcome;
    EXPECT_EQ(outcome.out, "");
    if (c.fate == ModuleFate::refused) {
        EXPECT_TRUE(outcome.exited && outcome.status == 1) << outcome;
        EXPECT_TRUE(oneLineStartingWith(outcome.err, cannotLoad));
        EXPECT_EQ(demo.framesDrawn(), 0);
    } else {
        EXPECT_TRUE(outcome.exited && outcome.status == 0) << outcome;
        EXPECT_TRUE(saysNothingOfItsOwn(outcome.err)) << outcome.err;
        EXPECT_GT(demo.framesDrawn(), 0);
    }
    EXPECT_EQ(screen.mode(), largeDesktop);
}

INSTANTIATE_TEST_SUITE_P(Modules, OddModule, testing::ValuesIn(moduleCases),
                         [](const testing::TestParamInfo<ModuleCase> &info) {
                             return std::string(info.param.name) + "_b";
                         });

// Where the demo cannot run at all: a message of some kind on standard error, a status
// other than 0, no frame and no hang.
struct EnvironmentCase {
    const char *name;
    std::vector<std::string> environment;
    const char *messageHas;
};

const EnvironmentCase environmentCases[] = {
    // An empty DISPLAY names no server, as an unset one does in a session without X.
    {"noDisplay", {"DISPLAY="}, "display"},
    // The audio driver is there, but its device cannot be opened.
    {"audioDeviceCannotOpen", {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/nonexistent/orrery-audio.raw"},
     "orrery: cannot start the music player: "},
};

class Unrunnable : public testing::TestWithParam<EnvironmentCase> {};

TEST_P(Unrunnable, SaysWhyAndExitsNonZero)
{
    RIG_REQUIRE_SERVER(server, "b");
    const EnvironmentCase &c = GetParam();
    rig::Screen screen(server.display);
    ASSERT_TRUE(rig::inDesktopMode(screen, server.display));
    rig::WorkDir dir;
    for (const PictureFile &picture : pictureFiles)
        ASSERT_TRUE(dir.copyData(picture.name)) << "cannot copy " << rig::dataPath(picture.name);
    ASSERT_TRUE(dir.write("marigold.it", timelineModule(18, 1, 1, 255)));

    rig::Process demo = rig::startOrrery(dir, server, c.environment);
    const rig::Outcome outcome = demo.wait(30s);
    std::printf("%s: %s\n", c.name, outcome.err.c_str());
    EXPECT_TRUE(outcome.exited && outcome.status != 0) << outcome;
    EXPECT_NE(outcome.err.find(c.messageHas), std::string::npos) << outcome;
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(demo.framesDrawn(), 0);
    EXPECT_EQ(screen.mode(), largeDesktop);
}

INSTANTIATE_TEST_SUITE_P(Environments, Unrunnable, testing::ValuesIn(environmentCases),
                         [](const testing::TestParamInfo<EnvironmentCase> &info) {
                             return std::string(info.param.name) + "_b";
                         });

// A private server of the rig's kind, started and stopped by the rig's own scripts, so
// that a test may end it under the demo.
class PrivateServer {
public:
    PrivateServer() : statePath_(dir_.base() + "/server.state")
    {
        const std::string command = std::string(RIG_SCRIPTS) + "/start-server.sh " + RIG_SCRIPTS +
                                    "/xorg-b-1024.conf " + statePath_ + " " + dir_.base() + "/server.log >" +
                                    dir_.base() + "/start.out 2>&1";
        const bool started = std::system(command.c_str()) == 0;
        std::istringstream lines(rig::readFile(statePath_));
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("display=", 0) == 0)
                server_.display = line.substr(8);
            if (line.rfind("pid=", 0) == 0)
                server_.pid = std::atoi(line.c_str() + 4);
        }
        server_.name = "private";
        server_.why = rig::readFile(dir_.base() + "/start.out");
        if (!started || server_.pid <= 0)
            server_.display.clear();
    }
    // A server still running is stopped; one that was killed leaves its lock file and
    // socket behind, which go when the lock still names it.
    ~PrivateServer()
    {
        const std::string command = std::string(RIG_SCRIPTS) + "/stop-server.sh " + statePath_ + " >/dev/null";
        if (std::system(command.c_str()) != 0)
            std::fprintf(stderr, "stopping the private server failed\n");
        if (server_.display.size() < 2 || server_.pid <= 0)
            return;
        // A killed server stays a zombie until init reaps it.
        if (!rig::waitUntil([&] { return kill(server_.pid, 0) != 0; }, 10s))
            return;
        const std::string number = server_.display.substr(1);
        const std::string lock = "/tmp/.X" + number + "-lock";
        if (std::atoi(rig::readFile(lock).c_str()) == server_.pid) {
            std::error_code ignored;
            fs::remove("/tmp/.X11-unix/X" + number, ignored);
            fs::remove(lock, ignored);
        }
    }
    const rig::Server &server() const { return server_; }

private:
    rig::WorkDir dir_;
    std::string statePath_;
    rig::Server server_;
};

struct GoneCase {
    const char *name;
    int signal; // what ends the server
};

const GoneCase goneCases[] = {{"killed", SIGKILL}, {"terminated", SIGTERM}};

class ServerGone : public testing::TestWithParam<GoneCase> {};

// The desktop mode cannot be asked of a server that is gone; what is checked is that the
// demo notices, says so and ends with a failure status of its own, without a hang.
TEST_P(ServerGone, DemoSaysSoAndExitsNonZero)
{
    RIG_REQUIRE_SERVER(server, "b");
    PrivateServer own;
    if (own.server().display.empty()) {
        if (rig::underCi())
            FAIL() << "no private server: " << own.server().why;
        GTEST_SKIP() << "no private server: " << own.server().why;
    }
    rig::WorkDir dir;
    for (const PictureFile &picture : pictureFiles)
        ASSERT_TRUE(dir.copyData(picture.name)) << "cannot copy " << rig::dataPath(picture.name);
    ASSERT_TRUE(dir.write("marigold.it", jumpModule(18, 9, 4)));

    rig::Process demo = rig::startOrrery(dir, own.server());
    ASSERT_TRUE(rig::waitUntil([&] { return demo.framesDrawn() >= 20 || !demo.running(); }, 30s) &&
                demo.running())
        << "no 20 frames: " << demo.wait(5s);
    ASSERT_EQ(kill(own.server().pid, GetParam().signal), 0) << std::strerror(errno);
    const rig::Outcome outcome = demo.wait(20s);
    std::printf("server %s: %s\n", GetParam().name, outcome.err.c_str());
    EXPECT_TRUE(outcome.exited && outcome.status != 0) << outcome;
    EXPECT_NE(outcome.err.find("X connection"), std::string::npos) << outcome;
    EXPECT_EQ(outcome.out, "");
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerGone, testing::ValuesIn(goneCases),
                         [](const testing::TestParamInfo<GoneCase> &info) {
                             return std::string(info.param.name) + "_b";
                         });

} // namespace
