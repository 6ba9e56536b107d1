// Start-up of the real demo (or of another GLUT program): the time from starting its
// process to the return of its first buffer swap, over several runs, with the milestones
// that startup_stamps records. Usage: startup_bench PROGRAM STAMPS_LIBRARY [RUNS], run in
// the data directory with DISPLAY set; each run is ended by SIGTERM once its first frame
// is out.
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

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
    // Milestones after the process start, in ms: main's first GLUT call, game mode, the
    // main loop (loads and music done), the first frame.
    std::map<std::string, std::vector<double>> after;
    const char *const milestones[] = {"init", "gamemode", "mainloop", "frame"};
    for (int run = 0; run < runs; run++) {
        unlink(log.c_str());
        const long long start = stamp();
        const pid_t pid = fork();
        if (pid == 0) {
            execl(argv[1], argv[1], static_cast<char *>(nullptr));
            perror(argv[1]);
            _exit(127);
        }
        std::map<std::string, long long> seen;
        // Bounded wait: ten seconds for the first frame.
        for (int tries = 0; tries < 10000 && seen.size() < 4; tries++) {
            std::ifstream in(log);
            std::string name;
            long long ns;
            while (in >> name >> ns)
                seen[name] = ns;
            if (seen.size() < 4)
                usleep(1000);
        }
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        if (seen.size() < 4) {
            fprintf(stderr, "startup_bench: run %d drew no frame within 10 s\n", run);
            return 1;
        }
        for (const char *m : milestones)
            after[m].push_back(double(seen[m] - start) / 1e6);
        usleep(200000); // the server settles back into the desktop's mode
    }
    unlink(log.c_str());
    std::vector<double> &frame = after["frame"];
    const std::string program = argv[1];
    printf("startup program=%s runs=%d median_ms=%.1f min_ms=%.1f max_ms=%.1f init_ms=%.1f gamemode_ms=%.1f "
           "mainloop_ms=%.1f\n",
           program.substr(program.find_last_of('/') + 1).c_str(), runs, median(frame), *std::min_element(frame.begin(), frame.end()),
           *std::max_element(frame.begin(), frame.end()), median(after["init"]),
           median(after["gamemode"]), median(after["mainloop"]));
    return 0;
}
