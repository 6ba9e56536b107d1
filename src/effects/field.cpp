// The background triangle field (placeholder until the effects land).
#include "effects.h"

void drawTriangleField(int, const TriangleFieldParams &) {}
