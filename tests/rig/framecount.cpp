// Counts a program's frames for the end-to-end tests: loaded with LD_PRELOAD, it stands
// in front of freeglut's glutSwapBuffers, appends one byte per swap to the file named
// by RIG_FRAME_LOG, then swaps.
#include <GL/freeglut.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace {

int openLog()
{
    const char *path = std::getenv("RIG_FRAME_LOG");
    return path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
}

} // namespace

extern "C" void glutSwapBuffers()
{
    static void (*const swap)() = reinterpret_cast<void (*)()>(dlsym(RTLD_NEXT, "glutSwapBuffers"));
    static const int log = openLog();
    if (log >= 0 && write(log, "f", 1) != 1)
        close(log);
    if (swap)
        swap();
}
