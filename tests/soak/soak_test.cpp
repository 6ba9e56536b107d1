// The soak: the real demo left running for ten minutes in a looping sphere scene, its
// resident memory, open descriptors and frame rate sampled from /proc and the frame counter.
#include "itwriter.h"
#include "rig.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const rig::VideoMode largeDesktop{1024, 768};

// Bounds of the run: memory may grow by less than this after the first minute, and the
// last minute's frame rate stays within this share of the first minute's.
const long rssGrowthLimitKib = 1024;
const double frameRateTolerance = 0.10;
// A minute of frames is counted after a short warm-up, so that the scenes before the
// looping one and the first loads are behind.
const auto warmUp = 5s;
const auto window = 60s;

// The run's length in seconds: ORRERY_SOAK_SECONDS, or ten minutes.
long soakSeconds()
{
    const char *text = std::getenv("ORRERY_SOAK_SECONDS");
    const long seconds = text && *text ? std::atol(text) : 600;
    return seconds > 0 ? seconds : 600;
}

// VmRSS of the process in KiB; -1 when it cannot be read.
long residentKib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// How many descriptors the process holds open; -1 when they cannot be listed.
long openDescriptors(pid_t pid)
{
    DIR *fds = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (!fds)
        return -1;
    long count = 0;
    while (const dirent *entry = readdir(fds))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(fds);
    return count;
}

// CPU time the process has used, user and system, in clock ticks; -1 when unknown.
long cpuTicks(pid_t pid)
{
    const std::string stat = rig::readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t afterName = stat.rfind(')');
    if (afterName == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(afterName + 2));
    std::string field;
    long utime = -1, stime = -1;
    // Fields 3 to 15 of the line; utime and stime are 14 and 15.
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14)
            utime = std::atol(field.c_str());
        if (number == 15)
            stime = std::atol(field.c_str());
    }
    return utime < 0 || stime < 0 ? -1 : utime + stime;
}

// The machine's one-minute load average, as /proc/loadavg gives it.
std::string loadAverage()
{
    std::istringstream line(rig::readFile("/proc/loadavg"));
    std::string first;
    line >> first;
    return first;
}

struct Sample {
    double seconds = 0; // since the first frame
    long frames = 0;
    long rssKib = 0;
    long descriptors = 0;
    long cpuTicks = 0;
};

// The mean resident size in KiB of the samples from `from` to `to` seconds; 0 when none.
double meanRss(const std::vector<Sample> &samples, double from, double to)
{
    double sum = 0;
    long count = 0;
    for (const Sample &s : samples)
        if (s.seconds >= from && s.seconds <= to) {
            sum += double(s.rssKib);
            ++count;
        }
    return count ? sum / double(count) : 0;
}

// The first sample at or after `from` seconds and the last at or before `to`; false
// when the run holds no such pair.
bool spanOf(const std::vector<Sample> &samples, double from, double to, const Sample *&first,
            const Sample *&last)
{
    first = last = nullptr;
    for (const Sample &s : samples) {
        if (!first && s.seconds >= from)
            first = &s;
        if (s.seconds <= to)
            last = &s;
    }
    return first && last;
}

// Frames per second of the process's own CPU time between the samples nearest to `from`
// and `to` seconds: less swayed than the frame rate by other work on the machine.
double framesPerCpuSecond(const std::vector<Sample> &samples, double from, double to)
{
    const Sample *first, *last;
    if (!spanOf(samples, from, to, first, last) || last->cpuTicks <= first->cpuTicks)
        return 0;
    return double(last->frames - first->frames) * double(sysconf(_SC_CLK_TCK)) /
           double(last->cpuTicks - first->cpuTicks);
}

// Frames per second between the samples nearest to `from` and `to` seconds.
double frameRate(const std::vector<Sample> &samples, double from, double to)
{
    const Sample *first, *last;
    if (!spanOf(samples, from, to, first, last) || last->seconds <= first->seconds)
        return 0;
    return double(last->frames - first->frames) / (last->seconds - first->seconds);
}

