// Music playback: starting the module at start-up, and the shutdown sequence shared
// by the timeline's last row and the keyboard.
#include "music.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>

#include "player.h"
#include "shell.h"

static const char musicFile[] = "marigold.it";
static const uint32_t musicLoadFlags = playerRamp | playerLoop | playerInterpolate; // 261

void startMusic()
{
    if (!BASSMOD_Init(-1, 44100, 0)) {
        fprintf(stderr, "orrery: cannot start the music player: %s\n", playerErrorText());
        exit(1);
    }
    if (!BASSMOD_MusicLoad(0, musicFile, 0, 0, musicLoadFlags)) {
        fprintf(stderr, "orrery: cannot load %s: %s\n", musicFile, playerErrorText());
        BASSMOD_Free();
        exit(1);
    }
    BASSMOD_MusicPlay();
    sceneStartMs = glutGet(GLUT_ELAPSED_TIME);
}

void quitDemo(int)
{
    BASSMOD_MusicStop();
    BASSMOD_MusicFree();
    BASSMOD_Free();
    exit(0);
}
