// Fixture files for the loader tests: a fresh temporary working directory per test and
// files of patterned bytes written into it.
#pragma once
#include <gtest/gtest.h>

#include <string>

// Byte i of the pattern with the given seed; no two seeds agree everywhere.
unsigned char patternByte(size_t i, int seed);
// `length` pattern bytes.
std::string patternBytes(size_t length, int seed);
void writeFile(const std::string &name, const std::string &bytes);

// Moves into a new, empty temporary directory for the test and back out after it.
class InTempDir : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string previous;
};
