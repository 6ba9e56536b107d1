// The four TGA files: the sphere's picture, the closing picture and two height maps,
// drawn with integer value noise that wraps around in x, craters and a 5x7 font.
#include "datagen.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr int mapWidth = 256;
constexpr int mapHeight = 128;
constexpr int heightWidth = 64;
constexpr int heightRows = 32;
constexpr int one = 65536;  // 1.0 in the 16.16 fixed point used by the noise

struct Rgb {
  int r, g, b;
};

// An 18-byte TGA header followed by the image ID text padded with zeros to idLength.
std::vector<uint8_t> tgaHeader(int imageType, int width, int height, int bitsPerPixel, int idLength,
                               const char* idText, int colourMapEntries) {
  std::vector<uint8_t> header(18 + static_cast<size_t>(idLength), 0);
  header[0] = static_cast<uint8_t>(idLength);
  header[1] = colourMapEntries > 0 ? 1 : 0;
  header[2] = static_cast<uint8_t>(imageType);
  header[5] = static_cast<uint8_t>(colourMapEntries & 0xFF);  // first entry 0, then the count
  header[6] = static_cast<uint8_t>(colourMapEntries >> 8);
  header[7] = colourMapEntries > 0 ? 24 : 0;
  header[12] = static_cast<uint8_t>(width & 0xFF);
  header[13] = static_cast<uint8_t>(width >> 8);
  header[14] = static_cast<uint8_t>(height & 0xFF);
  header[15] = static_cast<uint8_t>(height >> 8);
  header[16] = static_cast<uint8_t>(bitsPerPixel);
  header[17] = 0x20;  // first stored row is the top row
  std::memcpy(header.data() + 18, idText, std::min(std::strlen(idText), static_cast<size_t>(idLength)));
  return header;
}

uint32_t latticeHash(int x, int y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x85EBCA6Bu;
  h ^= h >> 16;
  return h;
}

// Smoothstep of a 16.16 fraction in [0, one).
int64_t fade(int64_t t) { return t * t / one * (3 * one - 2 * t) / one; }

// Value noise in [0, one) at lattice position (x, y) in 16.16, wrapping every periodX cells.
int64_t valueNoise(int64_t x, int64_t y, int periodX, uint32_t seed) {
  int ix = static_cast<int>(x / one);
  int iy = static_cast<int>(y / one);
  int64_t fx = fade(x % one);
  int64_t fy = fade(y % one);
  int x0 = ix % periodX;
  int x1 = (ix + 1) % periodX;
  auto corner = [&](int cx, int cy) { return static_cast<int64_t>(latticeHash(cx, cy, seed) & 0xFFFF); };
  int64_t top = corner(x0, iy) + (corner(x1, iy) - corner(x0, iy)) * fx / one;
  int64_t bottom = corner(x0, iy + 1) + (corner(x1, iy + 1) - corner(x0, iy + 1)) * fx / one;
  return top + (bottom - top) * fy / one;
}

// Octaves of value noise over a grid width pixels across that wraps in x: cellsX cells
// across at the first octave, doubling each octave at half the weight. Result in [0, one).
int64_t fractalNoise(int px, int py, int width, int cellsX, int octaves, uint32_t seed) {
  int64_t sum = 0;
  int64_t weightSum = 0;
  int64_t weight = 256;
  for (int octave = 0; octave < octaves; ++octave) {
    int cells = cellsX << octave;
    int64_t x = static_cast<int64_t>(px) * cells * one / width;
    int64_t y = static_cast<int64_t>(py) * cells * one / width + static_cast<int64_t>(octave) * one / 3;
    sum += valueNoise(x, y, cells, seed + static_cast<uint32_t>(octave) * 101u) * weight;
    weightSum += weight;
    weight /= 2;
  }
  return sum / weightSum;
}

int clampByte(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, 0, 255)); }

// A smooth bump 0..one for |d| < 1 (d in 16.16): one at the centre, zero at the edge.
int64_t bump(int64_t d) {
  int64_t a = std::min<int64_t>(std::abs(d), one);
  return fade(one - a);
}

struct Crater {
  int x, y, radius;
};

