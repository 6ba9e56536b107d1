// The scene timeline: each frame, the music's order number picks the current row of
// sceneTable, and that row's scene draws with the milliseconds since it began.
#include "shell.h"

#include <GL/freeglut.h>

#include <cstdint>

#include "effects.h"
#include "music.h"
#include "player.h"

const SceneEntry sceneTable[5] = {
    {0, sceneOrange},      // from the first frame
    {4, sceneBlue},
    {10, sceneGreen},
    {14, sceneEndPicture},
    {17, quitDemo},        // ends the process: no row is read past this one
};

int currentScene = 0;
int sceneStartMs = 0;

void displayFrame()
{
    uint32_t order = BASSMOD_MusicGetPosition() & 0xFFFF;
    if (order >= uint32_t(sceneTable[currentScene + 1].startOrder)) {
        currentScene++;
        sceneStartMs = glutGet(GLUT_ELAPSED_TIME);
    }
    // Differences of the millisecond clock wrap like the 32-bit values they are.
    int elapsed = int(uint32_t(glutGet(GLUT_ELAPSED_TIME)) - uint32_t(sceneStartMs));
    sceneTable[currentScene].run(elapsed);
}
