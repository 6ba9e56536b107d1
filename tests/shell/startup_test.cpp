// Start-up order and values, the no-full-screen path, reshape, the key and the stop
// signals, over the recording GL/GLUT and the scripted player.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/freeglut.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "assets.h"
#include "doubles.h"
#include "shell.h"

namespace {

// Start-up with an empty argument vector; the doubles' main loop returns at once.
void runStartup()
{
    char name[] = "orrery";
    char *argv[] = {name, nullptr};
    int argc = 1;
    startDemo(&argc, argv);
}

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetDoubles();
        doubles().clockReadings = {1234};
        // The start-up loads read from the working directory: keep it empty.
        char pattern[] = "/tmp/orrery-startup-XXXXXX";
        dir = mkdtemp(pattern);
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    std::string dir;
};

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(StartupTest, CallsInOrderWithTheirValues)
{
    runStartup();
    const std::vector<std::string> expected = {
        "glutInit", "glutInitDisplayMode", "glutGameModeString", "glutGameModeGet",
        "glutGameModeGet", "glutEnterGameMode", "glutGameModeGet", "glutDisplayFunc",
        "glutReshapeFunc", "glutIdleFunc", "glutKeyboardFunc", "glutSetCursor", "glShadeModel",
        "glEnable",
        // the orange texture
        "glGenTextures", "glBindTexture", "glTexParameteri", "glTexParameteri",
        "glTexParameteri", "glTexParameteri", "glTexImage2D",
        "BASSMOD_Init", "BASSMOD_MusicLoad", "BASSMOD_MusicPlay", "glutGet", "glutMainLoop"};
    EXPECT_EQ(callNames(), expected);

    const auto &c = doubles().calls;
    EXPECT_EQ(c[1].args[0], 18);  // RGB, double, depth
    EXPECT_STREQ(static_cast<const char *>(c[2].pointer), "640x480:32");
    EXPECT_EQ(c[3].args[0], GLUT_GAME_MODE_WIDTH);
    EXPECT_EQ(c[4].args[0], GLUT_GAME_MODE_POSSIBLE);
    EXPECT_EQ(c[6].args[0], GLUT_GAME_MODE_ACTIVE);
    EXPECT_EQ(c[7].pointer, reinterpret_cast<const void *>(displayFrame));
    EXPECT_EQ(c[8].pointer, reinterpret_cast<const void *>(reshapeWindow));
    EXPECT_EQ(c[9].pointer, reinterpret_cast<const void *>(idleRedisplay));
    EXPECT_EQ(c[10].pointer, reinterpret_cast<const void *>(keyPressed));
    EXPECT_EQ(c[11].args[0], GLUT_CURSOR_NONE);
    EXPECT_EQ(c[12].args[0], GL_SMOOTH);
    EXPECT_EQ(c[13].args[0], GL_DEPTH_TEST);

    const GlCall init = callsNamed("BASSMOD_Init")[0];
    EXPECT_EQ(init.args[0], -1);
    EXPECT_EQ(init.args[1], 44100);
    EXPECT_EQ(init.args[2], 0);
    const GlCall load = callsNamed("BASSMOD_MusicLoad")[0];
    EXPECT_EQ(load.args[0], 0);
    EXPECT_EQ(doubles().loadedFile, "marigold.it");
    EXPECT_EQ(load.args[1], 0);
    EXPECT_EQ(load.args[2], 0);
    EXPECT_EQ(load.args[3], 261);
    // The first scene's time counts from the clock read right after the music starts.
    EXPECT_EQ(sceneStartMs, 1234);
}

TEST_F(StartupTest, StartupHeightMapComesFromTheStartupFile)
{
    std::string bytes(54 + 2048, '\0');
    for (int i = 0; i < 2048; i++)
        bytes[54 + i] = char(i * 7);
    std::ofstream("tesilmap.tga", std::ios::binary) << bytes;
    runStartup();
    for (int i = 0; i < 2048; i++)
        ASSERT_EQ(heightMap[i], (unsigned char)(i * 7)) << i;
}

// freeglut answers the string's own width even when no mode matches, so each of the
// three answers that can tell "no mode" must end start-up on its own.
struct NoModeCase {
    const char *name;
    int width;
    int possible;
    bool enterFails;
};