// Craters scattered over the map, fewer near the poles; radii in pixels.
std::vector<Crater> craters() {
  std::vector<Crater> list;
  Random random{0xC0FFEE11u};
  for (int i = 0; i < 46; ++i) {
    Crater crater;
    crater.x = randomBetween(random, 0, mapWidth - 1);
    crater.y = randomBetween(random, 16, mapHeight - 17);
    crater.radius = randomBetween(random, 2, i < 6 ? 13 : 7);
    list.push_back(crater);
  }
  return list;
}

// The crater relief at a pixel, -60..60: dark bowls inside a bright rim.
int craterRelief(int x, int y, const std::vector<Crater>& list) {
  int relief = 0;
  for (const Crater& crater : list) {
    int dx = x - crater.x;  // signed, the shorter way round the wrapping map
    if (dx > mapWidth / 2) dx -= mapWidth;
    if (dx < -mapWidth / 2) dx += mapWidth;
    int dy = y - crater.y;
    int64_t distanceSquared = static_cast<int64_t>(dx) * dx + static_cast<int64_t>(dy) * dy;
    int64_t radius = crater.radius;
    if (distanceSquared > 4 * radius * radius) continue;
    // distance over radius in 16.16, from the squared distance by integer square root
    int64_t d = 0;
    int64_t target = distanceSquared * one / (radius * radius) * one;
    for (int64_t bit = int64_t{1} << 20; bit > 0; bit >>= 1)
      if ((d + bit) * (d + bit) <= target) d += bit;
    if (d < one * 85 / 100)  // the bowl, lit from the left: its right inner wall catches the light
      relief += static_cast<int>(22 * (dx + dy / 2) / radius) - static_cast<int>(30 * bump(d * 100 / 85) / one) - 10;
    else
      relief += static_cast<int>(34 * bump((d - one) * 4) / one) + static_cast<int>(8 * bump((d - one) / 1) / one);
  }
  return std::clamp(relief, -60, 60);
}

// Weight of the latitude bands, 0..one: a smooth wave across the rows.
int64_t bandWave(int y, int64_t warp) {
  int64_t phase = (static_cast<int64_t>(y) * one * 7 / mapHeight + warp) % one;
  int64_t triangle = phase < one / 2 ? phase * 2 : (one - phase) * 2;
  return fade(triangle);
}

// Distance from the nearer pole row, 0 at the poles and one at the equator.
int64_t fromPole(int y, int height) {
  int64_t centre = static_cast<int64_t>(height - 1) * one / 2;
  int64_t offset = std::abs(static_cast<int64_t>(y) * one - centre);
  return (centre - offset) * one / centre;
}

void appendPixel(std::vector<uint8_t>& out, int byte0, int byte1, int byte2) {
  out.push_back(static_cast<uint8_t>(byte0));
  out.push_back(static_cast<uint8_t>(byte1));
  out.push_back(static_cast<uint8_t>(byte2));
}

struct Glyph {
  char letter;
  const char* rows[7];
};

