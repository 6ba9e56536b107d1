// The music against the frames, with the real player, GL and timeline in game mode: the
// delay from an order heard to the first frame of its scene, and the audio callback's time.

// Usage: music_bench [DELAY_SECONDS [LOAD_SECONDS [QUIET_SECONDS]]], run in the data
// directory with DISPLAY set (and SDL_AUDIODRIVER=dummy on a machine without sound). The
// callback is timed while the scenes draw twice, LOAD_SECONDS each: with the audio thread
// at the priority SDL gets (as root: nice -20), then with SDL's request for a higher one
// refused, as for a user without that privilege.
//
// The callback is timed from outside the player: this program defines SDL_OpenAudioDevice,
// which the player's calls reach before SDL's, and opens the device with a callback that
// reads the clock, runs the player's own callback and reads the clock again. The same
// wrapper finds, in the samples the player rendered, where each order's tone begins.
#include <GL/gl.h>
#include <GL/freeglut.h>
#include <SDL.h>
#include <dlfcn.h>
#include <sched.h>
#include <unistd.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "assets.h"
#include "effects.h"
#include "itwriter.h"
#include "player.h"
#include "shell.h"

namespace {

int64_t nowNs(clockid_t clock = CLOCK_MONOTONIC)
{
    timespec t{};
    clock_gettime(clock, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// What the wrapped callback saw, written by the audio thread only and read by the main
// thread up to the published counts.
struct CallbackRecord {
    int64_t endNs;    // when the player's callback returned: the buffer is handed over
    int64_t wallNs;   // its duration by the monotonic clock
    int64_t cpuNs;    // and by the audio thread's own CPU clock
};
std::array<CallbackRecord, 1 << 16> callbacks;
std::atomic<size_t> callbackCount{0};
// Where a tone begins: the monotonic time its first frame is heard (the buffer's
// handover plus the frames before it), as the player's position counts it.
std::array<int64_t, 1 << 14> onsets;
std::atomic<size_t> onsetCount{0};

SDL_AudioCallback playerCallback = nullptr;
SDL_AudioSpec obtainedSpec{};
long quietFrames = 0; // frames since the last loud one, across buffers

// A tone starts at a frame above the threshold after at least this long below it.
constexpr float onsetLevel = 0.01f;
constexpr double onsetSilenceSeconds = 0.04;

// How SDL runs its audio thread: scheduling policy and nice value, read on its first call.
std::atomic<int> audioPolicy{-1};
std::atomic<int> audioNice{0};

void timedCallback(void *user, Uint8 *stream, int byteCount)
{
    if (audioPolicy.load(std::memory_order_relaxed) < 0) {
        audioNice.store(getpriority(PRIO_PROCESS, id_t(gettid())));
        audioPolicy.store(sched_getscheduler(0));
    }
    const int64_t cpuStart = nowNs(CLOCK_THREAD_CPUTIME_ID);
    const int64_t start = nowNs();
    playerCallback(user, stream, byteCount);
    const int64_t end = nowNs();
    const int64_t cpuEnd = nowNs(CLOCK_THREAD_CPUTIME_ID);
    const size_t k = callbackCount.load(std::memory_order_relaxed);
    if (k < callbacks.size()) {
        callbacks[k] = {end, end - start, cpuEnd - cpuStart};
        callbackCount.store(k + 1, std::memory_order_release);
    }
    const float *samples = reinterpret_cast<const float *>(stream);
    const long frames = byteCount / long(2 * sizeof(float));
    const long silence = long(onsetSilenceSeconds * obtainedSpec.freq);
    for (long frame = 0; frame < frames; frame++) {
        const bool loud = std::fabs(samples[2 * frame]) > onsetLevel ||
                          std::fabs(samples[2 * frame + 1]) > onsetLevel;
        if (!loud) {
            quietFrames++;
            continue;
        }
        if (quietFrames >= silence) {
            const size_t n = onsetCount.load(std::memory_order_relaxed);
            if (n < onsets.size()) {
                onsets[n] = end + frame * int64_t(1000000000) / obtainedSpec.freq;
                onsetCount.store(n + 1, std::memory_order_release);
            }
        }
        quietFrames = 0;
    }
}

} // namespace

// Stands in front of SDL's own: the player opens its device through the timing wrapper.
extern "C" SDL_AudioDeviceID SDL_OpenAudioDevice(const char *device, int iscapture,
                                                 const SDL_AudioSpec *desired,
                                                 SDL_AudioSpec *obtained, int allowed_changes)
{
    using Open = SDL_AudioDeviceID (*)(const char *, int, const SDL_AudioSpec *,
                                       SDL_AudioSpec *, int);
    static const Open open = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "SDL_OpenAudioDevice"));
    SDL_AudioSpec wanted = *desired;
    playerCallback = desired->callback;
    wanted.callback = timedCallback;
    quietFrames = long(1) << 40; // the stream starts after silence
    const SDL_AudioDeviceID id = open(device, iscapture, &wanted, &obtainedSpec, allowed_changes);
    if (obtained)
        *obtained = obtainedSpec;
    return id;
}

