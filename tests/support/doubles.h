// Test doubles linked in place of GL, GLU, GLUT and the module player: every call is
// appended to one log with its arguments; the clock, game-mode answers and the
// player's results are scripted by the test.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

struct GlCall {
    const char *name;     // the function's name, e.g. "glVertex3f"
    double args[10];      // numeric arguments in order (floats and enums exact in double)
    int argCount;
    const void *pointer;  // a pointer argument (callback, pixels, file name), else null
};

struct Doubles {
    std::vector<GlCall> calls;
    bool record = true;   // false: calls are counted only (a null sink)
    bool recordGeometry = true; // false: glVertex3f and glTexCoord2f only counted
    long callCount = 0;

    // glutGet(GLUT_ELAPSED_TIME): readings taken in turn; when empty, `clockNow`.
    std::deque<int> clockReadings;
    int clockNow = 0;
    // glutGameModeGet answers by query; GLUT_GAME_MODE_ACTIVE also follows
    // glutEnterGameMode unless `enterGameModeFails`.
    std::map<int, int> gameModeAnswers;
    bool enterGameModeFails = false;
    bool gameModeActive = false;
    unsigned nextTexture = 1;
    // Pixels of every glTexImage2D, copied (width * height * 3 bytes).
    std::vector<std::vector<unsigned char>> uploads;

    // The scripted player: results of Init and MusicLoad, positions per query
    // (the last one repeats), and the text it gives for a failure.
    int initResult = 1;
    int loadResult = 1;
    std::deque<uint32_t> positions;
    uint32_t lastPosition = 0;
    std::string errorText = "scripted failure";
    std::string loadedFile;  // file name handed to BASSMOD_MusicLoad
};

// The one set of doubles; reset before each test.
Doubles &doubles();
void resetDoubles();

// Calls named `name`, in order, and how many there are.
std::vector<GlCall> callsNamed(const char *name);
long countCalls(const char *name);
// The names of all recorded calls, in order.
std::vector<std::string> callNames();
// For death tests: at exit, write "calls:" and the recorded names, one space before
// each, and a newline to standard error, so the parent can match what the child did.
void reportCallsAtExit();