constexpr Glyph font[] = {
    {'A', {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
    {'D', {"#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "}},
    {'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
    {'F', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#    "}},
    {'G', {" ### ", "#   #", "#    ", "# ###", "#   #", "#   #", " ####"}},
    {'H', {"#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
    {'I', {" ### ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", " ### "}},
    {'K', {"#   #", "#  # ", "# #  ", "##   ", "# #  ", "#  # ", "#   #"}},
    {'N', {"#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"}},
    {'O', {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'R', {"#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"}},
    {'S', {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "}},
    {'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "}},
    {'U', {"#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {'W', {"#   #", "#   #", "#   #", "# # #", "# # #", "## ##", "#   #"}},
    {'Y', {"#   #", "#   #", " # # ", "  #  ", "  #  ", "  #  ", "  #  "}},
};

const Glyph* findGlyph(char letter) {
  for (const Glyph& glyph : font)
    if (glyph.letter == letter) return &glyph;
  return nullptr;
}

// Text on a canvas of 0/1 coverage: each font pixel becomes scaleX x scaleY image
// pixels, one font pixel of space between letters, centred on the row at top.
void drawText(std::vector<int>& coverage, const std::string& text, int top, int scaleX, int scaleY) {
  int advance = 6 * scaleX;
  int width = static_cast<int>(text.size()) * advance - scaleX;
  int left = (mapWidth - width) / 2;
  for (size_t i = 0; i < text.size(); ++i) {
    const Glyph* glyph = findGlyph(text[i]);
    if (!glyph) continue;
    for (int gy = 0; gy < 7; ++gy)
      for (int gx = 0; gx < 5; ++gx) {
        if (glyph->rows[gy][gx] != '#') continue;
        for (int sy = 0; sy < scaleY; ++sy)
          for (int sx = 0; sx < scaleX; ++sx) {
            int x = left + static_cast<int>(i) * advance + gx * scaleX + sx;
            int y = top + gy * scaleY + sy;
            if (x >= 0 && x < mapWidth && y >= 0 && y < mapHeight) coverage[static_cast<size_t>(y * mapWidth + x)] = 1;
          }
      }
  }
}

// Heights of one planet: a base with noise that fades out towards the poles, so
// rows 0 and 31 are flat circles; ridged folds the noise into sharp-topped crests.
std::vector<uint8_t> heightGrid(uint32_t seed, int cells, int base, int poleHeight, int swing, bool ridged) {
  std::vector<uint8_t> heights;
  for (int y = 0; y < heightRows; ++y) {
    int64_t equator = fade(fromPole(y, heightRows));
    for (int x = 0; x < heightWidth; ++x) {
      int64_t noise = fractalNoise(x, y, heightWidth, cells, 3, seed);
      if (ridged) noise = one - std::abs(noise * 2 - one);  // crests where the noise crosses its middle
      int64_t relief = (noise - one / 2) * swing / one;
      int64_t level = poleHeight + (base - poleHeight) * equator / one + relief * equator / one;
      heights.push_back(static_cast<uint8_t>(clampByte(level)));
    }
  }
  return heights;
}

}  // namespace

std::vector<uint8_t> cmapImage() {
  std::vector<uint8_t> out = tgaHeader(2, mapWidth, mapHeight, 24, 26, "orrery sphere map, 256x128", 0);
  std::vector<Crater> craterList = craters();
  for (int y = 0; y < mapHeight; ++y) {
    int64_t polar = fromPole(y, mapHeight);
    for (int x = 0; x < mapWidth; ++x) {
      int64_t land = fractalNoise(x, y, mapWidth, 4, 5, 0x51A7u);
      int64_t warp = fractalNoise(x, y, mapWidth, 2, 2, 0x0BA9Du) / 3;
      int64_t band = bandWave(y, warp);
      int64_t detail = fractalNoise(x, y, mapWidth, 16, 3, 0xD07u);
      int relief = craterRelief(x, y, craterList);
      int luminance;
      int middle, dark;  // bytes 2 and 1 as percent of byte 0
      if (polar < one / 9 + (detail - one / 2) / 6) {  // ice caps with ragged edges
        luminance = 200 + static_cast<int>(detail * 50 / one);
        middle = 88;
        dark = 74;
      } else if (land > one * 53 / 100) {  // continents
        int64_t elevation = (land - one * 53 / 100) * 100 / (one * 47 / 100);  // 0..100
        luminance = 135 + static_cast<int>(elevation) + static_cast<int>(detail * 30 / one) + relief;
        middle = 62 - static_cast<int>(elevation / 8);
        dark = 30;
      } else {  // sea, with bands
        luminance = 62 + static_cast<int>(band * 34 / one) + static_cast<int>(land * 30 / one) + relief / 3;
        middle = 46;
        dark = 22;
      }
      int byte0 = clampByte(luminance);
      appendPixel(out, byte0, byte0 * dark / 100, byte0 * middle / 100);
    }
  }
  return out;
}

std::vector<uint8_t> endImage() {
  std::vector<uint8_t> out = tgaHeader(2, mapWidth, mapHeight, 24, 0, "", 0);
  // Shown at 640x480, a pixel is 2.5 wide and 3.75 tall on screen: font pixels of
  // 3x2 (and 6x4 for the name) come out square.
  std::vector<int> title(static_cast<size_t>(mapWidth * mapHeight), 0);
  std::vector<int> line(static_cast<size_t>(mapWidth * mapHeight), 0);
  drawText(title, "ORRERY", 22, 6, 4);
  drawText(line, "THANKS FOR", 66, 3, 2);
  drawText(line, "WATCHING", 84, 3, 2);
  Random random{0x5EEDF00Du};
  std::vector<int> stars(static_cast<size_t>(mapWidth * mapHeight), 0);
  for (int i = 0; i < 260; ++i) {
    int x = randomBetween(random, 0, mapWidth - 1);
    int y = randomBetween(random, 0, mapHeight - 1);
    stars[static_cast<size_t>(y * mapWidth + x)] = randomBetween(random, 40, 200);
  }
  // A planet's limb along the bottom, round on screen: centre below the picture.
  constexpr int64_t limbX = 128 * 5 / 2;
  constexpr int64_t limbY = (128 + 150) * 15 / 4;
  constexpr int64_t limbRadius = 150 * 15 / 4 + 95;
  for (int y = 0; y < mapHeight; ++y) {
    for (int x = 0; x < mapWidth; ++x) {
      size_t at = static_cast<size_t>(y * mapWidth + x);
      Rgb colour{4 + y * 40 / mapHeight, 3 + y * 10 / mapHeight, 26 + y * 34 / mapHeight};  // night to dusk
      colour.r += stars[at];
      colour.g += stars[at];
      colour.b += stars[at];
      int64_t dx = x * 5 / 2 - limbX;
      int64_t dy = y * 15 / 4 - limbY;
      int64_t distanceSquared = dx * dx + dy * dy;
      if (distanceSquared < limbRadius * limbRadius) {
        int64_t depth = (limbRadius * limbRadius - distanceSquared) / (limbRadius * 8);  // pixels inside the rim
        int64_t glow = std::max<int64_t>(0, 60 - depth * 3);
        colour = Rgb{static_cast<int>(22 + glow * 3), static_cast<int>(12 + glow * 3 / 2), static_cast<int>(30 + glow / 2)};
      } else {
        int64_t outside = (distanceSquared - limbRadius * limbRadius) / (limbRadius * 8);
        int64_t halo = std::max<int64_t>(0, 40 - outside * 2);
        colour.r += static_cast<int>(halo * 2);
        colour.g += static_cast<int>(halo);
      }
      bool shadow = y >= 1 && x >= 1 &&
                    (title[at - static_cast<size_t>(mapWidth) - 1] || line[at - static_cast<size_t>(mapWidth) - 1]);
      if (shadow) colour = Rgb{colour.r / 4, colour.g / 4, colour.b / 4};
      if (title[at]) colour = Rgb{255, 176 + y / 4, 40};   // marigold gold
      if (line[at]) colour = Rgb{236, 228, 255};
      appendPixel(out, clampByte(colour.b), clampByte(colour.g), clampByte(colour.r));
    }
  }
  return out;
}

std::vector<uint8_t> rollingHeights() {
  std::vector<uint8_t> out = tgaHeader(3, heightWidth, heightRows, 8, 36, "orrery height map: rolling, 64x32", 0);
  std::vector<uint8_t> heights = heightGrid(0x7E51u, 3, 212, 200, 150, false);
  out.insert(out.end(), heights.begin(), heights.end());
  return out;
}

std::vector<uint8_t> ridgedHeights() {
  std::vector<uint8_t> out = tgaHeader(1, heightWidth, heightRows, 8, 0, "", 256);
  // The palette shows heights as terrain: sea, shore, grass, rock, snow; stored blue, green, red.
  for (int i = 0; i < 256; ++i) {
    Rgb colour = i < 180 ? Rgb{10, 30 + i / 3, 90 + i / 2}
               : i < 196 ? Rgb{200, 190, 120}
               : i < 220 ? Rgb{50 + (i - 196) * 2, 140 - (i - 196), 50}
               : i < 240 ? Rgb{120 + (i - 220) * 2, 100 + (i - 220) * 2, 80 + (i - 220) * 2}
                         : Rgb{230 + (i - 240), 230 + (i - 240), 240};
    appendPixel(out, clampByte(colour.b), clampByte(colour.g), clampByte(colour.r));
  }
  std::vector<uint8_t> heights = heightGrid(0x41D6Eu, 4, 204, 182, 110, true);
  out.insert(out.end(), heights.begin(), heights.end());
  return out;
}
