// Start-up milestones of the real demo: loaded with LD_PRELOAD, it stands in front of four
// freeglut calls and, at the first buffer swap's return, writes the monotonic times (ns)
// of main's first GLUT call, of game mode entered, of the main loop's entry and of that
// swap to the file named by ORRERY_STARTUP_LOG.
#include <GL/freeglut.h>
#include <dlfcn.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace {

long long stamp()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

long long initNs, gameModeNs, mainLoopNs;
bool written;

template <typename Fn> Fn next(const char *name)
{
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" void glutInit(int *argc, char **argv)
{
    initNs = stamp();
    next<void (*)(int *, char **)>("glutInit")(argc, argv);
}

extern "C" int glutEnterGameMode()
{
    const int result = next<int (*)()>("glutEnterGameMode")();
    gameModeNs = stamp();
    return result;
}

extern "C" void glutMainLoop()
{
    mainLoopNs = stamp();
    next<void (*)()>("glutMainLoop")();
}

extern "C" void glutSwapBuffers()
{
    static void (*const swap)() = next<void (*)()>("glutSwapBuffers");
    swap();
    if (written)
        return;
    written = true;
    const long long frameNs = stamp();
    const char *path = std::getenv("ORRERY_STARTUP_LOG");
    if (!path)
        return;
    // Written aside and renamed, so that the file appears whole.
    char part[4096];
    std::snprintf(part, sizeof part, "%s.part", path);
    FILE *log = std::fopen(part, "w");
    if (!log)
        return;
    std::fprintf(log, "init %lld\ngamemode %lld\nmainloop %lld\nframe %lld\n", initNs, gameModeNs,
                 mainLoopNs, frameNs);
    if (std::fclose(log) == 0)
        std::rename(part, path);
}
