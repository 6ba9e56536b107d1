// Helpers for the effects tests: reading the geometry out of recorded frames, the
// transforms that the recorded matrix calls make, and a scratch working directory.
#pragma once
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "doubles.h"

namespace frames {

struct Vec3 {
    double x, y, z;
};

// One textured vertex as sent: the texture coordinate before it, then the vertex.
struct TexturedVertex {
    float s, t;
    float x, y, z;
};

// The calls between the n-th glBegin(mode) of the log and its glEnd.
inline std::vector<GlCall> primitive(GLenum mode, int n = 0)
{
    const std::vector<GlCall> &calls = doubles().calls;
    int skip = n;
    for (size_t i = 0; i < calls.size(); i++) {
        if (std::strcmp(calls[i].name, "glBegin") != 0 || calls[i].args[0] != mode || skip-- > 0)
            continue;
        std::vector<GlCall> inside;
        for (size_t k = i + 1; k < calls.size() && std::strcmp(calls[k].name, "glEnd") != 0; k++)
            inside.push_back(calls[k]);
        return inside;
    }
    ADD_FAILURE() << "no glBegin(" << mode << ") number " << n;
    return {};
}

inline std::vector<Vec3> verticesOf(const std::vector<GlCall> &calls)
{
    std::vector<Vec3> out;
    for (const GlCall &c : calls)
        if (std::strcmp(c.name, "glVertex3f") == 0)
            out.push_back({c.args[0], c.args[1], c.args[2]});
    return out;
}

// Every glTexCoord2f + glVertex3f pair of the log, in order; untextured vertices are left out.
inline std::vector<TexturedVertex> texturedVertices()
{
    std::vector<TexturedVertex> out;
    float s = 0, t = 0;
    bool textured = false; // a texture coordinate came since the last vertex
    for (const GlCall &c : doubles().calls) {
        if (std::strcmp(c.name, "glTexCoord2f") == 0) {
            s = float(c.args[0]);
            t = float(c.args[1]);
            textured = true;
        } else if (std::strcmp(c.name, "glVertex3f") == 0 && textured) {
            out.push_back({s, t, float(c.args[0]), float(c.args[1]), float(c.args[2])});
            textured = false;
        }
    }
    return out;
}

inline bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool sameBits(const TexturedVertex &a, const TexturedVertex &b)
{
    return sameBits(a.s, b.s) && sameBits(a.t, b.t) && sameBits(a.x, b.x) && sameBits(a.y, b.y) &&
           sameBits(a.z, b.z);
}

// A column-major 4x4 matrix, built from the recorded matrix calls as OpenGL does.
struct Matrix {
    double m[16];
};

inline Matrix identity() { return {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}; }

inline Matrix times(const Matrix &a, const Matrix &b)
{
    Matrix r{};
    for (int col = 0; col < 4; col++)
        for (int row = 0; row < 4; row++)
            for (int k = 0; k < 4; k++)
                r.m[col * 4 + row] += a.m[k * 4 + row] * b.m[col * 4 + k];
    return r;
}

inline Matrix rotation(double degrees, double x, double y, double z)
{
    const double length = std::sqrt(x * x + y * y + z * z);
    x /= length;
    y /= length;
    z /= length;
    const double c = std::cos(degrees * M_PI / 180), s = std::sin(degrees * M_PI / 180);
    const double d = 1 - c;
    return {{x * x * d + c, y * x * d + z * s, x * z * d - y * s, 0,
             x * y * d - z * s, y * y * d + c, y * z * d + x * s, 0,
             x * z * d + y * s, y * z * d - x * s, z * z * d + c, 0, 0, 0, 0, 1}};
}

inline Matrix perspective(double fovy, double aspect, double zNear, double zFar)
{
    const double f = 1 / std::tan(fovy * M_PI / 360);
    return {{f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (zFar + zNear) / (zNear - zFar), -1, 0, 0,
             2 * zFar * zNear / (zNear - zFar), 0}};
}

// Projection times modelview, as the recorded glMatrixMode, glLoadIdentity, glScalef,
// glRotatef and gluPerspective calls leave them (the modelview current at first).
inline Matrix recordedTransform()
{
    Matrix projection = identity(), modelview = identity();
    Matrix *m = &modelview;
    for (const GlCall &c : doubles().calls) {
        const double *a = c.args;
        if (std::strcmp(c.name, "glMatrixMode") == 0)
            m = a[0] == GL_PROJECTION ? &projection : &modelview;
        else if (std::strcmp(c.name, "glLoadIdentity") == 0)
            *m = identity();
        else if (std::strcmp(c.name, "glScalef") == 0)
            *m = times(*m, {{a[0], 0, 0, 0, 0, a[1], 0, 0, 0, 0, a[2], 0, 0, 0, 0, 1}});
        else if (std::strcmp(c.name, "glRotatef") == 0)
            *m = times(*m, rotation(a[0], a[1], a[2], a[3]));
        else if (std::strcmp(c.name, "gluPerspective") == 0)
            *m = times(*m, perspective(a[0], a[1], a[2], a[3]));
    }
    return times(projection, modelview);
}

// Device coordinates of v under m, after the division by w.
inline Vec3 apply(const Matrix &m, const Vec3 &v)
{
    double out[4];
    for (int row = 0; row < 4; row++)
        out[row] = m.m[row] * v.x + m.m[4 + row] * v.y + m.m[8 + row] * v.z + m.m[12 + row];
    return {out[0] / out[3], out[1] / out[3], out[2] / out[3]};
}

// A fresh temporary directory as the working directory for one test.
class ScratchDirectory {
public:
    ScratchDirectory()
    {
        previous_ = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "effects-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("making a scratch directory failed: " +
                                     std::string(std::strerror(errno)));
        path_ = pattern;
        std::filesystem::current_path(path_);
    }
    ~ScratchDirectory()
    {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(path_);
    }
    const std::filesystem::path &path() const { return path_; }

    // Writes `headerLength` bytes of 0xEE, then `count` bytes repeating `pattern`.
    void write(const char *name, int headerLength, const std::vector<unsigned char> &pattern,
               int count) const
    {
        std::ofstream file(path_ / name, std::ios::binary);
        for (int i = 0; i < headerLength; i++)
            file.put(char(0xEE));
        for (int i = 0; i < count; i++)
            file.put(char(pattern[i % pattern.size()]));
    }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

} // namespace frames
