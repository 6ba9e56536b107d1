// Frame rate of each sphere scene with the real GL in 640x480 game mode, against the same
// scene's captured frame drawn from client vertex arrays, one glDrawArrays per drawing.

// Usage: frame_bench CAPTURE [SECONDS [SCENE]], run in the data directory with DISPLAY set;
// each scene routine runs SECONDS with elapsed times from the GLUT clock, then its capture
// for as long. With SCENE, only that scene is measured.
#include <GL/gl.h>
#include <GL/freeglut.h>
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "effects.h"

namespace {

using Clock = std::chrono::steady_clock;

// One call of a captured frame other than the geometry, or one array draw.
struct ReplayOp {
    std::string name;
    std::vector<double> args;
    GLenum drawMode = 0; // for "draw": always GL_TRIANGLES
    GLint first = 0;
    GLsizei count = 0;
    bool textured = false;
};

// A captured frame: its calls, with every run of glBegin/glEnd blocks turned into
// triangles of one array and drawn by one glDrawArrays.
struct Replay {
    std::string scene;
    int elapsedMs = 0; // the scene's frame that was captured
    std::vector<ReplayOp> ops;
    std::vector<float> xyz;
    std::vector<float> st;
    long immediateVertices = 0;
};

struct Vertex {
    float s, t, x, y, z;
};

void appendTriangles(Replay &replay, GLenum mode, const std::vector<Vertex> &block)
{
    auto push = [&](const Vertex &v) {
        replay.xyz.insert(replay.xyz.end(), {v.x, v.y, v.z});
        replay.st.insert(replay.st.end(), {v.s, v.t});
    };
    const size_t n = block.size();
    if (mode == GL_TRIANGLES) {
        for (size_t k = 0; k + 3 <= n; k += 3)
            for (size_t c = 0; c < 3; c++)
                push(block[k + c]);
    } else if (mode == GL_TRIANGLE_STRIP) {
        // Every other triangle of a strip swaps its first two corners to keep the winding.
        for (size_t k = 0; k + 2 < n; k++) {
            const bool odd = k % 2 == 1;
            push(block[odd ? k + 1 : k]);
            push(block[odd ? k : k + 1]);
            push(block[k + 2]);
        }
    } else if (mode == GL_TRIANGLE_FAN) {
        for (size_t k = 1; k + 1 < n; k++) {
            push(block[0]);
            push(block[k]);
            push(block[k + 1]);
        }
    } else {
        fprintf(stderr, "frame_bench: primitive %u is not drawn from arrays\n", mode);
        exit(1);
    }
}

// Reads the captures of frame_capture.
std::vector<Replay> readCaptures(const char *path)
{
    std::ifstream in(path);
    if (!in) {
        fprintf(stderr, "frame_bench: cannot read %s\n", path);
        exit(1);
    }
    std::vector<Replay> replays;
    std::string line;
    Replay *replay = nullptr;
    bool inBlock = false;
    bool drawOpen = false;
    GLenum mode = 0;
    std::vector<Vertex> block;
    Vertex current{0, 0, 0, 0, 0};
    bool blockTextured = false;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string name;
        words >> name;
        std::vector<double> args;
        for (double a; words >> a;)
            args.push_back(a);
        if (name == "scene") {
            replays.push_back(Replay{});
            replay = &replays.back();
            std::istringstream(line) >> name >> replay->scene >> replay->elapsedMs;
            continue;
        }
        if (!replay || name == "end") {
            replay = nullptr;
            continue;
        }
        if (name == "glBegin") {
            inBlock = true;
            mode = GLenum(args.at(0));
            block.clear();
            blockTextured = false;
            if (!drawOpen) {
                ReplayOp draw;
                draw.name = "draw";
                draw.drawMode = GL_TRIANGLES;
                draw.first = GLint(replay->xyz.size() / 3);
                replay->ops.push_back(draw);
                drawOpen = true;
            }
        } else if (name == "glEnd") {
            inBlock = false;
            appendTriangles(*replay, mode, block);
            ReplayOp &draw = replay->ops.back();
            draw.count = GLsizei(replay->xyz.size() / 3) - draw.first;
            draw.textured = draw.textured || blockTextured;
        } else if (name == "glVertex3f") {
            current.x = float(args.at(0));
            current.y = float(args.at(1));
            current.z = float(args.at(2));
            block.push_back(current);
            replay->immediateVertices++;
        } else if (name == "glTexCoord2f") {
            current.s = float(args.at(0));
            current.t = float(args.at(1));
            blockTextured = true;
        } else {
            // A state call: inside a block (the field's colour) it goes before the draw.
            ReplayOp op;
            op.name = name;
            op.args = args;
            if (inBlock) {
                if (!block.empty() || replay->ops.back().count != 0) {
                    fprintf(stderr, "frame_bench: %s amid a drawing's vertices\n", name.c_str());
                    exit(1);
                }
                replay->ops.insert(replay->ops.end() - 1, op);
            }
            else {
                replay->ops.push_back(op);
                drawOpen = false;
            }
        }
    }
    return replays;
}

