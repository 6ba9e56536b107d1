// End-to-end test support: servers from the rig's state files, processes run in
// temporary directories, and the screen, keys and video mode through Xlib, XTest and XF86VidMode.
#include "rig.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/xf86vmode.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace rig {

namespace {

namespace fs = std::filesystem;

// The demo's data files, as it reads them from its working directory.
const char *const demoDataFiles[] = {"cmap.tga", "color2.tga", "tesilmap.tga", "tesilmapc.tga",
                                     "marigold.it"};

// The last X error seen; a test reads the outcome of its calls, Xlib's default handler
// would end the whole test program instead.
int lastXError = 0;

int recordXError(Display *, XErrorEvent *event)
{
    lastXError = event->error_code;
    return 0;
}

std::string stateValue(const std::string &state, const std::string &key)
{
    std::istringstream lines(state);
    std::string line;
    while (std::getline(lines, line))
        if (line.compare(0, key.size() + 1, key + "=") == 0)
            return line.substr(key.size() + 1);
    return "";
}

// The lowest set bit of a channel mask and the channel's width, to read a pixel
// whatever the visual's layout.
int maskShift(unsigned long mask)
{
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

int channel(unsigned long pixel, unsigned long mask)
{
    if (!mask)
        return 0;
    unsigned long value = (pixel & mask) >> maskShift(mask);
    unsigned long top = mask >> maskShift(mask);
    return int(value * 255 / top);
}

void putBigEndian(std::string &out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(char((value >> shift) & 0xff));
}

void putChunk(std::string &out, const char *type, const std::string &data)
{
    putBigEndian(out, uint32_t(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    putBigEndian(out, uint32_t(crc32(0, reinterpret_cast<const Bytef *>(body.data()), uInt(body.size()))));
}

} // namespace

Server server(const std::string &name)
{
    Server found;
    found.name = name;
    const std::string statePath = std::string(RIG_STATE_DIR) + "/server-" + name + ".state";
    const std::string state = readFile(statePath);
    if (state.empty()) {
        found.why = "no state file " + statePath + " (run the test through ctest, which starts the server)";
        return found;
    }
    found.why = stateValue(state, "unavailable");
    found.display = stateValue(state, "display");
    found.pid = std::atoi(stateValue(state, "pid").c_str());
    if (found.display.empty() && found.why.empty())
        found.why = "state file " + statePath + " names no display";
    return found;
}

bool underCi()
{
    const char *ci = std::getenv("CI");
    return ci && std::strcmp(ci, "true") == 0;
}

std::ostream &operator<<(std::ostream &out, Rgb colour)
{
    return out << "rgb(" << colour.r << ", " << colour.g << ", " << colour.b << ")";
}

std::ostream &operator<<(std::ostream &out, VideoMode mode)
{
    return out << mode.width << "x" << mode.height;
}

Rgb Image::at(int x, int y) const
{
    const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
    return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
}

double shareNear(const Image &image, int x, int y, int w, int h, Rgb colour, int tolerance)
{
    if (w <= 0 || h <= 0 || x < 0 || y < 0 || x + w > image.width || y + h > image.height)
        return 0.0;
    long near = 0;
    for (int row = y; row < y + h; ++row)
        for (int column = x; column < x + w; ++column) {
            const Rgb pixel = image.at(column, row);
            if (std::abs(pixel.r - colour.r) <= tolerance && std::abs(pixel.g - colour.g) <= tolerance &&
                std::abs(pixel.b - colour.b) <= tolerance)
                ++near;
        }
    return double(near) / (double(w) * double(h));
}

LitCount countLit(const Image &image, int x, int y, int w, int h, int threshold)
{
    LitCount count;
    for (int row = 0; row < image.height; ++row)
        for (int column = 0; column < image.width; ++column) {
            const Rgb pixel = image.at(column, row);
            if (pixel.r <= threshold && pixel.g <= threshold && pixel.b <= threshold)
                continue;
            const bool inside = column >= x && column < x + w && row >= y && row < y + h;
            ++(inside ? count.inside : count.outside);
        }
    return count;
}

// zlib does the compression and the checksums; only PNG's few chunks are put together here.
bool writePng(const std::string &path, const Image &image)
{
    std::string raw;
    raw.reserve(size_t(image.height) * (size_t(image.width) * 3 + 1));
    for (int row = 0; row < image.height; ++row) {
        raw.push_back('\0'); // filter: none
        raw.append(reinterpret_cast<const char *>(image.rgb.data()) + size_t(row) * size_t(image.width) * 3,
                   size_t(image.width) * 3);
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef *>(&packed[0]), &packedSize,
                  reinterpret_cast<const Bytef *>(raw.data()), uLong(raw.size()), 6) != Z_OK)
        return false;
    packed.resize(packedSize);

    std::string header;
    putBigEndian(header, uint32_t(image.width));
    putBigEndian(header, uint32_t(image.height));
    header += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter set, no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", packed);
    putChunk(png, "IEND", "");

    std::ofstream file(path, std::ios::binary);
    file.write(png.data(), std::streamsize(png.size()));
    return bool(file);
}

std::string shotPath(const std::string &name)
{
    fs::create_directories(RIG_SHOT_DIR);
    return std::string(RIG_SHOT_DIR) + "/" + name + ".png";
}

Screen::Screen(const std::string &display)
{
    XSetErrorHandler(recordXError);
    for (int attempt = 0; attempt < 100 && !display_; ++attempt) {
        display_ = XOpenDisplay(display.c_str());
        if (!display_)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

Screen::~Screen()
{
    if (display_)
        XCloseDisplay(display_);
}

Image Screen::grab()
{
    Image image;
    if (!display_)
        return image;
    const VideoMode size = desktop();
    XImage *shot = XGetImage(display_, DefaultRootWindow(display_), 0, 0, unsigned(size.width),
                             unsigned(size.height), AllPlanes, ZPixmap);
    if (!shot)
        return image;
    image.width = size.width;
    image.height = size.height;
    image.rgb.resize(size_t(size.width) * size_t(size.height) * 3);
    uint8_t *out = image.rgb.data();
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const unsigned long pixel = XGetPixel(shot, x, y);
            *out++ = uint8_t(channel(pixel, shot->red_mask));
            *out++ = uint8_t(channel(pixel, shot->green_mask));
            *out++ = uint8_t(channel(pixel, shot->blue_mask));
        }
    XDestroyImage(shot);
    return image;
}

VideoMode Screen::desktop()
{
    if (!display_)
        return {};
    const int screen = DefaultScreen(display_);
    return VideoMode{DisplayWidth(display_, screen), DisplayHeight(display_, screen)};
}

VideoMode Screen::mode()
{
    if (!display_)
        return {};
    int dotClock = 0;
    XF86VidModeModeLine line = {};
    if (!XF86VidModeGetModeLine(display_, DefaultScreen(display_), &dotClock, &line))
        return {};
    if (line.privsize > 0)
        XFree(line.c_private);
    return VideoMode{line.hdisplay, line.vdisplay};
}

std::vector<VideoMode> Screen::modes()
{
    std::vector<VideoMode> all;
    if (!display_)
        return all;
    int count = 0;
    XF86VidModeModeInfo **infos = nullptr;
    if (!XF86VidModeGetAllModeLines(display_, DefaultScreen(display_), &count, &infos))
        return all;
    for (int i = 0; i < count; ++i)
        all.push_back(VideoMode{infos[i]->hdisplay, infos[i]->vdisplay});
    XFree(infos);
    return all;
}

bool Screen::switchTo(VideoMode mode)
{
    if (!display_)
        return false;
    const int screen = DefaultScreen(display_);
    int count = 0;
    XF86VidModeModeInfo **infos = nullptr;
    if (!XF86VidModeGetAllModeLines(display_, screen, &count, &infos))
        return false;
    bool switched = false;
    for (int i = 0; i < count && !switched; ++i)
        if (infos[i]->hdisplay == mode.width && infos[i]->vdisplay == mode.height) {
            lastXError = 0;
            switched = XF86VidModeSwitchToMode(display_, screen, infos[i]) &&
                       XF86VidModeSetViewPort(display_, screen, 0, 0);
            XSync(display_, False);
            switched = switched && lastXError == 0;
        }
    XFree(infos);
    return switched;
}

bool Screen::pressKey(const char *keysymName)
{
    if (!display_)
        return false;
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(keysymName));
    if (!code)
        return false;
    lastXError = 0;
    const bool sent = XTestFakeKeyEvent(display_, code, True, 0) && XTestFakeKeyEvent(display_, code, False, 0);
    XSync(display_, False);
    return sent && lastXError == 0;
}

testing::AssertionResult inDesktopMode(Screen &screen, const std::string &display)
{
    if (!screen.connected())
        return testing::AssertionFailure() << "cannot open " << display;
    if (!screen.restoreDesktopMode())
        return testing::AssertionFailure() << "cannot put back the desktop mode on " << display;
    return testing::AssertionSuccess();
}

WorkDir::WorkDir()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orrery-e2e-XXXXXX";
    if (mkdtemp(&pattern[0])) {
        base_ = pattern;
        path_ = base_ + "/run";
        fs::create_directory(path_);
    }
}

WorkDir::~WorkDir()
{
    std::error_code ignored;
    if (!base_.empty())
        fs::remove_all(base_, ignored);
}

bool WorkDir::copyData(const std::string &name)
{
    std::error_code error;
    return fs::copy_file(dataPath(name), path_ + "/" + name, fs::copy_options::overwrite_existing, error);
}

bool WorkDir::copyAllData()
{
    bool copied = true;
    for (const char *name : demoDataFiles)
        copied = copyData(name) && copied;
    return copied;
}

bool WorkDir::write(const std::string &name, const std::vector<uint8_t> &bytes)
{
    std::ofstream file(path_ + "/" + name, std::ios::binary);
    file.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return bool(file);
}

std::ostream &operator<<(std::ostream &out, const Outcome &outcome)
{
    if (outcome.timedOut)
        out << "timed out (killed)";
    else if (outcome.exited)
        out << "exited with status " << outcome.status;
    else
        out << "ended by signal " << outcome.signal << " (" << strsignal(outcome.signal) << ")";
    return out << "\n--- stdout ---\n" << outcome.out << "--- stderr ---\n" << outcome.err << "---";
}

Process::Process(const std::string &program, const std::vector<std::string> &arguments, const WorkDir &dir,
                 const Server &server, const std::vector<std::string> &environment)
{
    static int serial = 0;
    ++serial;
    outPath_ = dir.base() + "/stdout-" + std::to_string(serial);
    errPath_ = dir.base() + "/stderr-" + std::to_string(serial);
    framePath_ = dir.base() + "/frames-" + std::to_string(serial);

    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    // AddressSanitizer wants its runtime first in the load order, before the counter.
    const char *asanOptions = std::getenv("ASAN_OPTIONS");
    // RIG_PRELOAD: more libraries to preload after the counter (the sanitized stage keeps
    // Mesa's driver loaded this way, so that its leaks stay nameable at exit).
    const char *morePreload = std::getenv("RIG_PRELOAD");
    std::vector<std::string> settings{
        "DISPLAY=" + server.display, "SDL_AUDIODRIVER=dummy",
        std::string("LD_PRELOAD=" RIG_FRAME_COUNTER) +
            (morePreload && *morePreload ? std::string(":") + morePreload : ""),
        "RIG_FRAME_LOG=" + framePath_,
        std::string("ASAN_OPTIONS=") + (asanOptions && *asanOptions ? std::string(asanOptions) + ":" : "") +
            "verify_asan_link_order=0"};
    settings.insert(settings.end(), environment.begin(), environment.end());

    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ != 0)
        return;
    // The child: only async-signal-safe work would be strictly right after fork, but the
    // test program has a single thread here.
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
        chdir(dir.path().c_str()) != 0)
        _exit(126);
    for (const std::string &setting : settings) {
        const size_t equals = setting.find('=');
        setenv(setting.substr(0, equals).c_str(), setting.substr(equals + 1).c_str(), 1);
    }
    execv(program.c_str(), argv.data());
    std::fprintf(stderr, "rig: cannot run %s: %s\n", program.c_str(), std::strerror(errno));
    _exit(127);
}

