// The height-map sphere: a 64 x 32 grid of height-map radii, turning about a diagonal
// axis and, in two styles, pulsing and rippling; its two vertex routines and three styles.
#include "effects.h"

#include <GL/gl.h>

#include <cmath>

#include "assets.h"

const SphereStyle orangeSphere = {false, 7.0f, 3.0f, 31.0, 13.0, 0.0f, 0.0f};
const SphereStyle blueSphere = {true, 7.0f, 3.0f, 3.1, 1.3, 0.2f, 0.2f};
const SphereStyle greenSphere = {true, 17.0f, 13.0f, 3.1, 1.3, 0.2f, 0.2f};

// Decimals of their own standing for pi/64, a slightly smaller pi/64 and twice it.
static const double gridStep = 0.0490873859375;     // radians per half column or row
static const double columnWaveStep = 0.049087385625; // column term of the wobble
static const double rowWaveStep = 0.09817477125;     // row term of the wobble
static const double vertexScale = -0.00390625;       // -1/256: heights to units, mirrored

static const double timeFactor = 0.003; // T per millisecond, as for the field
static const double turnRate = 0.1;     // degrees per millisecond
static const double pulseDepth = 0.2;   // the pulse swings the size by this fraction
static const float baseScale[3] = {0.375f, 0.5f, 0.5f};
static const float turnAxis[3] = {1.0f, 1.0f, 1.0f};

// The drawn grid: columns 0..64 (the last one closes the seam) and rows 0..31.
enum { gridColumns = 65, gridRows = 32 };

// Sines and cosines of every drawn column's longitude and row's polar angle; the
// same in every frame, so they are taken once when the program starts.
struct GridTrigonometry {
    double sinPhi[gridColumns], cosPhi[gridColumns];
    double sinTheta[gridRows], cosTheta[gridRows];
};

static GridTrigonometry gridTrigonometry()
{
    GridTrigonometry trig;
    for (int a = 0; a < gridColumns; a++) {
        trig.sinPhi[a] = std::sin((2 * a) * gridStep);
        trig.cosPhi[a] = std::cos((2 * a) * gridStep);
    }
    for (int b = 0; b < gridRows; b++) {
        trig.sinTheta[b] = std::sin((2 * b) * gridStep);
        trig.cosTheta[b] = std::cos((2 * b) * gridStep);
    }
    return trig;
}

static const GridTrigonometry gridTrig = gridTrigonometry();

// One grid point, ready to emit.
struct GridVertex {
    float s, t;
    float x, y, z;
};

// Grid point (column, row) at its height-map radius times `wobble`. The products run
// left to right, -W * r * sin(theta) * sin(phi) / 256 and so on; W * r is exact, and
// the scale is a power of two, so it may stand last.
static GridVertex gridVertex(int column, int row, double wobble, double sinTheta,
                             double cosTheta, double sinPhi, double cosPhi)
{
    const double radius = heightMap[(row & 31) * 64 + (column & 63)];
    const double scaled = wobble * radius;
    const double across = scaled * sinTheta;
    return {float(column * 0.015625), float(row * 0.03125), float(across * sinPhi * vertexScale),
            float(scaled * cosTheta * vertexScale), float(across * cosPhi * vertexScale)};
}

static void emitVertex(const GridVertex &v)
{
    glTexCoord2f(v.s, v.t);
    glVertex3f(v.x, v.y, v.z);
}

static GridVertex anyGridVertex(int column, int row, double wobble)
{
    const double phi = (2 * column) * gridStep;
    const double theta = (2 * row) * gridStep;
    return gridVertex(column, row, wobble, std::sin(theta), std::cos(theta), std::sin(phi),
                      std::cos(phi));
}

// The row term and the column term of the wobble factor, each in double precision.
static double rowTerm(int row, float rowWaves, float rowShift, float rowAmplitude)
{
    return rowAmplitude * std::sin((row + double(rowShift)) * (2.0 * rowWaves) * rowWaveStep);
}

static double columnTerm(int column, float columnWaves, float columnShift,
                         float columnAmplitude)
{
    return columnAmplitude *
           std::sin((column + double(columnShift)) * (2.0 * columnWaves) * columnWaveStep);
}

// W as the float nearest (row term + column term) + 1.
static float wobbleFactor(double row, double column) { return float(row + column + 1.0); }

void sphereVertex(int column, int row) { emitVertex(anyGridVertex(column, row, 1.0)); }

void wobbleVertex(int column, int row, float columnWaves, float rowWaves, float columnShift,
                  float rowShift, float columnAmplitude, float rowAmplitude)
{
    const float wobble =
        wobbleFactor(rowTerm(row, rowWaves, rowShift, rowAmplitude),
                     columnTerm(column, columnWaves, columnShift, columnAmplitude));
    emitVertex(anyGridVertex(column, row, wobble));
}

// One ring of the grid at the wobbled radius: W splits into a term per row and a term
// per column, so a frame needs 65 + 32 wobble sines instead of two per vertex.
static void wobbledRing(int row, double rowPart, const double columnParts[],
                        GridVertex ring[])
{
    for (int a = 0; a < gridColumns; a++)
        ring[a] = gridVertex(a, row, wobbleFactor(rowPart, columnParts[a]),
                             gridTrig.sinTheta[row], gridTrig.cosTheta[row], gridTrig.sinPhi[a],
                             gridTrig.cosPhi[a]);
}

static void poleFan(int row)
{
    glBegin(GL_TRIANGLE_FAN);
    for (int a = 0; a < gridColumns; a++)
        emitVertex(gridVertex(a, row, 1.0, gridTrig.sinTheta[row], gridTrig.cosTheta[row],
                              gridTrig.sinPhi[a], gridTrig.cosPhi[a]));
    glEnd();
}

// Emits exactly the calls of wobbleVertex for (a, b), (a, b + 1) over each strip and
// sphereVertex over each end, with each ring computed once and used by both its strips.
void drawHeightMapSphere(int elapsedMs, const SphereStyle &style)
{
    const float time = float(elapsedMs * timeFactor); // every use reads the float

    glLoadIdentity();
    glScalef(baseScale[0], baseScale[1], baseScale[2]);
    glRotatef(float(elapsedMs * turnRate), turnAxis[0], turnAxis[1], turnAxis[2]);
    if (style.pulse) {
        const float pulse = float(1.0 + pulseDepth * std::sin(double(time)));
        glScalef(pulse, pulse, pulse);
    }
    glEnable(GL_TEXTURE_2D);

    const float columnShift = float(time * style.columnDrift);
    const float rowShift = float(time * style.rowDrift);
    double columnParts[gridColumns];
    for (int a = 0; a < gridColumns; a++)
        columnParts[a] = columnTerm(a, style.columnWaves, columnShift, style.columnAmplitude);

    GridVertex rings[2][gridColumns];
    wobbledRing(0, rowTerm(0, style.rowWaves, rowShift, style.rowAmplitude), columnParts,
                rings[0]);
    for (int b = 0; b + 1 < gridRows; b++) {
        const GridVertex *lower = rings[b % 2];
        GridVertex *upper = rings[(b + 1) % 2];
        wobbledRing(b + 1, rowTerm(b + 1, style.rowWaves, rowShift, style.rowAmplitude),
                    columnParts, upper);
        glBegin(GL_TRIANGLE_STRIP);
        for (int a = 0; a < gridColumns; a++) {
            emitVertex(lower[a]);
            emitVertex(upper[a]);
        }
        glEnd();
    }
    poleFan(0);
    poleFan(gridRows - 1);
}
