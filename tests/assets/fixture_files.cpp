// Fixture files for the loader tests.
#include "fixture_files.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>

unsigned char patternByte(size_t i, int seed)
{
    return (unsigned char)((i * 131 + (i >> 8) * 7 + size_t(seed) * 29 + 3) & 255);
}

std::string patternBytes(size_t length, int seed)
{
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; i++)
        bytes[i] = char(patternByte(i, seed));
    return bytes;
}

void writeFile(const std::string &name, const std::string &bytes)
{
    std::ofstream out(name, std::ios::binary);
    out << bytes;
    ASSERT_TRUE(out.good()) << "writing " << name;
}

void InTempDir::SetUp()
{
    char here[PATH_MAX];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    previous = here;
    char pattern[] = "/tmp/orrery-assets-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    ASSERT_EQ(chdir(pattern), 0);
}

void InTempDir::TearDown()
{
    ASSERT_EQ(chdir(previous.c_str()), 0);
}