Process::~Process()
{
    if (!running())
        return;
    signal(SIGTERM);
    wait(std::chrono::milliseconds(2000));
}

void Process::reap(int waitStatus)
{
    ended_ = true;
    if (WIFEXITED(waitStatus)) {
        outcome_.exited = true;
        outcome_.status = WEXITSTATUS(waitStatus);
    } else if (WIFSIGNALED(waitStatus)) {
        outcome_.signal = WTERMSIG(waitStatus);
    }
}

bool Process::running()
{
    if (pid_ <= 0 || ended_)
        return false;
    int waitStatus = 0;
    if (waitpid(pid_, &waitStatus, WNOHANG) == pid_)
        reap(waitStatus);
    return !ended_;
}

void Process::signal(int number)
{
    if (running())
        kill(pid_, number);
}

Outcome Process::wait(std::chrono::milliseconds timeout)
{
    if (pid_ > 0 && !waitUntil([this] { return !running(); }, timeout)) {
        kill(pid_, SIGKILL);
        int waitStatus = 0;
        waitpid(pid_, &waitStatus, 0);
        reap(waitStatus);
        outcome_.timedOut = true;
    }
    outcome_.out = out();
    outcome_.err = err();
    return outcome_;
}

std::string Process::out() const { return readFile(outPath_); }

std::string Process::err() const { return readFile(errPath_); }

long Process::framesDrawn() const
{
    std::error_code error;
    const auto size = fs::file_size(framePath_, error);
    return error ? 0 : long(size);
}

std::string orreryPath()
{
    const char *override = std::getenv("ORRERY_BINARY");
    return override && *override ? override : ORRERY_BINARY;
}

std::string dataPath(const std::string &name)
{
    const char *override = std::getenv("ORRERY_DATA_DIR");
    return std::string(override && *override ? override : ORRERY_DATA_DIR) + "/" + name;
}

Process startOrrery(const WorkDir &dir, const Server &server, const std::vector<std::string> &environment)
{
    return Process(orreryPath(), {}, dir, server, environment);
}

bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace rig
