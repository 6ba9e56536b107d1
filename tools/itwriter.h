// Writes Impulse Tracker modules ("IMPM", compatible with 2.14) from plain records, in
// sample mode (no instruments): used by the data generator and by tests that need
// small modules of a known shape.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Special note values of a pattern cell (ordinary notes are 0..119, C-0 = 0, C-5 = 60).
constexpr uint8_t itNoNote = 253;  // the cell has no note (never written)
constexpr uint8_t itNoteOff = 255;
constexpr uint8_t itNoteCut = 254;
constexpr uint8_t itNoteFade = 246;
constexpr uint8_t itNoVolume = 255;  // the volume column is empty
constexpr uint8_t itMiddleC = 60;    // C-5, played at the sample's c5Speed

// Effect commands: letter 'A' is 1, 'B' 2, ... 'Z' 26; 0 means no effect.
constexpr uint8_t itEffect(char letter) { return static_cast<uint8_t>(letter - 'A' + 1); }

// One synthesised sample. pcm holds signed 16-bit values; with eightBit the writer
// stores their high bytes only. Loop points are in sample frames, loopEnd exclusive;
// a loopEnd of 0 means no loop.
struct ItSample {
  std::string name;              // up to 25 characters are stored
  std::vector<int16_t> pcm;
  bool eightBit = false;
  uint32_t c5Speed = 8363;       // playback rate in Hz for note C-5
  uint32_t loopBegin = 0;
  uint32_t loopEnd = 0;
  bool pingPong = false;
  uint8_t defaultVolume = 64;    // 0..64
  uint8_t globalVolume = 64;     // 0..64
  int defaultPan = -1;           // 0..64, or -1 for the channel's pan
  uint8_t vibratoSpeed = 0;      // automatic vibrato: speed 0..64,
  uint8_t vibratoDepth = 0;      // depth 0..32,
  uint8_t vibratoSweep = 0;      // how quickly it reaches full depth 0..255,
  uint8_t vibratoWaveform = 0;   // 0 sine, 1 ramp down, 2 square, 3 random
};

// One cell: note (0..119 or a special value above), sample number (1-based, 0 none),
// volume column (0..64 volume, 128..192 pan, or itNoVolume), effect command and parameter.
struct ItCell {
  uint8_t note = itNoNote;
  uint8_t instrument = 0;
  uint8_t volume = itNoVolume;
  uint8_t effect = 0;
  uint8_t param = 0;
};

// rows × channels cells, row by row: cell (row, channel) is cells[row * channels + channel].
// Impulse Tracker itself edits 32..200 rows; libopenmpt also plays patterns of a single row.
struct ItPattern {
  int rows = 64;
  int channels = 1;
  std::vector<ItCell> cells;
};

struct ItModule {
  std::string title;                   // up to 25 characters are stored
  std::vector<uint8_t> orders;         // pattern numbers; the writer appends the end marker
  std::vector<ItPattern> patterns;
  std::vector<ItSample> samples;
  uint8_t initialSpeed = 6;            // ticks per row
  uint8_t initialTempo = 125;          // beats per minute; a tick lasts 2.5 / tempo seconds
  uint8_t globalVolume = 128;          // 0..128
  uint8_t mixVolume = 48;              // 0..128
  uint8_t panSeparation = 128;         // 0..128
  uint8_t rowsPerBeat = 4;             // the editor's row highlights
  uint8_t rowsPerMeasure = 16;
  std::vector<uint8_t> channelPan;     // per channel 0..64 (32 centre); missing ones centre
  std::vector<uint8_t> channelVolume;  // per channel 0..64; missing ones 64
};

// An empty pattern of the given shape.
ItPattern itPattern(int rows, int channels);
// The cell at (row, channel) of a pattern.
ItCell& itCell(ItPattern& pattern, int row, int channel);

// The module as the bytes of an .it file. Patterns are stored with the format's
// mask packing (channel byte, mask byte only when it changes, "same as last" bits).
std::vector<uint8_t> writeIt(const ItModule& module);

// A module whose orderCount orders each play their own pattern of rowsPerOrder rows,
// one channel, with a short audible tone (C-5: a decaying 441 Hz triangle, 0.1 s) on
// the first row of every order; title "timeline". Speed and tempo are the initial ones.
// timelineModule(18, 1, 1, 255) passes 18 orders in about 0.18 s (one row lasts
// 2.5 * speed / tempo seconds). Patterns of a single row load and play.
// Takes orderCount 1..200, rowsPerOrder 1..200, speed 1..255, tempo 32..255. Once the
// last order has played out, libopenmpt reports order 0 again.
std::vector<uint8_t> timelineModule(int orderCount, int rowsPerOrder, int speed, int tempo);

// As timelineModule, but the last row of order jumpAtOrder carries a position jump
// (effect B) to order jumpTo, so the orders after jumpAtOrder are never reached and
// the music loops over jumpTo..jumpAtOrder; title "jump". Takes jumpTo <= jumpAtOrder < orderCount.
std::vector<uint8_t> jumpModule(int orderCount, int jumpAtOrder, int jumpTo, int rowsPerOrder = 1,
                                int speed = 1, int tempo = 255);