namespace {

// While set, requests to raise a thread's priority are refused, as they are for a user
// without the privilege: SDL then plays from an audio thread at the usual priority.
bool refuseRaisedPriority = false;

} // namespace

// Stands in front of the C library's: SDL raises its audio thread's priority through it.
extern "C" int setpriority(__priority_which_t which, id_t who, int prio) noexcept
{
    using Set = int (*)(__priority_which_t, id_t, int);
    static const Set set = reinterpret_cast<Set>(dlsym(RTLD_NEXT, "setpriority"));
    if (refuseRaisedPriority && prio < 0) {
        errno = EACCES;
        return -1;
    }
    return set(which, who, prio);
}

namespace {

// The looping timeline module: orders 0..14 again and again, each one row with a tone.
// A row lasts 2.5 * speed / tempo seconds: 0.16 s.
constexpr int loopOrders = 15;
constexpr int timelineSpeed = 8;
constexpr int timelineTempo = 125;

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double at = p * double(values.size() - 1);
    const size_t low = size_t(at);
    const size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - double(low));
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

void check(int result, const char *what)
{
    if (!result) {
        fprintf(stderr, "music_bench: %s: %s\n", what, playerErrorText());
        exit(1);
    }
}

// A scene change seen by the frame loop: which row, when its frame began and was swapped.
struct Change {
    int scene;
    int64_t frameStartNs;
    int64_t frameEndNs;
};

enum Stage { delayStage, loadStage, userStage, quietStage };
Stage stage = delayStage;
double stageSeconds[4] = {20, 15, 15, 5};
int64_t stageStartNs = 0;
double stageStartCpu = 0;
std::vector<Change> changes;
long stageFrames = 0;

std::vector<double> callbackMs(int64_t fromNs, int64_t toNs, bool cpu)
{
    std::vector<double> out;
    const size_t n = callbackCount.load(std::memory_order_acquire);
    for (size_t k = 0; k < n; k++)
        if (callbacks[k].endNs >= fromNs && callbacks[k].endNs < toNs)
            out.push_back(double(cpu ? callbacks[k].cpuNs : callbacks[k].wallNs) / 1e6);
    return out;
}

void reportCallbacks(const char *name, int64_t endNs, long frames)
{
    const std::vector<double> wall = callbackMs(stageStartNs, endNs, false);
    const std::vector<double> cpu = callbackMs(stageStartNs, endNs, true);
    const double seconds = double(endNs - stageStartNs) / 1e9;
    const double bufferMs = 1000.0 * obtainedSpec.samples / obtainedSpec.freq;
    printf("callback stage=%s callbacks=%zu seconds=%.1f frames=%ld cores=%.2f "
           "buffer_frames=%d buffer_ms=%.2f median_ms=%.3f p99_ms=%.3f max_ms=%.3f "
           "p99_share=%.1f%% cpu_median_ms=%.3f cpu_p99_ms=%.3f audio_policy=%s audio_nice=%d\n",
           name, wall.size(), seconds, frames, (cpuSeconds() - stageStartCpu) / seconds,
           obtainedSpec.samples, bufferMs, percentile(wall, 0.5), percentile(wall, 0.99),
           percentile(wall, 1.0), 100.0 * percentile(wall, 0.99) / bufferMs,
           percentile(cpu, 0.5), percentile(cpu, 0.99),
           audioPolicy == SCHED_OTHER ? "SCHED_OTHER"
           : audioPolicy == SCHED_FIFO ? "SCHED_FIFO"
           : audioPolicy == SCHED_RR   ? "SCHED_RR"
                                       : "other",
           audioNice.load());
    fflush(stdout);
}

