// The five data files as bytes, each built from fixed seeds with integer arithmetic
// where it matters, so every run on every machine writes the same files.
#pragma once

#include <cstdint>
#include <vector>

// The sphere's picture: 44-byte TGA header (26-byte image ID), 256x128, byte 0 of
// each pixel brightest, byte 2 middle, byte 1 darkest, seamless left to right.
std::vector<uint8_t> cmapImage();
// The closing picture: 18-byte TGA header, 256x128, pixels stored blue, green, red.
std::vector<uint8_t> endImage();
// The rolling planet: 54-byte greyscale TGA header (36-byte image ID), 64x32 heights.
std::vector<uint8_t> rollingHeights();
// The ridged planet: 786-byte colour-mapped TGA header (256-entry palette), 64x32 heights.
std::vector<uint8_t> ridgedHeights();
// The music: an Impulse Tracker module of 18 orders in four sections and a quiet coda.
std::vector<uint8_t> marigoldModule();

// A small xorshift generator: the same sequence from the same seed on every machine.
struct Random {
  uint32_t state;
};

inline uint32_t nextRandom(Random& random) {
  uint32_t x = random.state;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  random.state = x;
  return x;
}

// A value in [low, high], both included.
inline int randomBetween(Random& random, int low, int high) {
  return low + static_cast<int>(nextRandom(random) % static_cast<uint32_t>(high - low + 1));
}
