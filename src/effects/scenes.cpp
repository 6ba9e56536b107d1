// The four scene routines; until the effects land each draws a cleared frame.
#include "effects.h"

#include <GL/gl.h>
#include <GL/freeglut.h>

int loadedSceneAssets = 0;
int endPictureLoaded = 99;

static void clearedFrame()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glutSwapBuffers();
}

void sceneOrange(int) { clearedFrame(); }
void sceneBlue(int) { clearedFrame(); }
void sceneGreen(int) { clearedFrame(); }
void sceneEndPicture(int) { clearedFrame(); }
