// The rig's own proof program: enters game mode 640x480, clears every frame to one
// colour and quits on any key, telling on standard output how far it got.
#include <GL/freeglut.h>
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>

// The clear colour, in 0..255 per channel; the rig test looks for it on the screen.
static const int clearColour[] = {51, 153, 204};

static bool reported = false;

static void drawFrame()
{
    glClearColor(clearColour[0] / 255.0f, clearColour[1] / 255.0f, clearColour[2] / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glutSwapBuffers();
    glFinish();
    if (!reported) {
        std::printf("drawn %dx%d\n", glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
        std::fflush(stdout);
        reported = true;
    }
}

// exit leaves game mode through freeglut's exit handler, so the desktop's mode comes back.
static void keyPressed(unsigned char, int, int)
{
    std::printf("key\n");
    std::fflush(stdout);
    std::exit(0);
}

int main(int argc, char **argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
    glutGameModeString("640x480:32");
    if (!glutGameModeGet(GLUT_GAME_MODE_POSSIBLE)) {
        std::printf("game mode not possible\n");
        return 3;
    }
    glutEnterGameMode();
    if (!glutGameModeGet(GLUT_GAME_MODE_ACTIVE)) {
        std::printf("game mode not entered\n");
        return 4;
    }
    std::printf("game mode entered\n");
    std::fflush(stdout);
    glutDisplayFunc(drawFrame);
    glutIdleFunc(glutPostRedisplay);
    glutKeyboardFunc(keyPressed);
    glutMainLoop();
    return 0;
}
