// Texture loaders: a 256x128 image of 3-byte pixels read from behind a fixed-length
// header, each pixel's bytes reordered into red, green, blue, uploaded to a new texture.
#include "assets.h"

#include <GL/gl.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

static const int imageWidth = 256;
static const int imageHeight = 128;
static const int imageBytes = imageWidth * imageHeight * 3; // 98304

// One reordering pass: in every pixel, the bytes at these two positions change places.
struct BytePass {
    int first;
    int second;
};

struct ImageFile {
    const char *name;
    int headerLength;
    BytePass passes[2];
    int passCount;
};

static const ImageFile orangeImage = {"cmap.tga", 44, {{1, 2}}, 1};
static const ImageFile blueImage = {"cmap.tga", 44, {{2, 1}, {2, 0}}, 2};
static const ImageFile greenImage = {"cmap.tga", 44, {{2, 1}, {1, 0}}, 2};
static const ImageFile endImage = {"color2.tga", 18, {{0, 2}}, 1};

void swapBytes(unsigned char *a, unsigned char *b)
{
    unsigned char kept = *a;
    *a = *b;
    *b = kept;
}

// The reads are not checked: a missing or short file leaves the rest of the buffer
// as it was, which is zeros, so the upload never carries stale heap memory.
static void loadTexture(const ImageFile &image)
{
    GLuint name;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);

    // Non-blocking, so that a named pipe without a writer reads as empty instead of
    // waiting for one; regular files read as usual.
    int file = open(image.name, O_RDONLY | O_NONBLOCK);
    unsigned char *pixels = static_cast<unsigned char *>(calloc(imageBytes, 1));
    if (!pixels) {
        fprintf(stderr, "orrery: no memory for the image of %s\n", image.name);
        exit(1);
    }
    [[maybe_unused]] ssize_t headerRead = read(file, pixels, image.headerLength);
    [[maybe_unused]] ssize_t pixelsRead = read(file, pixels, imageBytes);

    for (int p = 0; p < image.passCount; p++)
        for (int at = 0; at < imageBytes; at += 3)
            swapBytes(pixels + at + image.passes[p].first, pixels + at + image.passes[p].second);

    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, imageWidth, imageHeight, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 pixels);
    free(pixels);
    close(file);
}

void loadOrangeTexture() { loadTexture(orangeImage); }
void loadBlueTexture() { loadTexture(blueImage); }
void loadGreenTexture() { loadTexture(greenImage); }
void loadEndPicture() { loadTexture(endImage); }
