// Effects: the background triangle field, the height-map sphere, the three sphere
// scenes and the end picture. Every scene draws a whole frame and swaps the buffers.
#pragma once

struct TriangleFieldParams {
    float color[4];      // red, green, blue, alpha of every triangle
    double cornerOffset; // radians from the first corner to the second and third
    double spacing;      // field units between centres on one ray
    int rayCount;        // rays 1..rayCount
    int trianglesPerRay; // positions 1..trianglesPerRay
};

struct SphereStyle {
    bool pulse;
    float columnWaves;
    float rowWaves;
    double columnDrift;
    double rowDrift;
    float columnAmplitude;
    float rowAmplitude;
};

extern const TriangleFieldParams orangeField, blueField, greenField;
extern const SphereStyle orangeSphere, blueSphere, greenSphere;

void drawTriangleField(int elapsedMs, const TriangleFieldParams &params);

void sphereVertex(int column, int row);
void wobbleVertex(int column, int row, float columnWaves, float rowWaves, float columnShift,
                  float rowShift, float columnAmplitude, float rowAmplitude);
void drawHeightMapSphere(int elapsedMs, const SphereStyle &style);

// Number (1, 2, 3) of the sphere scene whose assets were loaded last; 0 at start.
extern int loadedSceneAssets;
// 4 once the end picture is loaded; 99 at start.
extern int endPictureLoaded;

void sceneOrange(int elapsedMs);
void sceneBlue(int elapsedMs);
void sceneGreen(int elapsedMs);
void sceneEndPicture(int elapsedMs);
