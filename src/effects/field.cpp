// The background triangle field: rays of small translucent triangles that turn
// clockwise as a whole while each triangle spins about its centre, and its three rows.
#include "effects.h"

#include <GL/gl.h>

#include <cmath>

// Colours are the floats nearest the decimals; offsets and spacings the doubles nearest.
const TriangleFieldParams orangeField = {{1.0f, 0.7f, 0.1f, 0.2f}, 2.1, 0.05, 201, 200};
const TriangleFieldParams blueField = {{0.1f, 0.7f, 1.0f, 0.2f}, 2.8, 0.09, 401, 100};
const TriangleFieldParams greenField = {{0.1f, 0.9f, 0.1f, 0.2f}, 2.8, 0.01, 71, 300};

static const double timeFactor = 0.003;  // T per millisecond
static const double turnFactor = 0.25;   // ray angle per unit of T, radians
static const double spinFactor = 0.1;    // spin angle per ray index and unit of T, radians
static const double cornerRadius = 0.03; // field units from a triangle's centre

// Field units to device coordinates: x shrinks to suit the 4:3 view.
static const float fieldScale[3] = {0.75f, 1.0f, 1.0f};

// Angles run from +y towards +x, so growing angles turn clockwise on screen.
void drawTriangleField(int elapsedMs, const TriangleFieldParams &params)
{
    const float time = float(elapsedMs * timeFactor); // every use reads the float
    const double turn = time * turnFactor;

    glLoadIdentity();
    glScalef(fieldScale[0], fieldScale[1], fieldScale[2]);
    glBegin(GL_TRIANGLES);
    glColor4f(params.color[0], params.color[1], params.color[2], params.color[3]);
    for (int ray = 1; ray <= params.rayCount; ray++) {
        // Eight sines and cosines per ray; the triangles of a ray share them.
        const double spin = (ray * double(time)) * spinFactor;
        const double corners[3][2] = {
            {std::sin(spin) * cornerRadius, std::cos(spin) * cornerRadius},
            {std::sin(spin + params.cornerOffset) * cornerRadius,
             std::cos(spin + params.cornerOffset) * cornerRadius},
            {std::sin(spin - params.cornerOffset) * cornerRadius,
             std::cos(spin - params.cornerOffset) * cornerRadius},
        };
        const double rayAngle = ray + turn;
        const double sinRay = std::sin(rayAngle);
        const double cosRay = std::cos(rayAngle);
        // The three corners spelled out, so that the loop's only branches are the calls.
        const double spacing = params.spacing;
        const int trianglesPerRay = params.trianglesPerRay;
        for (int position = 1; position <= trianglesPerRay; position++) {
            const double centreX = (position * sinRay) * spacing;
            const double centreY = (position * cosRay) * spacing;
            glVertex3f(float(centreX + corners[0][0]), float(centreY + corners[0][1]), 0.0f);
            glVertex3f(float(centreX + corners[1][0]), float(centreY + corners[1][1]), 0.0f);
            glVertex3f(float(centreX + corners[2][0]), float(centreY + corners[2][1]), 0.0f);
        }
    }
    glEnd();
}
