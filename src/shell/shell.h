// Demo shell: start-up, the GLUT callbacks and the scene timeline that picks the
// current scene from the music's order number.
#pragma once

typedef void (*SceneFn)(int elapsedMs);

struct SceneEntry {
    int startOrder; // music order from which the row is current
    SceneFn run;
};

extern const SceneEntry sceneTable[5];
extern int currentScene;  // row of sceneTable, only ever grows by one
extern int sceneStartMs;  // GLUT clock when the current row became current

// Runs the whole start-up and enters the GLUT main loop; main calls it.
void startDemo(int *argc, char **argv);

void displayFrame();
void reshapeWindow(int width, int height);
void idleRedisplay();
void keyPressed(unsigned char key, int x, int y);
