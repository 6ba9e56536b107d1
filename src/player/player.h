// The module player: plays one tracker module through the default audio output and
// reports the order and row being heard. Decoding is libopenmpt's, output is SDL2's.
#pragma once
#include <cstdint>

// Load flags of BASSMOD_MusicLoad; other bits are ignored.
enum : uint32_t {
    playerRamp = 0x001,        // volume ramping (the decoder's default); without it, none
    playerLoop = 0x004,        // start over at the module's end instead of stopping
    playerInterpolate = 0x100, // the decoder's default interpolation; without it, none
};

// Opens output device `device` (-1: the default, otherwise an index in the output
// device list) at `rate` frames per second. Non-zero when ready.
int BASSMOD_Init(int device, uint32_t rate, uint32_t flags);
// Loads a module: from the file named `file` when mem is 0, otherwise from `length`
// bytes at `file` + `offset`; length 0 means the whole file. Non-zero when loaded.
int BASSMOD_MusicLoad(int mem, const void *file, uint32_t offset, uint32_t length,
                      uint32_t flags);
// Starts the loaded module from its beginning; it then plays on by itself.
int BASSMOD_MusicPlay();
// Low 16 bits: the order being heard; high 16 bits: the row.
uint32_t BASSMOD_MusicGetPosition();
int BASSMOD_MusicStop();
int BASSMOD_MusicFree();
int BASSMOD_Free();

// Why the last failing call failed, as a short text ("" when nothing failed).
const char *playerErrorText();
