// Writes the fuzz targets' seed corpora: modules made by the IT writer for the player,
// and files of every length the loaders treat differently for the loaders.
#include "itwriter.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

bool writeFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// A looping sample of `frames` frames: a square wave of the given period, loud enough
// that every resampler path has work.
ItSample squareSample(const char *name, int frames, int period, bool eightBit, bool pingPong)
{
    ItSample sample;
    sample.name = name;
    sample.eightBit = eightBit;
    sample.pingPong = pingPong;
    sample.c5Speed = 16000;
    for (int i = 0; i < frames; ++i)
        sample.pcm.push_back(static_cast<int16_t>((i % period) < period / 2 ? 12000 : -12000));
    sample.loopBegin = static_cast<uint32_t>(frames / 4);
    sample.loopEnd = static_cast<uint32_t>(frames);
    return sample;
}

struct CellRecipe {
    int row;
    int channel;
    ItCell cell;
};

// Four channels, two samples, and a cell of most kinds the format has: note off, cut and
// fade, volume and pan in the volume column, slides, portamento, vibrato, speed and
// tempo changes, global volume, a pattern break and a skip marker in the order list.
std::vector<uint8_t> busyModule()
{
    ItModule module;
    module.title = "busy";
    module.samples.push_back(squareSample("square8", 600, 40, true, true));
    module.samples.push_back(squareSample("square16", 900, 64, false, false));
    module.channelPan = {0, 64, 16, 48};
    const CellRecipe recipes[] = {
        {0, 0, {itMiddleC, 1, 64, itEffect('A'), 3}},
        {0, 1, {itMiddleC + 7, 2, 192, itEffect('T'), 150}},
        {1, 2, {itMiddleC - 12, 1, itNoVolume, itEffect('D'), 0x0F}},
        {2, 3, {itMiddleC + 12, 2, 128, itEffect('H'), 0x44}},
        {3, 0, {itMiddleC + 2, 1, itNoVolume, itEffect('G'), 0x20}},
        {4, 1, {itNoteOff, 0, itNoVolume, itEffect('E'), 0x08}},
        {5, 2, {itNoteCut, 0, itNoVolume, itEffect('F'), 0x08}},
        {6, 3, {itNoteFade, 0, 32, itEffect('X'), 0x80}},
        {7, 0, {itNoNote, 0, itNoVolume, itEffect('C'), 0x00}},
    };
    ItPattern first = itPattern(8, 4);
    for (const CellRecipe &recipe : recipes)
        itCell(first, recipe.row, recipe.channel) = recipe.cell;
    ItPattern second = itPattern(16, 4);
    itCell(second, 0, 0) = ItCell{itMiddleC, 2, 48, itEffect('S'), 0x91};
    itCell(second, 15, 1) = ItCell{itNoNote, 0, itNoVolume, itEffect('V'), 0x40};
    module.patterns = {first, second};
    module.orders = {0, 254, 1, 0};
    return writeIt(module);
}

struct ModuleSeed {
    const char *name;
    std::vector<uint8_t> bytes;
};

// Loader seeds: a patterned file of each length that matters, from empty through the
// headers (18, 44, 54, 786 bytes) and the data (2048 and 98304 bytes) to one past.
const int loaderSeedLengths[] = {0, 1, 18, 44, 54, 786, 54 + 1000, 786 + 2048, 44 + 98304,
                                 18 + 98304 + 1};

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PLAYER-SEED-DIR LOADER-SEED-DIR\n", argv[0]);
        return 2;
    }
    const std::string playerDir = argv[1];
    const std::string loaderDir = argv[2];
    const ModuleSeed modules[] = {
        {"timeline-18.it", timelineModule(18, 1, 1, 255)},
        {"timeline-3x4.it", timelineModule(3, 4, 3, 125)},
        {"timeline-1.it", timelineModule(1, 1, 6, 125)},
        {"jump-20-16-2.it", jumpModule(20, 16, 2)},
        {"busy.it", busyModule()},
    };
    bool ok = true;
    for (const ModuleSeed &seed : modules)
        ok = writeFile(playerDir + "/" + seed.name, seed.bytes) && ok;
    for (int length : loaderSeedLengths) {
        std::vector<uint8_t> bytes(static_cast<size_t>(length));
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i * 7 + i / 256);
        ok = writeFile(loaderDir + "/length-" + std::to_string(length), bytes) && ok;
    }
    return ok ? 0 : 1;
}