const NoModeCase noModeCases[] = {
    {"WidthMinusOne", -1, 1, false},
    {"NotPossible", 640, 0, false},
    {"NotEntered", 640, 1, true},
};

class NoModeTest : public StartupTest, public ::testing::WithParamInterface<NoModeCase> {};

TEST_P(NoModeTest, PrintsTheMessageOnceAndDrawsNothing)
{
    const NoModeCase &c = GetParam();
    const std::string out = dir + "/stdout";
    const std::string ahead = c.enterFails ? " glutEnterGameMode glutGameModeGet" : "";
    const std::string calls = std::string("^calls: glutInit glutInitDisplayMode glutGameModeString "
                                          "glutGameModeGet") +
                              (c.width == -1 ? "" : " glutGameModeGet") + ahead + "\n$";
    EXPECT_EXIT(
        {
            doubles().gameModeAnswers[GLUT_GAME_MODE_WIDTH] = c.width;
            doubles().gameModeAnswers[GLUT_GAME_MODE_POSSIBLE] = c.possible;
            doubles().enterGameModeFails = c.enterFails;
            if (!freopen(out.c_str(), "w", stdout))
                abort();
            reportCallsAtExit();
            runStartup();
        },
        ::testing::ExitedWithCode(1), calls);
    EXPECT_EQ(readFile(out), "To run this you must be able to run 640x480 16bit mode\n"
                             "(in other words your computer sucks)\n");
}

INSTANTIATE_TEST_SUITE_P(Answers, NoModeTest, ::testing::ValuesIn(noModeCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct ReshapeCase {
    int width, height, viewportY;
};

// The screen shows the window's top-left 640x480, so that is where the viewport goes.
const ReshapeCase reshapeCases[] = {
    {640, 480, 0}, {1024, 768, 288}, {1920, 1080, 600}, {800, 480, 0}, {1, 1, -479},
};

TEST(ReshapeTest, ViewportIsTheTopLeft640x480AndThePerspectiveIsSet)
{
    for (const ReshapeCase &c : reshapeCases) {
        resetDoubles();
        reshapeWindow(c.width, c.height);
        ASSERT_EQ(callNames(), (std::vector<std::string>{"glViewport", "glMatrixMode",
                                                         "glLoadIdentity", "gluPerspective",
                                                         "glMatrixMode"}));
        const auto &v = doubles().calls;
        EXPECT_EQ(v[0].args[0], 0);
        EXPECT_EQ(v[0].args[1], c.viewportY) << c.width << "x" << c.height;
        EXPECT_EQ(v[0].args[2], 640);
        EXPECT_EQ(v[0].args[3], 480);
        EXPECT_EQ(v[1].args[0], GL_PROJECTION);
        EXPECT_EQ(v[3].args[0], 60.0);
        EXPECT_EQ(v[3].args[1], 1.3333333333333333);
        EXPECT_EQ(v[3].args[2], 0.1);
        EXPECT_EQ(v[3].args[3], 300.0);
        EXPECT_EQ(v[4].args[0], GL_MODELVIEW);
    }
}

const char shutdownCalls[] = "calls: BASSMOD_MusicStop BASSMOD_MusicFree BASSMOD_Free\n$";

TEST(KeyTest, AnyKeyRunsTheShutdownSequenceAndExitsZero)
{
    for (unsigned char key : {'q', ' ', '\x1b', '\0', '\xff'}) {
        EXPECT_EXIT(
            {
                resetDoubles();
                reportCallsAtExit();
                keyPressed(key, 17, -3);
            },
            ::testing::ExitedWithCode(0), shutdownCalls)
            << int(key);
    }
}

TEST(IdleTest, OnlyRequestsARedisplay)
{
    resetDoubles();
    idleRedisplay();
    EXPECT_EQ(callNames(), std::vector<std::string>{"glutPostRedisplay"});
}

// A stop signal only marks the stop; the next idle call shuts down through exit, so
// the desktop mode comes back as after a key.
TEST_F(StartupTest, StopSignalsShutDownFromTheLoopWithStatusZero)
{
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        EXPECT_EXIT(
            {
                runStartup();
                resetDoubles();
                reportCallsAtExit();
                raise(signalNumber);
                idleRedisplay();
                abort();
            },
            ::testing::ExitedWithCode(0), shutdownCalls)
            << signalNumber;
    }
}

} // namespace