// Pairs each scene change with the latest onset of its cue order before its frame: the
// n-th onset is order n mod 15, since the module loops over orders 0..14. A scene's first
// change is reported apart: in the demo each scene comes once, and its first frame is the
// one in which the renderer first meets that scene's state.
void reportDelays()
{
    const size_t n = onsetCount.load(std::memory_order_acquire);
    struct Delays {
        std::vector<double> total, wait, draw;
    } first, later;
    bool seen[std::size(sceneTable)] = {};
    for (const Change &change : changes) {
        const int cue = sceneTable[change.scene].startOrder;
        int64_t heard = -1;
        for (size_t k = 0; k < n; k++)
            if (int(k % loopOrders) == cue && onsets[k] <= change.frameEndNs)
                heard = onsets[k];
        if (heard < 0 || change.frameEndNs - heard > 1000000000)
            continue; // no onset of that order within a second: not a pairing
        Delays &into = seen[change.scene] ? later : first;
        seen[change.scene] = true;
        into.total.push_back(double(change.frameEndNs - heard) / 1e6);
        into.wait.push_back(double(change.frameStartNs - heard) / 1e6);
        into.draw.push_back(double(change.frameEndNs - change.frameStartNs) / 1e6);
        printf("change scene=%d order=%d first=%d delay_ms=%.1f wait_ms=%.1f frame_ms=%.1f\n",
               change.scene, cue, &into == &first, into.total.back(), into.wait.back(),
               into.draw.back());
    }
    std::vector<double> all = first.total;
    all.insert(all.end(), later.total.begin(), later.total.end());
    std::vector<double> waits = first.wait;
    waits.insert(waits.end(), later.wait.begin(), later.wait.end());
    printf("delay changes=%zu paired=%zu onsets=%zu median_ms=%.1f p90_ms=%.1f max_ms=%.1f "
           "min_ms=%.1f wait_median_ms=%.1f wait_max_ms=%.1f first_max_ms=%.1f "
           "first_frame_max_ms=%.1f later_median_ms=%.1f later_max_ms=%.1f "
           "later_frame_median_ms=%.1f later_frame_max_ms=%.1f\n",
           changes.size(), all.size(), n, percentile(all, 0.5), percentile(all, 0.9),
           percentile(all, 1.0), percentile(all, 0.0), percentile(waits, 0.5),
           percentile(waits, 1.0), percentile(first.total, 1.0), percentile(first.draw, 1.0),
           percentile(later.total, 0.5), percentile(later.total, 1.0),
           percentile(later.draw, 0.5), percentile(later.draw, 1.0));
    fflush(stdout);
}

void startStage(Stage next)
{
    stage = next;
    stageStartNs = nowNs();
    stageStartCpu = cpuSeconds();
    stageFrames = 0;
}

// Delay stage: the demo's own timeline picks the scene; after the end picture the bench
// puts it back to the first row once the music has looped round, since it never goes back.
void delayFrame()
{
    const int before = currentScene;
    const int64_t start = nowNs();
    displayFrame();
    const int64_t end = nowNs();
    if (currentScene != before)
        changes.push_back({currentScene, start, end});
    if (currentScene == 3 && (BASSMOD_MusicGetPosition() & 0xFFFF) < 4) {
        currentScene = 0;
        sceneStartMs = glutGet(GLUT_ELAPSED_TIME);
    }
}

