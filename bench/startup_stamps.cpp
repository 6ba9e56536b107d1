// Start-up milestones of the real demo, loaded with LD_PRELOAD in front of a few freeglut,
// SDL and decoder calls.

// At the first buffer swap's return it writes the monotonic times (ns) of main's first
// GLUT call, of game mode entered, of the audio device open, of the module decoded, of
// the main loop's entry and of that swap to the file named by ORRERY_STARTUP_LOG (times
// never reached are 0).
#include <GL/freeglut.h>
#include <SDL.h>
#include <dlfcn.h>
#include <libopenmpt/libopenmpt.h>
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

long long initNs, gameModeNs, audioStartNs, audioOpenNs, decodeStartNs, decodedNs, mainLoopNs;
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

extern "C" int SDL_InitSubSystem(Uint32 flags)
{
    if ((flags & SDL_INIT_AUDIO) && audioStartNs == 0)
        audioStartNs = stamp();
    return next<int (*)(Uint32)>("SDL_InitSubSystem")(flags);
}

extern "C" SDL_AudioDeviceID SDL_OpenAudioDevice(const char *device, int iscapture,
                                                 const SDL_AudioSpec *desired,
                                                 SDL_AudioSpec *obtained, int allowed_changes)
{
    using Open = SDL_AudioDeviceID (*)(const char *, int, const SDL_AudioSpec *,
                                       SDL_AudioSpec *, int);
    const SDL_AudioDeviceID id =
        next<Open>("SDL_OpenAudioDevice")(device, iscapture, desired, obtained, allowed_changes);
    audioOpenNs = stamp();
    return id;
}

extern "C" openmpt_module *openmpt_module_create_from_memory2(
    const void *data, size_t size, openmpt_log_func logfunc, void *loguser,
    openmpt_error_func errfunc, void *erruser, int *error, const char **error_message,
    const openmpt_module_initial_ctl *ctls)
{
    using Create = openmpt_module *(*)(const void *, size_t, openmpt_log_func, void *,
                                       openmpt_error_func, void *, int *, const char **,
                                       const openmpt_module_initial_ctl *);
    decodeStartNs = stamp();
    openmpt_module *module = next<Create>("openmpt_module_create_from_memory2")(
        data, size, logfunc, loguser, errfunc, erruser, error, error_message, ctls);
    decodedNs = stamp();
    return module;
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
    std::fprintf(log,
                 "init %lld\ngamemode %lld\naudiostart %lld\naudioopen %lld\ndecodestart %lld\n"
                 "decoded %lld\nmainloop %lld\nframe %lld\n",
                 initNs, gameModeNs, audioStartNs, audioOpenNs, decodeStartNs, decodedNs,
                 mainLoopNs, frameNs);
    if (std::fclose(log) == 0)
        std::rename(part, path);
}