TEST(DemoSoak, TenMinutesInALoopingSceneKeepMemoryDescriptorsAndFrameRate_b)
{
    RIG_REQUIRE_SERVER(server, "b");
    rig::Screen screen(server.display);
    ASSERT_TRUE(rig::inDesktopMode(screen, server.display));
    rig::WorkDir dir;
    ASSERT_TRUE(dir.copyAllData()) << "cannot copy the data files from " << rig::dataPath("");
    // Orders of 0.12 s; the last row of order 13 jumps back to 10, so the green sphere
    // scene comes after 1.2 s and the music loops inside it for good.
    ASSERT_TRUE(dir.write("marigold.it", jumpModule(18, 13, 10, 2, 3, 125)));

    const long seconds = soakSeconds();
    ASSERT_GT(double(seconds), std::chrono::duration<double>(warmUp + 2 * window).count())
        << "ORRERY_SOAK_SECONDS too short for two windows of a minute";
    rig::Process demo = rig::startOrrery(dir, server);
    ASSERT_TRUE(rig::waitUntil([&] { return demo.framesDrawn() > 0 || !demo.running(); }, 30s) &&
                demo.running())
        << "no frame drawn: " << demo.wait(1s);
    const auto start = Clock::now();

    std::vector<Sample> samples;
    auto next = start;
    long reportedMinute = -1;
    while (demo.running()) {
        Sample s;
        s.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        s.frames = demo.framesDrawn();
        s.rssKib = residentKib(demo.pid());
        s.descriptors = openDescriptors(demo.pid());
        s.cpuTicks = cpuTicks(demo.pid());
        samples.push_back(s);
        if (long(s.seconds) / 60 > reportedMinute) {
            reportedMinute = long(s.seconds) / 60;
            std::printf("soak %4.0f s: %ld frames, VmRSS %ld KiB, %ld descriptors, load %s\n", s.seconds,
                        s.frames, s.rssKib, s.descriptors, loadAverage().c_str());
            std::fflush(stdout);
        }
        if (s.seconds >= double(seconds))
            break;
        next += 1s;
        std::this_thread::sleep_until(next);
    }
    ASSERT_TRUE(demo.running()) << "the demo ended during the soak: " << demo.wait(1s);
    ASSERT_TRUE(screen.pressKey());
    const rig::Outcome outcome = demo.wait(10s);
    EXPECT_TRUE(outcome.exited && outcome.status == 0) << outcome;
    EXPECT_EQ(screen.mode(), largeDesktop);

    const double minute = std::chrono::duration<double>(window).count();
    const double firstFrom = std::chrono::duration<double>(warmUp).count();
    const double end = samples.back().seconds;
    const Sample *afterMinute = nullptr;
    for (const Sample &s : samples)
        if (!afterMinute && s.seconds >= minute)
            afterMinute = &s;
    ASSERT_NE(afterMinute, nullptr);
    long peakRss = 0, peakDescriptors = 0;
    for (const Sample &s : samples) {
        if (s.seconds >= minute) {
            peakRss = std::max(peakRss, s.rssKib);
            peakDescriptors = std::max(peakDescriptors, s.descriptors);
        }
    }
    // The resident size goes up and down by some hundred KiB as blocks are mapped and
    // given back, so growth is taken between minute means: the second minute's and the last.
    const double secondMinuteRss = meanRss(samples, minute, 2 * minute);
    const double lastMinuteRss = meanRss(samples, end - minute, end);
    const long growthKib = std::lround(lastMinuteRss - secondMinuteRss);
    const Sample &last = samples.back();
    const double firstRate = frameRate(samples, firstFrom, firstFrom + minute);
    const double lastRate = frameRate(samples, end - minute, end);

    std::printf("soak over %.0f s, %ld frames\n", end, last.frames);
    std::printf("VmRSS: %ld KiB at one minute, %ld KiB at the end, peak %ld KiB after the first minute; "
                "mean %.0f KiB in the second minute, %.0f KiB in the last (growth %ld KiB, limit < %ld KiB)\n",
                afterMinute->rssKib, samples.back().rssKib, peakRss, secondMinuteRss, lastMinuteRss, growthKib,
                rssGrowthLimitKib);
    std::printf("descriptors: %ld at the start, %ld after the first minute, %ld at the end, peak %ld\n",
                samples.front().descriptors, afterMinute->descriptors, last.descriptors, peakDescriptors);
    std::printf("frame rate: %.1f/s in the first minute (from %.0f s), %.1f/s in the last, change %+.1f %%\n",
                firstRate, firstFrom, lastRate, firstRate > 0 ? (lastRate / firstRate - 1) * 100 : 0.0);
    std::printf("frames per CPU second of the demo: %.1f in the first minute, %.1f in the last\n",
                framesPerCpuSecond(samples, firstFrom, firstFrom + minute),
                framesPerCpuSecond(samples, end - minute, end));
    RecordProperty("rss_growth_kib", std::to_string(growthKib));
    RecordProperty("first_minute_fps", std::to_string(firstRate));
    RecordProperty("last_minute_fps", std::to_string(lastRate));

    EXPECT_LT(growthKib, rssGrowthLimitKib);
    EXPECT_LE(peakDescriptors, afterMinute->descriptors);
    EXPECT_GT(firstRate, 0);
    EXPECT_LE(std::abs(lastRate - firstRate), frameRateTolerance * firstRate);
}

} // namespace