// Load stages: the three sphere scenes in turn, two seconds each, as fast as they draw.
void loadFrame()
{
    static void (*const scenes[])(int) = {sceneOrange, sceneBlue, sceneGreen};
    const int elapsedMs = int((nowNs() - stageStartNs) / 1000000);
    scenes[(elapsedMs / 2000) % 3](elapsedMs % 2000);
}

void frame()
{
    const double seconds = double(nowNs() - stageStartNs) / 1e9;
    if (stage == delayStage) {
        if (seconds >= stageSeconds[delayStage]) {
            reportDelays();
            reportCallbacks("timeline", nowNs(), stageFrames);
            // The demo's own module from here on.
            check(BASSMOD_MusicStop(), "stop");
            check(BASSMOD_MusicLoad(0, "marigold.it", 0, 0, playerRamp | playerLoop | playerInterpolate),
                  "load marigold.it");
            check(BASSMOD_MusicPlay(), "play marigold.it");
            startStage(loadStage);
            return;
        }
        delayFrame();
    } else if (stage == loadStage) {
        if (seconds >= stageSeconds[loadStage]) {
            reportCallbacks("render", nowNs(), stageFrames);
            // The player again from the start, its audio thread at the usual priority.
            BASSMOD_MusicStop();
            BASSMOD_MusicFree();
            BASSMOD_Free();
            refuseRaisedPriority = true;
            audioPolicy = -1;
            check(BASSMOD_Init(-1, 44100, 0), "start the player again");
            check(BASSMOD_MusicLoad(0, "marigold.it", 0, 0, playerRamp | playerLoop | playerInterpolate),
                  "load marigold.it");
            check(BASSMOD_MusicPlay(), "play marigold.it");
            startStage(userStage);
            return;
        }
        loadFrame();
    } else if (stage == userStage) {
        if (seconds >= stageSeconds[userStage]) {
            reportCallbacks("render-unprivileged", nowNs(), stageFrames);
            startStage(quietStage);
            return;
        }
        loadFrame();
    }
    stageFrames++;
}

// Quiet stage: nothing drawn, the main thread asleep, for the callback's own time.
void idle()
{
    if (stage == quietStage) {
        if (double(nowNs() - stageStartNs) / 1e9 >= stageSeconds[quietStage]) {
            reportCallbacks("quiet", nowNs(), 0);
            BASSMOD_MusicStop();
            BASSMOD_MusicFree();
            BASSMOD_Free();
            exit(0);
        }
        SDL_Delay(10);
        return;
    }
    glutPostRedisplay();
}

} // namespace

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    // The second render stage lasts as long as the first.
    const Stage stageOfArgument[] = {delayStage, loadStage, quietStage};
    for (int k = 1; k < argc && k <= 3; k++)
        stageSeconds[stageOfArgument[k - 1]] = atof(argv[k]);
    stageSeconds[userStage] = stageSeconds[loadStage];
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutGameModeString("640x480:32");
    if (!glutGameModeGet(GLUT_GAME_MODE_POSSIBLE) || !glutEnterGameMode() ||
        !glutGameModeGet(GLUT_GAME_MODE_ACTIVE)) {
        fprintf(stderr, "music_bench: no 640x480 game mode on this display\n");
        return 1;
    }
    // The demo's own start-up, with this program's display and idle callbacks.
    glutDisplayFunc(frame);
    glutReshapeFunc(reshapeWindow);
    glutIdleFunc(idle);
    glutSetCursor(GLUT_CURSOR_NONE);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    loadOrangeTexture();
    loadHeightMap();

    static const std::vector<uint8_t> timeline =
        jumpModule(loopOrders + 1, loopOrders - 1, 0, 1, timelineSpeed, timelineTempo);
    check(BASSMOD_Init(-1, 44100, 0), "start the player");
    check(BASSMOD_MusicLoad(1, timeline.data(), 0, uint32_t(timeline.size()),
                            playerRamp | playerLoop | playerInterpolate),
          "load the timeline module");
    check(BASSMOD_MusicPlay(), "play");
    sceneStartMs = glutGet(GLUT_ELAPSED_TIME);
    startStage(delayStage);
    glutMainLoop();
    return 0;
}
