// The texture loaders: texel byte orders, what is read of complete, longer, short and
// missing files, and the texture object's state and upload.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "assets.h"
#include "doubles.h"
#include "fixture_files.h"

namespace {

const size_t imageBytes = 256 * 128 * 3;

struct Loader {
    const char *name;
    void (*load)();
    const char *file;
    size_t headerLength;
    int texelFrom[3]; // texel red, green, blue = stored byte texelFrom[c] of the pixel
};

const Loader loaders[] = {
    {"Orange", loadOrangeTexture, "cmap.tga", 44, {0, 2, 1}},
    {"Blue", loadBlueTexture, "cmap.tga", 44, {1, 2, 0}},
    {"Green", loadGreenTexture, "cmap.tga", 44, {2, 0, 1}},
    {"EndPicture", loadEndPicture, "color2.tga", 18, {2, 1, 0}},
};

// What the loader should upload for a file: the reads as the loader makes them (the
// header into the buffer's start, then the pixels over it), zeros where nothing was
// read, then every pixel's bytes in the loader's order.
std::vector<unsigned char> expectedTexels(const Loader &l, const std::string &file)
{
    std::vector<unsigned char> stored(imageBytes, 0);
    std::copy_n(file.begin(), std::min(file.size(), l.headerLength), stored.begin());
    if (file.size() > l.headerLength)
        std::copy_n(file.begin() + long(l.headerLength),
                    std::min(file.size() - l.headerLength, imageBytes), stored.begin());
    std::vector<unsigned char> texels(imageBytes);
    for (size_t p = 0; p < imageBytes; p += 3)
        for (int c = 0; c < 3; c++)
            texels[p + size_t(c)] = stored[p + size_t(l.texelFrom[c])];
    return texels;
}

class TextureTest : public InTempDir, public ::testing::WithParamInterface<Loader> {
protected:
    void SetUp() override
    {
        InTempDir::SetUp();
        resetDoubles();
    }
    // Loads once and returns the uploaded texels.
    std::vector<unsigned char> load()
    {
        GetParam().load();
        EXPECT_FALSE(doubles().uploads.empty());
        return doubles().uploads.empty() ? std::vector<unsigned char>() : doubles().uploads.back();
    }
};

TEST_P(TextureTest, ExamplePixelAndLastPixelAreReordered)
{
    const Loader &l = GetParam();
    std::string file = patternBytes(l.headerLength + imageBytes, 1);
    const std::string pixel = "\x0a\x14\x1e"; // 10, 20, 30
    file.replace(l.headerLength, 3, pixel);
    file.replace(file.size() - 3, 3, pixel);
    writeFile(l.file, file);
    const auto texels = load();
    ASSERT_EQ(texels.size(), imageBytes);
    const unsigned char stored[3] = {10, 20, 30};
    for (size_t at : {size_t(0), imageBytes - 3})
        for (int c = 0; c < 3; c++)
            EXPECT_EQ(texels[at + size_t(c)], stored[l.texelFrom[c]]) << "byte " << at + size_t(c);
    EXPECT_EQ(texels, expectedTexels(l, file));
}

// Complete files whatever their header or tail: the same texels; nothing is flipped,
// the first stored row is the texture's first row.
TEST_P(TextureTest, HeaderAndTrailingBytesChangeNothing)
{
    const Loader &l = GetParam();
    const std::string plain = patternBytes(l.headerLength + imageBytes, 2);
    writeFile(l.file, plain);
    const auto reference = load();
    EXPECT_EQ(reference, expectedTexels(l, plain));
    EXPECT_EQ(reference[0], (unsigned char)plain[l.headerLength + size_t(l.texelFrom[0])]);

    std::string otherHeader = plain;
    std::fill_n(otherHeader.begin(), l.headerLength, '\xee');
    const std::string longer = plain + patternBytes(1 << 20, 3);
    for (const std::string &file : {otherHeader, longer}) {
        writeFile(l.file, file);
        EXPECT_EQ(load(), reference);
    }
}

// Short files: what was read lands from the buffer's start, the rest stays zero.
TEST_P(TextureTest, ShortFilesFillFromTheStartAndLeaveZeros)
{
    const Loader &l = GetParam();
    const size_t lengths[] = {0, 1, l.headerLength - 1, l.headerLength, l.headerLength + 1,
                              l.headerLength + 2 * l.headerLength + 5,
                              l.headerLength + imageBytes / 2 + 1,
                              l.headerLength + imageBytes - 1};
    for (size_t n : lengths) {
        const std::string file = patternBytes(n, 4);
        writeFile(l.file, file);
        const auto texels = load();
        EXPECT_EQ(texels, expectedTexels(l, file)) << n << " bytes";
        // Past everything the file supplied, the buffer is zero.
        const size_t reached = std::max(std::min(n, l.headerLength), n > l.headerLength ? n - l.headerLength : 0);
        const size_t firstUntouchedPixel = (reached + 2) / 3 * 3;
        for (size_t b = firstUntouchedPixel; b < imageBytes; b += 4099)
            ASSERT_EQ(texels[b], 0) << n << " bytes, texel byte " << b;
    }
}

TEST_P(TextureTest, MissingFileStillBindsANewZeroTextureSilently)
{
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const auto texels = load();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(texels, std::vector<unsigned char>(imageBytes, 0));
    ASSERT_EQ(callsNamed("glBindTexture").size(), 1u);
    EXPECT_EQ(callsNamed("glBindTexture")[0].args[1], callsNamed("glGenTextures")[0].args[1]);
}

TEST_P(TextureTest, TwoLoadsMakeTwoObjectsTheSecondBound)
{
    const Loader &l = GetParam();
    writeFile(l.file, patternBytes(l.headerLength + imageBytes, 5));
    const auto first = load();
    const auto second = load();
    EXPECT_EQ(first, second);
    const auto names = callsNamed("glGenTextures");
    const auto binds = callsNamed("glBindTexture");
    ASSERT_EQ(names.size(), 2u);
    ASSERT_EQ(binds.size(), 2u);
    EXPECT_NE(names[0].args[1], names[1].args[1]);
    EXPECT_EQ(binds.back().args[1], names[1].args[1]);
    EXPECT_EQ(countCalls("glDeleteTextures"), 0);
}

TEST_P(TextureTest, TextureStateThenUpload)
{
    load();
    ASSERT_EQ(callNames(), (std::vector<std::string>{"glGenTextures", "glBindTexture",
                                                     "glTexParameteri", "glTexParameteri",
                                                     "glTexParameteri", "glTexParameteri",
                                                     "glTexImage2D"}));
    const auto &c = doubles().calls;
    EXPECT_EQ(c[0].args[0], 1);
    EXPECT_EQ(c[1].args[0], GL_TEXTURE_2D);
    const double parameters[4][2] = {{GL_TEXTURE_WRAP_S, GL_REPEAT},
                                     {GL_TEXTURE_WRAP_T, GL_CLAMP},
                                     {GL_TEXTURE_MAG_FILTER, GL_LINEAR},
                                     {GL_TEXTURE_MIN_FILTER, GL_LINEAR}};
    for (int p = 0; p < 4; p++) {
        EXPECT_EQ(c[2 + p].args[0], GL_TEXTURE_2D);
        EXPECT_EQ(c[2 + p].args[1], parameters[p][0]);
        EXPECT_EQ(c[2 + p].args[2], parameters[p][1]);
    }
    const double upload[] = {GL_TEXTURE_2D, 0, GL_RGB, 256, 128, 0, GL_RGB, GL_UNSIGNED_BYTE};
    ASSERT_EQ(c[6].argCount, int(std::size(upload)));
    for (size_t a = 0; a < std::size(upload); a++)
        EXPECT_EQ(c[6].args[a], upload[a]) << "argument " << a;
}

INSTANTIATE_TEST_SUITE_P(Loaders, TextureTest, ::testing::ValuesIn(loaders),
                         [](const auto &info) { return std::string(info.param.name); });

// Caps the address space a little above what the process holds and takes small blocks
// until none is left, so that the loader's image buffer cannot be had.
static void exhaustTheHeap()
{
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    struct rlimit limit;
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (1 << 20);
    setrlimit(RLIMIT_AS, &limit);
    void *volatile block;
    do
        block = malloc(4096);
    while (block);
}

TEST_P(TextureTest, NoMemoryForTheImageSaysSoAndExitsOne)
{
    // The sanitizers' allocators reserve far more address space than any cap allows.
    if (std::getenv("ASAN_OPTIONS"))
        GTEST_SKIP() << "the address-space cap does not apply under AddressSanitizer";
    const std::string message = std::string("^orrery: no memory for the image of ") +
                                GetParam().file + "\n$";
    EXPECT_EXIT(
        {
            doubles().record = false; // the call log must not need memory either
            exhaustTheHeap();
            GetParam().load();
        },
        ::testing::ExitedWithCode(1), message);
}

TEST(SwapBytesTest, ExchangesTwoBytesAndLeavesOneAlone)
{
    unsigned char bytes[3] = {1, 2, 3};
    swapBytes(bytes, bytes + 2);
    EXPECT_EQ(bytes[0], 3);
    EXPECT_EQ(bytes[1], 2);
    EXPECT_EQ(bytes[2], 1);
    swapBytes(bytes + 1, bytes + 1);
    EXPECT_EQ(bytes[1], 2);
}

} // namespace
