// Start-up of the real demo (or of another GLUT program): the time from starting its
// process to the return of its first buffer swap, with the milestones of startup_stamps.

// Usage: startup_bench PROGRAM STAMPS_LIBRARY [RUNS], run in the data directory with
// DISPLAY set. One cold run first, with Mesa's shader cache pointed at a new empty folder
// as on a machine that never ran the program, then RUNS runs as usual. Each run is ended
// by SIGTERM once its first frame is out.
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

const char *const milestones[] = {"init",    "gamemode", "audiostart", "audioopen",
                                  "decodestart", "decoded", "mainloop", "frame"};

long long stamp()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// One run: the milestones in ms after the fork (main's first GLUT call, game mode entered,
// SDL audio started and its device open, the module decoded, the main loop entered, the
// first frame), -1 for one the program never reached; empty when no frame came within ten
// seconds. The program's standard output is dropped.
std::map<std::string, double> runOnce(const char *program, const std::string &log)
{
    unlink(log.c_str());
    const long long start = stamp();
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        execl(program, program, static_cast<char *>(nullptr));
        perror(program);
        _exit(127);
    }
    std::map<std::string, long long> seen;
    for (int tries = 0; tries < 10000 && seen.size() < std::size(milestones); tries++) {
        std::ifstream in(log);
        std::string name;
        long long ns;
        while (in >> name >> ns)
            seen[name] = ns;
        if (seen.size() < std::size(milestones))
            usleep(1000);
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    usleep(200000); // the server settles back into the desktop's mode
    std::map<std::string, double> after;
    if (seen.size() == std::size(milestones))
        for (const char *m : milestones)
            after[m] = seen[m] == 0 ? -1.0 : double(seen[m] - start) / 1e6;
    return after;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: startup_bench PROGRAM STAMPS_LIBRARY [RUNS]\n");
        return 2;
    }
    const int runs = argc > 3 ? atoi(argv[3]) : 10;
    const std::string log = "/tmp/orrery-startup-" + std::to_string(getpid());
    setenv("ORRERY_STARTUP_LOG", log.c_str(), 1);
    setenv("LD_PRELOAD", argv[2], 1);

    char cacheTemplate[] = "/tmp/orrery-shader-cache-XXXXXX";
    if (!mkdtemp(cacheTemplate)) {
        perror("startup_bench: mkdtemp");
        return 1;
    }
    setenv("MESA_SHADER_CACHE_DIR", cacheTemplate, 1);
    const std::map<std::string, double> cold = runOnce(argv[1], log);
    unsetenv("MESA_SHADER_CACHE_DIR");
    std::filesystem::remove_all(cacheTemplate);

    std::map<std::string, std::vector<double>> warm;
    for (int run = 0; run < runs; run++) {
        const std::map<std::string, double> after = runOnce(argv[1], log);
        if (after.empty() || cold.empty()) {
            fprintf(stderr, "startup_bench: %s drew no frame within 10 s\n", argv[1]);
            return 1;
        }
        for (const auto &[name, ms] : after)
            warm[name].push_back(ms);
    }
    unlink(log.c_str());
    const std::vector<double> &frame = warm["frame"];
    const std::string program = argv[1];
    printf("startup program=%s runs=%d median_ms=%.1f min_ms=%.1f max_ms=%.1f init_ms=%.1f "
           "gamemode_ms=%.1f audiostart_ms=%.1f audioopen_ms=%.1f decodestart_ms=%.1f "
           "decoded_ms=%.1f mainloop_ms=%.1f cold_ms=%.1f cold_mainloop_ms=%.1f\n",
           program.substr(program.find_last_of('/') + 1).c_str(), runs, median(frame),
           *std::min_element(frame.begin(), frame.end()),
           *std::max_element(frame.begin(), frame.end()), median(warm["init"]),
           median(warm["gamemode"]), median(warm["audiostart"]), median(warm["audioopen"]),
           median(warm["decodestart"]), median(warm["decoded"]), median(warm["mainloop"]),
           cold.at("frame"),
           cold.at("mainloop"));
    return 0;
}
