// Height-map loaders: 2048 height bytes read from behind a fixed-length header
// straight into the shared height map.
#include "assets.h"

#include <fcntl.h>
#include <unistd.h>

unsigned char heightMap[2048];

struct HeightMapFile {
    const char *name;
    int headerLength;
};

static const HeightMapFile plainMap = {"tesilmap.tga", 54};
static const HeightMapFile colourMappedMap = {"tesilmapc.tga", 786};

// The header is skipped by reading it into the map, which the heights then overwrite;
// whatever a short or missing file does not supply keeps its previous value.
static void loadHeights(const HeightMapFile &map)
{
    // Non-blocking, so that a named pipe without a writer reads as empty.
    int file = open(map.name, O_RDONLY | O_NONBLOCK);
    [[maybe_unused]] ssize_t headerRead = read(file, heightMap, map.headerLength);
    [[maybe_unused]] ssize_t heightsRead = read(file, heightMap, sizeof heightMap);
    close(file);
}

void loadHeightMap() { loadHeights(plainMap); }
void loadHeightMapC() { loadHeights(colourMappedMap); }
