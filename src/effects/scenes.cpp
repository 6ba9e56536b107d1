// The four scene routines: three sphere scenes sharing one frame over the triangle
// field, and the full-screen end picture. Each loads its assets in its first frame.
#include "effects.h"

#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/freeglut.h>

#include "assets.h"

int loadedSceneAssets = 0;
int endPictureLoaded = 99;

// What tells the sphere scenes apart; every other step of their frame is shared.
struct SphereScene {
    int number;                         // loadedSceneAssets once its assets are in
    void (*loadHeights)();
    void (*loadTexture)();              // leaves its new texture bound
    void (*blendingAfterField)(GLenum); // glDisable, or glEnable to add the sphere on
    const TriangleFieldParams *field;
    const SphereStyle *sphere;
};

static const SphereScene sphereScenes[] = {
    {1, loadHeightMapC, loadOrangeTexture, glDisable, &orangeField, &orangeSphere},
    {2, loadHeightMapC, loadBlueTexture, glDisable, &blueField, &blueSphere},
    {3, loadHeightMap, loadGreenTexture, glEnable, &greenField, &greenSphere},
};

// Everything is drawn through the projection matrix; the modelview stays the identity.
static void sphereSceneFrame(const SphereScene &scene, int elapsedMs)
{
    glMatrixMode(GL_PROJECTION);
    if (loadedSceneAssets != scene.number) {
        scene.loadHeights();
        scene.loadTexture();
        loadedSceneAssets = scene.number;
    }
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The field adds up its translucent triangles and leaves the depth buffer clear.
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
    drawTriangleField(elapsedMs, *scene.field);
    scene.blendingAfterField(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f); // white: the texels show unchanged
    drawHeightMapSphere(elapsedMs, *scene.sphere);
    glutSwapBuffers();
}

void sceneOrange(int elapsedMs) { sphereSceneFrame(sphereScenes[0], elapsedMs); }
void sceneBlue(int elapsedMs) { sphereSceneFrame(sphereScenes[1], elapsedMs); }
void sceneGreen(int elapsedMs) { sphereSceneFrame(sphereScenes[2], elapsedMs); }

// The picture's quad in the plane z = -1.3, which a 60-degree view at 4:3 just fills;
// t = 0, the image's first row, at the top.
struct PictureCorner {
    float s, t;
    float x, y, z;
};

static const PictureCorner pictureQuad[] = {
    {0.0f, 1.0f, -1.0f, -0.75f, -1.3f}, // bottom left
    {1.0f, 1.0f, 1.0f, -0.75f, -1.3f},  // bottom right
    {1.0f, 0.0f, 1.0f, 0.75f, -1.3f},   // top right
    {0.0f, 0.0f, -1.0f, 0.75f, -1.3f},  // top left
};

static const int endPictureReady = 4;

// The picture does not move, so the elapsed time is not needed.
void sceneEndPicture(int)
{
    if (endPictureLoaded != endPictureReady) {
        loadEndPicture();
        endPictureLoaded = endPictureReady;
    }
    glDisable(GL_BLEND); // the green scene leaves blending on
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(60.0, 1.3333333333333333, 1.0, 300.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_QUADS);
    for (const PictureCorner &corner : pictureQuad) {
        glTexCoord2f(corner.s, corner.t);
        glVertex3f(corner.x, corner.y, corner.z);
    }
    glEnd();
    glutSwapBuffers();
}