float f(const ReplayOp &op, size_t k) { return float(op.args.at(k)); }
GLenum e(const ReplayOp &op, size_t k) { return GLenum(op.args.at(k)); }

void replayFrame(const Replay &replay)
{
    for (const ReplayOp &op : replay.ops) {
        const std::string &n = op.name;
        if (n == "draw") {
            glEnableClientState(GL_VERTEX_ARRAY);
            glVertexPointer(3, GL_FLOAT, 0, replay.xyz.data());
            if (op.textured) {
                glEnableClientState(GL_TEXTURE_COORD_ARRAY);
                glTexCoordPointer(2, GL_FLOAT, 0, replay.st.data());
            } else {
                glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            }
            glDrawArrays(op.drawMode, op.first, op.count);
        } else if (n == "glMatrixMode") {
            glMatrixMode(e(op, 0));
        } else if (n == "glClear") {
            glClear(GLbitfield(op.args.at(0)));
        } else if (n == "glEnable") {
            glEnable(e(op, 0));
        } else if (n == "glDisable") {
            glDisable(e(op, 0));
        } else if (n == "glBlendFunc") {
            glBlendFunc(e(op, 0), e(op, 1));
        } else if (n == "glLoadIdentity") {
            glLoadIdentity();
        } else if (n == "glScalef") {
            glScalef(f(op, 0), f(op, 1), f(op, 2));
        } else if (n == "glRotatef") {
            glRotatef(f(op, 0), f(op, 1), f(op, 2), f(op, 3));
        } else if (n == "glColor4f") {
            glColor4f(f(op, 0), f(op, 1), f(op, 2), f(op, 3));
        } else if (n == "glutSwapBuffers") {
            glutSwapBuffers();
        } else {
            fprintf(stderr, "frame_bench: no replay for %s\n", n.c_str());
            exit(1);
        }
    }
}

struct SceneRoutine {
    const char *name;
    void (*scene)(int);
};

const SceneRoutine sceneRoutines[] = {
    {"orange", sceneOrange}, {"blue", sceneBlue}, {"green", sceneGreen}};

// One measured run: a scene routine with the clock's elapsed times; the routine drawing
// the captured frame's elapsed time every frame ("fixed": the same frame as the arrays);
// a captured frame drawn from arrays; or (neither) a frame that only clears and swaps:
// what every frame costs before it draws anything.
struct Phase {
    const SceneRoutine *routine;
    const Replay *replay;
    bool fixed = false;
};

void clearFrame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glutSwapBuffers();
}

// CPU time of each of the process's threads so far (ns, from the scheduler), by thread id,
// with the thread's name: the main thread, llvmpipe's rasteriser threads, SDL's, others.
struct ThreadTime {
    std::string name;
    long long ns = 0;
};

std::map<int, ThreadTime> threadTimes()
{
    std::map<int, ThreadTime> times;
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return times;
    while (const dirent *entry = readdir(tasks)) {
        const int tid = atoi(entry->d_name);
        if (tid <= 0)
            continue;
        const std::string dir = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream stat(dir + "/schedstat");
        std::ifstream comm(dir + "/comm");
        ThreadTime t;
        if (stat >> t.ns && std::getline(comm, t.name))
            times[tid] = t;
    }
    closedir(tasks);
    return times;
}

std::vector<Replay> replays;
std::vector<Phase> phases;
size_t phaseIndex = 0;
double phaseSeconds = 5.0;

// The phase under way: frame ends, measured from the end of its first frame.
struct Run {
    bool started = false;
    int startMs = 0;
    Clock::time_point begin;
    Clock::time_point firstEnd;
    Clock::time_point lastEnd;
    double firstFrameMs = 0;
    std::vector<double> intervalsMs;
    rusage usageAtFirst{};
    std::map<int, ThreadTime> threadsAtFirst;
} run;

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

