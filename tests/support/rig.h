// End-to-end test support: the rig's Xorg servers, a program run in a fresh working
// directory under one of them, and the screen read back, keys sent and the video mode asked.
#pragma once
#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace rig {

// One of the rig's servers ("a": 640x480 only, "b": 1024x768 with 640x480, "c": 1024x768
// without 640x480) as its fixture recorded it. `display` is empty when none could start,
// and `why` then says why.
struct Server {
    std::string name;
    std::string display;
    std::string why;
    int pid = 0;
};

Server server(const std::string &name);
bool underCi();

// Opens a test body: gives the named server, or skips the test (fails it under CI=true)
// when that server is not running.
#define RIG_REQUIRE_SERVER(var, name)                                                    \
    const rig::Server var = rig::server(name);                                           \
    if (var.display.empty()) {                                                           \
        if (rig::underCi())                                                              \
            FAIL() << "rig server " << (name) << " is needed under CI: " << var.why;     \
        GTEST_SKIP() << "rig server " << (name) << " unavailable: " << var.why;          \
    }

struct Rgb {
    int r = 0, g = 0, b = 0;
};
inline bool operator==(Rgb x, Rgb y) { return x.r == y.r && x.g == y.g && x.b == y.b; }
std::ostream &operator<<(std::ostream &out, Rgb colour);

// Pixels row by row from the top, three bytes (red, green, blue) each.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    Rgb at(int x, int y) const;
};

// The share of the pixels of the rectangle at (x, y), w by h, that lie within
// `tolerance` of `colour` in every channel (0 for an empty or outside rectangle).
double shareNear(const Image &image, int x, int y, int w, int h, Rgb colour, int tolerance);
// The pixels brighter than `threshold` in some channel: how many lie in the rectangle at
// (x, y), w by h, and how many lie outside it.
struct LitCount {
    long inside = 0;
    long outside = 0;
};
LitCount countLit(const Image &image, int x, int y, int w, int h, int threshold = 24);
// Writes an 8-bit RGB PNG; false when the file cannot be written.
bool writePng(const std::string &path, const Image &image);
// Where a test saves a screenshot named `name` (a .png in the build tree).
std::string shotPath(const std::string &name);

struct VideoMode {
    int width = 0;
    int height = 0;
};
inline bool operator==(VideoMode x, VideoMode y) { return x.width == y.width && x.height == y.height; }
std::ostream &operator<<(std::ostream &out, VideoMode mode);

// A connection to one rig server. X errors are recorded, never fatal.
class Screen {
public:
    // Connects, retrying for up to two seconds; `connected` says whether it did.
    explicit Screen(const std::string &display);
    ~Screen();
    Screen(const Screen &) = delete;
    Screen &operator=(const Screen &) = delete;

    bool connected() const { return display_ != nullptr; }
    // The root window's contents: the whole desktop.
    Image grab();
    // The size of the root window, which a mode switch leaves alone.
    VideoMode desktop();
    // The video mode shown now, and every mode the server can switch to.
    VideoMode mode();
    std::vector<VideoMode> modes();
    // Switches to the mode of that size with the view at the origin; false when none.
    bool switchTo(VideoMode mode);
    // Puts the desktop's own mode back, as a demo that was killed would not.
    bool restoreDesktopMode() { return switchTo(desktop()); }
    // Presses and releases a key through XTest (a keysym name such as "space").
    bool pressKey(const char *keysymName = "space");

private:
    Display *display_ = nullptr;
};

// Whether `screen` is connected to `display` and back in the desktop's own mode, as each
// run of the demo should find it: ASSERT_TRUE(rig::inDesktopMode(screen, server.display)).
testing::AssertionResult inDesktopMode(Screen &screen, const std::string &display);

// A fresh temporary directory: `path()` is the working directory a program runs in;
// its output files sit beside it. Removed with everything in it on destruction.
class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    WorkDir(const WorkDir &) = delete;
    WorkDir &operator=(const WorkDir &) = delete;

    const std::string &path() const { return path_; }
    const std::string &base() const { return base_; }
    // Copies a file of the repository's data/ by name; false when it cannot.
    bool copyData(const std::string &name);
    // Copies the demo's five data files.
    bool copyAllData();
    bool write(const std::string &name, const std::vector<uint8_t> &bytes);

private:
    std::string base_;
    std::string path_;
};

// How a process ended and what it wrote.
struct Outcome {
    bool timedOut = false; // it was still running at the timeout and was killed
    bool exited = false;   // it called exit (then `status` holds its status)
    int status = -1;
    int signal = 0;        // the signal that ended it, when it did not exit
    std::string out;
    std::string err;
};
std::ostream &operator<<(std::ostream &out, const Outcome &outcome);

// A program started in a work directory with DISPLAY set to the server's display and
// SDL_AUDIODRIVER=dummy; `environment` adds or overrides "NAME=value" entries. Its
// standard output and error go to files beside the work directory, and it runs with the
// rig's frame counter preloaded (a byte per glutSwapBuffers). A process still running at
// destruction gets SIGTERM, then SIGKILL after two seconds.
class Process {
public:
    Process(const std::string &program, const std::vector<std::string> &arguments,
            const WorkDir &dir, const Server &server,
            const std::vector<std::string> &environment = {});
    ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    void signal(int number);
    // Waits for the end; after `timeout` the process is killed and that is reported.
    Outcome wait(std::chrono::milliseconds timeout);
    // What it has written so far, and how many frames it has swapped.
    std::string out() const;
    std::string err() const;
    long framesDrawn() const;

private:
    void reap(int waitStatus);

    pid_t pid_ = -1;
    bool ended_ = false;
    Outcome outcome_;
    std::string outPath_;
    std::string errPath_;
    std::string framePath_;
};

// The real demo binary (or $ORRERY_BINARY when set), and a file of the repository's data/
// (or of $ORRERY_DATA_DIR when set).
std::string orreryPath();
std::string dataPath(const std::string &name);
// The real demo, started in `dir` under `server`.
Process startOrrery(const WorkDir &dir, const Server &server,
                    const std::vector<std::string> &environment = {});

// Polls `condition` every 20 ms until it holds or `timeout` has passed; true when it held.
bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout);

// Reads a whole file; empty when it cannot.
std::string readFile(const std::string &path);

} // namespace rig
