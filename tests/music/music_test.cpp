// Starting the music, its two failure paths, and the shutdown sequence.
#include <gtest/gtest.h>

#include "doubles.h"
#include "music.h"
#include "shell.h"

namespace {

TEST(StartMusicTest, InitLoadPlayThenStamp)
{
    resetDoubles();
    doubles().clockReadings = {4321};
    sceneStartMs = 0;
    startMusic();
    EXPECT_EQ(callNames(), (std::vector<std::string>{"BASSMOD_Init", "BASSMOD_MusicLoad",
                                                     "BASSMOD_MusicPlay", "glutGet"}));
    EXPECT_EQ(sceneStartMs, 4321);
}

struct FailureCase {
    const char *name;
    int initResult;
    int loadResult;
    const char *message; // the one line on standard error
    const char *calls;   // what the player saw
};

// A player that cannot play is a failure, said on standard error with status 1; the
// load path also releases the player it started.
const FailureCase failureCases[] = {
    {"PlayerCannotStart", 0, 1, "orrery: cannot start the music player: no device here",
     "BASSMOD_Init"},
    {"ModuleCannotLoad", 1, 0, "orrery: cannot load marigold.it: no device here",
     "BASSMOD_Init BASSMOD_MusicLoad BASSMOD_Free"},
};

class StartMusicFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(StartMusicFailureTest, SaysWhatFailedAndExitsOne)
{
    const FailureCase &c = GetParam();
    EXPECT_EXIT(
        {
            resetDoubles();
            doubles().initResult = c.initResult;
            doubles().loadResult = c.loadResult;
            doubles().errorText = "no device here";
            reportCallsAtExit();
            startMusic();
        },
        ::testing::ExitedWithCode(1),
        std::string("^") + c.message + "\ncalls: " + c.calls + "\n$");
}

INSTANTIATE_TEST_SUITE_P(Player, StartMusicFailureTest, ::testing::ValuesIn(failureCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(QuitDemoTest, StopFreeReleaseThenExitZeroWhateverTheArgument)
{
    for (int elapsed : {0, -1, 123456, 2147483647}) {
        EXPECT_EXIT(
            {
                resetDoubles();
                reportCallsAtExit();
                quitDemo(elapsed);
            },
            ::testing::ExitedWithCode(0),
            "^calls: BASSMOD_MusicStop BASSMOD_MusicFree BASSMOD_Free\n$")
            << elapsed;
    }
}

} // namespace
