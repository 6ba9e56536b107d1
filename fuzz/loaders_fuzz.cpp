// Fuzz target: the texture and height-map loaders on arbitrary file contents, uploading
// through the recording GL. Every input becomes all four files the loaders read.
#include "assets.h"
#include "doubles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The file every input is written to; the other names are hard links to it, so one
// write gives every loader the same bytes.
const char *const writtenName = "cmap.tga";
const char *const linkedNames[] = {"color2.tga", "tesilmap.tga", "tesilmapc.tga"};

void (*const loaders[])() = {loadOrangeTexture, loadBlueTexture, loadGreenTexture,
                             loadEndPicture,    loadHeightMap,   loadHeightMapC};
constexpr int textureLoaderCount = 4; // the first four upload a texture each

[[noreturn]] void harnessFailure(const char *what)
{
    std::perror(what);
    std::abort();
}

void writeInput(const uint8_t *data, size_t size)
{
    const int file = open(writtenName, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0)
        harnessFailure("open cmap.tga for writing");
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(file, data + written, size - written);
        if (n <= 0)
            harnessFailure("write cmap.tga");
        written += static_cast<size_t>(n);
    }
    if (close(file) != 0)
        harnessFailure("close cmap.tga");
}

} // namespace

// Works in a directory of its own, "loaders-work" under the current one, so that the
// fixed file names touch nothing else.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (mkdir("loaders-work", 0755) != 0 && errno != EEXIST)
        harnessFailure("make loaders-work");
    if (chdir("loaders-work") != 0)
        harnessFailure("enter loaders-work");
    writeInput(nullptr, 0);
    for (const char *name : linkedNames) {
        if (unlink(name) != 0 && errno != ENOENT)
            harnessFailure(name);
        if (link(writtenName, name) != 0)
            harnessFailure(name);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    writeInput(data, size);
    // Fresh doubles per input, recording nothing, so memory stays flat over millions of runs.
    resetDoubles();
    doubles().record = false;
    for (void (*load)() : loaders)
        load();
    // Each texture loader uploads exactly one 256x128 image, whatever the file held.
    if (doubles().uploads.size() != textureLoaderCount)
        std::abort();
    for (const std::vector<unsigned char> &upload : doubles().uploads)
        if (upload.size() != 256 * 128 * 3)
            std::abort();
    return 0;
}