double cpuSeconds(const rusage &u)
{
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double percentile(const std::vector<double> &sorted, double p)
{
    const double at = p * double(sorted.size() - 1);
    const size_t low = size_t(at);
    const size_t high = std::min(low + 1, sorted.size() - 1);
    return sorted[low] + (sorted[high] - sorted[low]) * (at - double(low));
}

// One line per phase: frame times as frames per second (a frame is the interval from
// one swap's return to the next's), and the cores kept busy meanwhile.
void reportPhase(const Phase &phase)
{
    std::vector<double> sorted = run.intervalsMs;
    std::sort(sorted.begin(), sorted.end());
    rusage now{};
    getrusage(RUSAGE_SELF, &now);
    const double wall = msBetween(run.firstEnd, run.lastEnd) / 1000.0;
    const double cores = (cpuSeconds(now) - cpuSeconds(run.usageAtFirst)) / wall;
    const char *name = phase.routine  ? phase.routine->name
                       : phase.replay ? phase.replay->scene.c_str()
                                      : "none";
    const char *draw = phase.fixed     ? "fixed"
                       : phase.routine ? "immediate"
                       : phase.replay  ? "arrays"
                                       : "clear";
    // CPU per frame of the main thread and of llvmpipe's rasteriser threads together: on an
    // idle machine a frame lasts about main + raster / 2 on two cores, since the swap waits
    // for the rasterisers and they wait for the frame's geometry.
    double mainNs = 0, rasterNs = 0;
    for (const auto &[tid, now] : threadTimes()) {
        const auto before = run.threadsAtFirst.find(tid);
        const double spent = double(now.ns - (before == run.threadsAtFirst.end() ? 0 : before->second.ns));
        if (tid == getpid())
            mainNs += spent;
        else if (now.name.rfind("llvmpipe", 0) == 0)
            rasterNs += spent;
    }
    const double frames = double(run.intervalsMs.size());
    printf("frames scene=%s draw=%s frames=%zu seconds=%.2f min_fps=%.1f p1_fps=%.1f "
           "p5_fps=%.1f median_fps=%.1f max_fps=%.1f median_ms=%.2f max_ms=%.2f "
           "first_frame_ms=%.1f cores=%.2f main_cpu_ms=%.2f raster_cpu_ms=%.2f\n",
           name, draw, sorted.size(), wall,
           1000.0 / sorted.back(), 1000.0 / percentile(sorted, 0.99),
           1000.0 / percentile(sorted, 0.95), 1000.0 / percentile(sorted, 0.5),
           1000.0 / sorted.front(), percentile(sorted, 0.5), sorted.back(), run.firstFrameMs,
           cores, mainNs / frames / 1e6, rasterNs / frames / 1e6);
    fflush(stdout);
}

void drawFrame()
{
    const Phase &phase = phases[phaseIndex];
    if (!run.started) {
        run.started = true;
        run.begin = Clock::now();
        run.startMs = glutGet(GLUT_ELAPSED_TIME);
    }
    if (phase.fixed)
        phase.routine->scene(phase.replay->elapsedMs);
    else if (phase.routine)
        phase.routine->scene(glutGet(GLUT_ELAPSED_TIME) - run.startMs);
    else if (phase.replay)
        replayFrame(*phase.replay);
    else
        clearFrame();
    const Clock::time_point end = Clock::now();
    if (run.intervalsMs.empty() && run.firstEnd == Clock::time_point{}) {
        // The first frame loads the scene's assets: reported apart, not counted.
        run.firstFrameMs = msBetween(run.begin, end);
        run.firstEnd = end;
        getrusage(RUSAGE_SELF, &run.usageAtFirst);
        run.threadsAtFirst = threadTimes();
    } else {
        run.intervalsMs.push_back(msBetween(run.lastEnd, end));
    }
    run.lastEnd = end;
    if (msBetween(run.firstEnd, end) >= phaseSeconds * 1000.0) {
        reportPhase(phase);
        run = Run{};
        if (++phaseIndex == phases.size())
            exit(0); // leaves game mode through freeglut's exit handler
    }
}

void idle() { glutPostRedisplay(); }

// As the demo's own reshape: the 640x480 view at the window's top left.
void reshape(int, int height) { glViewport(0, height - 480, 640, 480); }

} // namespace

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: frame_bench CAPTURE [SECONDS [SCENE]]\n");
        return 2;
    }
    if (argc > 2)
        phaseSeconds = atof(argv[2]);
    replays = readCaptures(argv[1]);
    const std::string only = argc > 3 ? argv[3] : "";
    for (const SceneRoutine &routine : sceneRoutines) {
        if (!only.empty() && only != routine.name)
            continue;
        const Replay *replay = nullptr;
        for (const Replay &r : replays)
            if (r.scene == routine.name)
                replay = &r;
        if (!replay) {
            fprintf(stderr, "frame_bench: no capture of %s in %s\n", routine.name, argv[1]);
            return 1;
        }
        // The arrays follow their scene, whose texture is still bound.
        phases.push_back({&routine, nullptr, false});
        phases.push_back({&routine, replay, true});
        phases.push_back({nullptr, replay, false});
    }
    phases.push_back({nullptr, nullptr, false});
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutGameModeString("640x480:32");
    if (!glutGameModeGet(GLUT_GAME_MODE_POSSIBLE) || !glutEnterGameMode() ||
        !glutGameModeGet(GLUT_GAME_MODE_ACTIVE)) {
        fprintf(stderr, "frame_bench: no 640x480 game mode on this display\n");
        return 1;
    }
    glutDisplayFunc(drawFrame);
    glutReshapeFunc(reshape);
    glutIdleFunc(idle);
    glutSetCursor(GLUT_CURSOR_NONE);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    printf("renderer %s | %s | %s\n", reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
           reinterpret_cast<const char *>(glGetString(GL_VERSION)),
           reinterpret_cast<const char *>(glGetString(GL_VENDOR)));
    for (const Replay &r : replays)
        printf("capture scene=%s immediate_vertices=%ld array_vertices=%zu\n", r.scene.c_str(),
               r.immediateVertices, r.xyz.size() / 3);
    fflush(stdout);
    glutMainLoop();
    return 0;
}
