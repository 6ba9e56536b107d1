// The module player: plays one tracker module through the default audio output and
// reports the order and row being heard. Decoding is libopenmpt's, output is SDL2's.
#pragma once
#include <cstdint>

// Load flags of BASSMOD_MusicLoad; other bits are ignored. 261 (0x105) is all three.
enum : uint32_t {
    playerRamp = 0x001,        // volume ramping (the decoder's default); without it, none
    playerLoop = 0x004,        // start over at the module's end instead of stopping
    playerInterpolate = 0x100, // the decoder's default interpolation; without it, none
};

// All calls come from one thread. Every call made before BASSMOD_Init succeeded or
// after BASSMOD_Free returns 0 and does nothing; a call returning 0 leaves its reason
// in playerErrorText().

// Opens output device `device` (-1: the default, otherwise an index in the output
// device list) at `rate` frames per second (8000..192000); `flags` are ignored.
// Non-zero when ready; 0 when no output device opens or the player is already started.
int BASSMOD_Init(int device, uint32_t rate, uint32_t flags);
// Loads a module: from the file named `file` when mem is 0, otherwise from `length`
// bytes at `file` + `offset`; length 0 means the whole file (from offset). Non-zero
// when loaded. A loaded module replaces the one before it, which stops playing; a
// failed load leaves the one before it as it was.
int BASSMOD_MusicLoad(int mem, const void *file, uint32_t offset, uint32_t length,
                      uint32_t flags);
// Starts the loaded module from its beginning; it then plays on by itself, and after
// its end (without playerLoop) plays silence. 0 when no module is loaded.
int BASSMOD_MusicPlay();
// Low 16 bits: the order being heard; high 16 bits: the row. Each output buffer (1024
// frames) is rendered in slices of 128 and the position at each slice's start kept; the
// one reported is the slice sounding now, counted from when its buffer was handed to the
// device (so the device's own latency comes on top). Never waits for the audio thread.
// 0 from a play or load until its first buffer; after a stop or the module's end, the
// last position heard.
uint32_t BASSMOD_MusicGetPosition();
// Stop, MusicFree and Free may come in any order and more than once; after Free no
// audio device, SDL subsystem or decoder state remains.
int BASSMOD_MusicStop();
int BASSMOD_MusicFree();
int BASSMOD_Free();

// Why the last failing call failed, as a short text ("" when nothing failed yet).
const char *playerErrorText();
