// Records one frame of each sphere scene through the recording doubles and writes its
// calls as text, one call a line, for frame_bench to draw again from vertex arrays.
// Usage: frame_capture OUTPUT ELAPSED_MS, run in the directory holding the data files.
#include <cstdio>
#include <cstdlib>

#include "doubles.h"
#include "effects.h"

namespace {

struct CapturedScene {
    const char *name;
    void (*scene)(int);
};

const CapturedScene capturedScenes[] = {
    {"orange", sceneOrange}, {"blue", sceneBlue}, {"green", sceneGreen}};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: frame_capture OUTPUT ELAPSED_MS\n");
        return 2;
    }
    const int elapsedMs = atoi(argv[2]);
    FILE *out = fopen(argv[1], "w");
    if (!out) {
        perror(argv[1]);
        return 1;
    }
    for (const CapturedScene &captured : capturedScenes) {
        // The first frame loads the scene's height map and texture; the second is the
        // plain frame that every later one repeats.
        resetDoubles();
        captured.scene(0);
        resetDoubles();
        captured.scene(elapsedMs);
        fprintf(out, "scene %s %d\n", captured.name, elapsedMs);
        for (const GlCall &call : doubles().calls) {
            fputs(call.name, out);
            // Floats and enums are exact in a double; nine digits give a float back.
            for (int k = 0; k < call.argCount; k++)
                fprintf(out, " %.9g", call.args[k]);
            fputc('\n', out);
        }
        fputs("end\n", out);
    }
    if (fclose(out) != 0) {
        perror(argv[1]);
        return 1;
    }
    return 0;
}
