// Recording GL, GLU and GLUT, and a scripted module player, for the unit tests.
// Each double has the real header's signature, so the product code links unchanged.
#include "doubles.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "player.h"

static Doubles theDoubles;

Doubles &doubles() { return theDoubles; }

void resetDoubles() { theDoubles = Doubles(); }

static void note(const char *name, std::initializer_list<double> args,
                 const void *pointer = nullptr)
{
    theDoubles.callCount++;
    if (!theDoubles.record)
        return;
    GlCall call{name, {}, 0, pointer};
    for (double a : args)
        call.args[call.argCount++] = a;
    theDoubles.calls.push_back(call);
}

// Per-vertex calls, which a frame makes by the hundred thousand.
static void noteGeometry(const char *name, std::initializer_list<double> args)
{
    if (theDoubles.recordGeometry)
        note(name, args);
    else
        theDoubles.callCount++;
}

static void writeCallsToStderr()
{
    std::string line = "calls:";
    for (const GlCall &c : theDoubles.calls)
        line += std::string(" ") + c.name;
    line += "\n";
    fputs(line.c_str(), stderr);
}

void reportCallsAtExit() { atexit(writeCallsToStderr); }

std::vector<GlCall> callsNamed(const char *name)
{
    std::vector<GlCall> out;
    for (const GlCall &c : theDoubles.calls)
        if (std::strcmp(c.name, name) == 0)
            out.push_back(c);
    return out;
}

long countCalls(const char *name)
{
    long n = 0;
    for (const GlCall &c : theDoubles.calls)
        n += std::strcmp(c.name, name) == 0;
    return n;
}

std::vector<std::string> callNames()
{
    std::vector<std::string> out;
    for (const GlCall &c : theDoubles.calls)
        out.push_back(c.name);
    return out;
}

