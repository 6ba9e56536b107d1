// Per-frame CPU time of the scenes and of their two drawings, with the GL calls going
// to a null GL that does nothing; and the sphere drawn vertex by vertex, as the cost
// the ring and trigonometry tables save.
#include <benchmark/benchmark.h>

#include <cstddef>

#include "assets.h"
#include "effects.h"
#include "null_gl.h"

namespace {

void nullSink()
{
    nullGlCalls = 0;
    for (size_t k = 0; k < sizeof heightMap; k++)
        heightMap[k] = (unsigned char)(k * 37 + 11);
}

// Elapsed times walk through a minute so that no frame repeats the one before it.
int frameTime(int frame) { return (frame * 16) % 60000; }

struct SceneRow {
    void (*scene)(int);
    int assets; // loadedSceneAssets value that skips the loads
};

const SceneRow sceneRows[] = {{sceneOrange, 1}, {sceneBlue, 2}, {sceneGreen, 3}};

void sphereScene(benchmark::State &state)
{
    nullSink();
    const SceneRow &row = sceneRows[state.range(0)];
    loadedSceneAssets = row.assets;
    // One frame counted before the timing, which runs with counting off.
    nullGlCounting = true;
    row.scene(0);
    nullGlCounting = false;
    state.counters["calls/frame"] = double(nullGlCalls);
    int frame = 0;
    for (auto _ : state)
        row.scene(frameTime(frame++));
}
BENCHMARK(sphereScene)->ArgName("scene")->DenseRange(0, 2);

void endPicture(benchmark::State &state)
{
    nullSink();
    endPictureLoaded = 4;
    int frame = 0;
    for (auto _ : state)
        sceneEndPicture(frameTime(frame++));
}
BENCHMARK(endPicture);

const TriangleFieldParams *const fieldRows[] = {&orangeField, &blueField, &greenField};
const SphereStyle *const sphereRows[] = {&orangeSphere, &blueSphere, &greenSphere};

void triangleField(benchmark::State &state)
{
    nullSink();
    int frame = 0;
    for (auto _ : state)
        drawTriangleField(frameTime(frame++), *fieldRows[state.range(0)]);
}
BENCHMARK(triangleField)->ArgName("row")->DenseRange(0, 2);

void sphere(benchmark::State &state)
{
    nullSink();
    int frame = 0;
    for (auto _ : state)
        drawHeightMapSphere(frameTime(frame++), *sphereRows[state.range(0)]);
}
BENCHMARK(sphere)->ArgName("style")->DenseRange(0, 2);

// The same sphere through the public vertex routines one call at a time: every
// vertex's sines and cosines and wobble factor afresh and each inner ring twice.
void vertexByVertexSphere(int elapsedMs, const SphereStyle &style)
{
    const float time = float(elapsedMs * 0.003);
    const float columnShift = float(time * style.columnDrift);
    const float rowShift = float(time * style.rowDrift);
    for (int b = 0; b <= 30; b++)
        for (int a = 0; a <= 64; a++)
            for (int row : {b, b + 1})
                wobbleVertex(a, row, style.columnWaves, style.rowWaves, columnShift, rowShift,
                             style.columnAmplitude, style.rowAmplitude);
    for (int row : {0, 31})
        for (int a = 0; a <= 64; a++)
            sphereVertex(a, row);
}

void sphereVertexByVertex(benchmark::State &state)
{
    nullSink();
    int frame = 0;
    for (auto _ : state)
        vertexByVertexSphere(frameTime(frame++), *sphereRows[state.range(0)]);
}
BENCHMARK(sphereVertexByVertex)->ArgName("style")->DenseRange(0, 2);

} // namespace
