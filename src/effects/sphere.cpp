// The height-map sphere (placeholder until the effects land).
#include "effects.h"

void sphereVertex(int, int) {}
void wobbleVertex(int, int, float, float, float, float, float, float) {}
void drawHeightMapSphere(int, const SphereStyle &) {}