extern "C" {

void glViewport(GLint x, GLint y, GLsizei w, GLsizei h) { note("glViewport", {double(x), double(y), double(w), double(h)}); }
void glMatrixMode(GLenum mode) { note("glMatrixMode", {double(mode)}); }
void glLoadIdentity() { note("glLoadIdentity", {}); }
void glShadeModel(GLenum mode) { note("glShadeModel", {double(mode)}); }
void glEnable(GLenum cap) { note("glEnable", {double(cap)}); }
void glDisable(GLenum cap) { note("glDisable", {double(cap)}); }
void glClear(GLbitfield mask) { note("glClear", {double(mask)}); }
void glBlendFunc(GLenum s, GLenum d) { note("glBlendFunc", {double(s), double(d)}); }
void glBegin(GLenum mode) { note("glBegin", {double(mode)}); }
void glEnd() { note("glEnd", {}); }
void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) { note("glColor4f", {r, g, b, a}); }
void glColor3f(GLfloat r, GLfloat g, GLfloat b) { note("glColor3f", {r, g, b}); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { noteGeometry("glVertex3f", {x, y, z}); }
void glTexCoord2f(GLfloat s, GLfloat t) { noteGeometry("glTexCoord2f", {s, t}); }
void glScalef(GLfloat x, GLfloat y, GLfloat z) { note("glScalef", {x, y, z}); }
void glRotatef(GLfloat a, GLfloat x, GLfloat y, GLfloat z) { note("glRotatef", {a, x, y, z}); }

void glGenTextures(GLsizei n, GLuint *names)
{
    for (GLsizei i = 0; i < n; i++)
        names[i] = theDoubles.nextTexture++;
    note("glGenTextures", {double(n), double(names[0])});
}

void glBindTexture(GLenum target, GLuint name) { note("glBindTexture", {double(target), double(name)}); }
void glTexParameteri(GLenum target, GLenum pname, GLint v) { note("glTexParameteri", {double(target), double(pname), double(v)}); }

void glTexImage2D(GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,
                  GLenum format, GLenum type, const void *pixels)
{
    const unsigned char *p = static_cast<const unsigned char *>(pixels);
    theDoubles.uploads.emplace_back(p, p + size_t(w) * size_t(h) * 3);
    note("glTexImage2D", {double(target), double(level), double(internal), double(w), double(h),
                          double(border), double(format), double(type)}, pixels);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) { note("gluPerspective", {fovy, aspect, zNear, zFar}); }

void glutInit(int *argc, char **argv) { note("glutInit", {double(*argc)}, argv); }
void glutInitDisplayMode(unsigned int mode) { note("glutInitDisplayMode", {double(mode)}); }
void glutGameModeString(const char *mode) { note("glutGameModeString", {}, mode); }

int glutGameModeGet(GLenum query)
{
    note("glutGameModeGet", {double(query)});
    if (query == GLUT_GAME_MODE_ACTIVE && !theDoubles.gameModeAnswers.count(query))
        return theDoubles.gameModeActive;
    auto it = theDoubles.gameModeAnswers.find(query);
    if (it != theDoubles.gameModeAnswers.end())
        return it->second;
    if (query == GLUT_GAME_MODE_WIDTH)
        return 640;
    if (query == GLUT_GAME_MODE_HEIGHT)
        return 480;
    return 1;
}

int glutEnterGameMode()
{
    note("glutEnterGameMode", {});
    theDoubles.gameModeActive = !theDoubles.enterGameModeFails;
    return theDoubles.gameModeActive;
}

void glutDisplayFunc(void (*f)()) { note("glutDisplayFunc", {}, reinterpret_cast<const void *>(f)); }
void glutReshapeFunc(void (*f)(int, int)) { note("glutReshapeFunc", {}, reinterpret_cast<const void *>(f)); }
void glutIdleFunc(void (*f)()) { note("glutIdleFunc", {}, reinterpret_cast<const void *>(f)); }
void glutKeyboardFunc(void (*f)(unsigned char, int, int)) { note("glutKeyboardFunc", {}, reinterpret_cast<const void *>(f)); }
void glutSetCursor(int cursor) { note("glutSetCursor", {double(cursor)}); }
void glutMainLoop() { note("glutMainLoop", {}); }
void glutPostRedisplay() { note("glutPostRedisplay", {}); }
void glutSwapBuffers() { note("glutSwapBuffers", {}); }

int glutGet(GLenum query)
{
    int value = theDoubles.clockNow;
    if (query == GLUT_ELAPSED_TIME && !theDoubles.clockReadings.empty()) {
        value = theDoubles.clockReadings.front();
        theDoubles.clockReadings.pop_front();
        theDoubles.clockNow = value;
    }
    note("glutGet", {double(query), double(value)});
    return value;
}

} // extern "C"

int BASSMOD_Init(int device, uint32_t rate, uint32_t flags)
{
    note("BASSMOD_Init", {double(device), double(rate), double(flags)});
    return theDoubles.initResult;
}

int BASSMOD_MusicLoad(int mem, const void *file, uint32_t offset, uint32_t length, uint32_t flags)
{
    theDoubles.loadedFile = mem ? "" : static_cast<const char *>(file);
    note("BASSMOD_MusicLoad", {double(mem), double(offset), double(length), double(flags)}, file);
    return theDoubles.loadResult;
}

int BASSMOD_MusicPlay() { note("BASSMOD_MusicPlay", {}); return 1; }

uint32_t BASSMOD_MusicGetPosition()
{
    if (!theDoubles.positions.empty()) {
        theDoubles.lastPosition = theDoubles.positions.front();
        theDoubles.positions.pop_front();
    }
    note("BASSMOD_MusicGetPosition", {double(theDoubles.lastPosition)});
    return theDoubles.lastPosition;
}

int BASSMOD_MusicStop() { note("BASSMOD_MusicStop", {}); return 1; }
int BASSMOD_MusicFree() { note("BASSMOD_MusicFree", {}); return 1; }
int BASSMOD_Free() { note("BASSMOD_Free", {}); return 1; }
const char *playerErrorText() { return theDoubles.errorText.c_str(); }
