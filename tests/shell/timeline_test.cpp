// The scene timeline: which row is current after each frame, when its clock is stamped,
// and what elapsed time its scene is given, for scripted music positions.
#include <gtest/gtest.h>

#include <GL/freeglut.h>

#include <string>
#include <vector>

#include "doubles.h"
#include "effects.h"
#include "shell.h"

namespace {

void resetTimeline()
{
    resetDoubles();
    // The scenes draw hundreds of thousands of vertices a frame; only count those.
    doubles().recordGeometry = false;
    currentScene = 0;
    sceneStartMs = 0;
    loadedSceneAssets = 0;
    endPictureLoaded = 99;
}

// One frame: the row after it, the stamp, and the clock reads it made.
struct Frame {
    int row;
    int startMs;
    long clockReads;
};

Frame runFrame()
{
    const long before = countCalls("glutGet");
    displayFrame();
    return {currentScene, sceneStartMs, countCalls("glutGet") - before};
}

struct TimelineCase {
    const char *name;
    std::vector<uint32_t> positions; // one per frame
    std::vector<int> rows;           // current row after each frame
};

const TimelineCase timelineCases[] = {
    {"CueReachedExactly", {0, 3, 4}, {0, 0, 1}},
    {"CueMissedByOne", {3, 3, 3}, {0, 0, 0}},
    {"JumpPastSeveralCuesAdvancesOneRowPerFrame", {3, 15, 15, 15, 15}, {0, 1, 2, 3, 3}},
    {"OrderFallingBackKeepsTheScene", {4, 10, 2, 0, 9}, {1, 2, 2, 2, 2}},
    {"HighSixteenBitsIgnored", {0x00030000, 0xFFFF0003, 0x00010004, 0x7FFF0009, 0x8000000A},
     {0, 0, 1, 1, 2}},
    {"RowZeroCueIsNeverCompared", {0, 0, 0}, {0, 0, 0}},
};

class TimelineTest : public ::testing::TestWithParam<TimelineCase> {};

TEST_P(TimelineTest, AdvancesAtMostOneRowPerFrame)
{
    const TimelineCase &c = GetParam();
    resetTimeline();
    doubles().positions.assign(c.positions.begin(), c.positions.end());
    int previousRow = 0;
    for (size_t f = 0; f < c.rows.size(); f++) {
        doubles().clockNow = 1000 + 100 * int(f);
        const Frame frame = runFrame();
        EXPECT_EQ(frame.row, c.rows[f]) << "frame " << f;
        // An advance reads the clock twice (stamp, then elapsed), a plain frame once.
        EXPECT_EQ(frame.clockReads, frame.row != previousRow ? 2 : 1) << "frame " << f;
        previousRow = frame.row;
    }
    EXPECT_EQ(countCalls("BASSMOD_MusicGetPosition"), long(c.rows.size()));
}

INSTANTIATE_TEST_SUITE_P(Positions, TimelineTest, ::testing::ValuesIn(timelineCases),
                         [](const auto &info) { return std::string(info.param.name); });

// The scene is given the second clock read minus the stamp: near 0 in the frame that
// advances, then growing for as long as the row stays current.
TEST(TimelineElapsedTest, StampAndElapsedFromTwoClockReads)
{
    resetTimeline();
    sceneStartMs = 500;
    doubles().positions = {4, 4, 4};
    doubles().clockReadings = {2000, 2003, 2500, 9000};
    displayFrame();
    EXPECT_EQ(currentScene, 1);
    EXPECT_EQ(sceneStartMs, 2000);
    const auto reads = callsNamed("glutGet");
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].args[0], GLUT_ELAPSED_TIME);
    EXPECT_EQ(reads[1].args[1] - sceneStartMs, 3);  // elapsed of the first frame
    displayFrame();
    displayFrame();
    EXPECT_EQ(sceneStartMs, 2000);  // never reset but by an advance
    EXPECT_EQ(doubles().clockNow - sceneStartMs, 7000);
}

TEST(TimelineTableTest, RowsAndCues)
{
    const SceneFn runs[] = {sceneOrange, sceneBlue, sceneGreen, sceneEndPicture};
    const int cues[] = {0, 4, 10, 14, 17};
    ASSERT_EQ(std::size(sceneTable), 5u);
    for (size_t r = 0; r < std::size(sceneTable); r++) {
        EXPECT_EQ(sceneTable[r].startOrder, cues[r]);
        if (r < std::size(runs)) {
            EXPECT_EQ(sceneTable[r].run, runs[r]);
        }
    }
}

struct QuitCase {
    const char *name;
    uint32_t position;
    int fromRow;
    const char *rowsSeen; // rows current after each frame that returned
};

const QuitCase quitCases[] = {
    {"OrderSeventeenFromTheEndPicture", 17, 3, "rows:"},
    {"HighBitsWithOrderSeventeen", 0xABCD0011, 3, "rows:"},
    {"PositionFFFFWalksEveryRow", 0xFFFF, 0, "rows: 1 2 3"},
    {"OrderSeventeenFromTheFirstScene", 17, 0, "rows: 1 2 3"},
};

class QuitTest : public ::testing::TestWithParam<QuitCase> {};

// The quit row stops and frees the music and exits 0 in the very frame that reaches it.
TEST_P(QuitTest, QuitRowEndsTheProcessInItsFirstFrame)
{
    const QuitCase &c = GetParam();
    const std::string expected = std::string("^") + c.rowsSeen +
                                 "calls: BASSMOD_MusicGetPosition glutGet glutGet "
                                 "BASSMOD_MusicStop BASSMOD_MusicFree BASSMOD_Free\n$";
    EXPECT_EXIT(
        {
            resetTimeline();
            currentScene = c.fromRow;
            doubles().positions = {c.position};
            reportCallsAtExit();
            fputs("rows:", stderr);
            for (int f = 0; f < 10; f++) {
                doubles().calls.clear();
                displayFrame();
                fprintf(stderr, " %d", currentScene);
            }
        },
        ::testing::ExitedWithCode(0), expected);
}

INSTANTIATE_TEST_SUITE_P(Cues, QuitTest, ::testing::ValuesIn(quitCases),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
