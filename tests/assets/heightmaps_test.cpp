// The height-map loaders: complete, longer, short and missing files, checked entry by
// entry against what the two reads leave in the map.
#include <gtest/gtest.h>

#include <cstring>

#include "assets.h"
#include "doubles.h"
#include "fixture_files.h"

namespace {

struct MapLoader {
    const char *name;
    void (*load)();
    const char *file;
    size_t headerLength;
};

const MapLoader mapLoaders[] = {
    {"Plain", loadHeightMap, "tesilmap.tga", 54},
    {"ColourMapped", loadHeightMapC, "tesilmapc.tga", 786},
};

const size_t mapBytes = 2048;

class HeightMapTest : public InTempDir, public ::testing::WithParamInterface<MapLoader> {
protected:
    void SetUp() override
    {
        InTempDir::SetUp();
        resetDoubles();
        // A previous map that no fixture byte matches everywhere.
        for (size_t i = 0; i < mapBytes; i++)
            heightMap[i] = (unsigned char)(0xA5 ^ i);
    }
    unsigned char previous(size_t i) const { return (unsigned char)(0xA5 ^ i); }
};

TEST_P(HeightMapTest, CompleteFilesCopyTheHeightsWhateverTheHeaderOrTail)
{
    const MapLoader &l = GetParam();
    const std::string plain = patternBytes(l.headerLength + mapBytes, 7);
    std::string otherHeader = plain;
    std::memset(&otherHeader[0], 0x5a, l.headerLength);
    const std::string longer = plain + patternBytes(4096, 8);
    for (const std::string &file : {plain, otherHeader, longer}) {
        writeFile(l.file, file);
        l.load();
        for (size_t i = 0; i < mapBytes; i++)
            ASSERT_EQ(heightMap[i], (unsigned char)file[l.headerLength + i]) << "entry " << i;
    }
    EXPECT_TRUE(doubles().calls.empty()); // no OpenGL at all
}

TEST_P(HeightMapTest, MissingFileKeepsThePreviousMap)
{
    GetParam().load();
    for (size_t i = 0; i < mapBytes; i++)
        ASSERT_EQ(heightMap[i], previous(i)) << "entry " << i;
}

// A file of n bytes: below the header length, the bytes land from entry 0; from it on,
// the heights present land from entry 0 over the header, whose bytes survive past them
// where the heights are fewer than the header; everything further keeps its value.
TEST_P(HeightMapTest, ShortFilesEntryByEntry)
{
    const MapLoader &l = GetParam();
    const size_t h = l.headerLength;
    struct Short {
        size_t length;
        const char *what;
    };
    const Short shorts[] = {
        {0, "empty"},
        {1, "one byte"},
        {h - 1, "n < H"},
        {h, "header only"},
        {h + 10, "H <= n, n - H < H"},
        {2 * h - 1, "n - H just below H"},
        {2 * h + 100, "n - H >= H"},
        {h + mapBytes - 1, "one height short"},
    };
    for (const Short &s : shorts) {
        SetUp();
        const std::string file = patternBytes(s.length, 9);
        writeFile(l.file, file);
        l.load();
        const size_t heights = s.length > h ? s.length - h : 0;
        const size_t headerReach = std::min(s.length, h);
        for (size_t i = 0; i < mapBytes; i++) {
            unsigned char expected = previous(i);
            if (i < heights)
                expected = (unsigned char)file[h + i];
            else if (i < headerReach)
                expected = (unsigned char)file[i];
            ASSERT_EQ(heightMap[i], expected) << s.what << " (" << s.length << " bytes), entry " << i;
        }
    }
}

class HeightMapPairTest : public InTempDir {};

TEST_F(HeightMapPairTest, TheSecondOfTwoLoadsReplacesTheFirst)
{
    writeFile("tesilmap.tga", patternBytes(54 + mapBytes, 10));
    writeFile("tesilmapc.tga", patternBytes(786 + mapBytes, 11));
    const std::string plain = patternBytes(54 + mapBytes, 10);
    const std::string mapped = patternBytes(786 + mapBytes, 11);
    loadHeightMap();
    loadHeightMapC();
    for (size_t i = 0; i < mapBytes; i++)
        ASSERT_EQ(heightMap[i], (unsigned char)mapped[786 + i]) << i;
    loadHeightMap();
    for (size_t i = 0; i < mapBytes; i++)
        ASSERT_EQ(heightMap[i], (unsigned char)plain[54 + i]) << i;
}

INSTANTIATE_TEST_SUITE_P(Loaders, HeightMapTest, ::testing::ValuesIn(mapLoaders),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
