// Start-up of the demo and the three small GLUT callbacks around the frame:
// reshape, idle and keyboard.
#include "shell.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/freeglut.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "assets.h"
#include "music.h"

static const char noModeMessage[] =
    "To run this you must be able to run 640x480 16bit mode\n(in other words your computer sucks)\n";

// Set by the handler of the stop signals; the next idle call runs the shutdown
// sequence, because the desktop mode comes back only through exit (freeglut leaves
// game mode in its exit handler, and nothing of it runs on a signal).
static volatile sig_atomic_t stopRequested = 0;

static const int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

static void stopSignalled(int) { stopRequested = 1; }

static void catchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = stopSignalled;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : stopSignals)
        sigaction(signalNumber, &action, nullptr);
}

// No 640x480 full-screen mode: say so once and end before anything is drawn.
static void noFullScreenMode()
{
    fputs(noModeMessage, stdout);
    fflush(stdout);
    exit(1);
}

// freeglut answers the mode string's own width even when no mode matches it, so
// the switch is also asked whether it is possible and whether it happened.
static void enterFullScreen()
{
    if (glutGameModeGet(GLUT_GAME_MODE_WIDTH) == -1 || !glutGameModeGet(GLUT_GAME_MODE_POSSIBLE))
        noFullScreenMode();
    glutEnterGameMode();
    if (!glutGameModeGet(GLUT_GAME_MODE_ACTIVE))
        noFullScreenMode();
}

void reshapeWindow(int, int height)
{
    // The switched screen shows the window's top-left 640x480, whatever the window's
    // size: for a 640x480 window this is the origin.
    glViewport(0, height - 480, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(60.0, 1.3333333333333333, 0.1, 300.0);
    glMatrixMode(GL_MODELVIEW);
}

void idleRedisplay()
{
    if (stopRequested)
        quitDemo(0);
    glutPostRedisplay();
}

void keyPressed(unsigned char, int, int) { quitDemo(0); }

void startDemo(int *argc, char **argv)
{
    catchStopSignals();
    glutInit(argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutGameModeString("640x480:32");
    enterFullScreen();
    glutDisplayFunc(displayFrame);
    glutReshapeFunc(reshapeWindow);
    glutIdleFunc(idleRedisplay);
    glutKeyboardFunc(keyPressed);
    glutSetCursor(GLUT_CURSOR_NONE);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    loadOrangeTexture();
    loadHeightMap();
    startMusic();
    glutMainLoop();
}
