// "Marigold", the demo's music: eight samples synthesised with integer arithmetic and
// eighteen orders composed from a table of order plans (chords, drums, bass, arpeggio, lead).
#include "datagen.h"
#include "itwriter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// ---- Synthesis ------------------------------------------------------------------

constexpr int drumRate = 44100;
constexpr int64_t c5MilliHz = 523251;  // C-5 sounds at 523.251 Hz in every tonal sample
constexpr int64_t unit = int64_t{1} << 30;  // 1.0 for envelope levels

// Sine of a 16-bit phase (65536 per turn), -32767..32767, by the rational
// approximation 16u(h-u) / (5h^2 - 4u(h-u)) over each half turn h: close enough
// for sound and the same on every machine.
int64_t sine(int64_t phase) {
  int64_t p = phase & 0xFFFF;
  int64_t u = p & 0x7FFF;
  int64_t v = u * (32768 - u);
  int64_t s = 16 * v * 32767 / (5 * int64_t{32768} * 32768 - 4 * v);
  return p >= 32768 ? -s : s;
}

// A level that falls by 1/tau of itself per frame: exponential decay with time constant tau.
void decay(int64_t& level, int64_t tau) { level -= level / tau; }

// Scales to the given peak so every sample starts from the same headroom.
std::vector<int16_t> normalised(const std::vector<int64_t>& raw, int64_t peak) {
  int64_t highest = 1;
  for (int64_t value : raw) highest = std::max(highest, std::abs(value));
  std::vector<int16_t> pcm;
  for (int64_t value : raw) pcm.push_back(static_cast<int16_t>(value * peak / highest));
  return pcm;
}

int64_t frames(int64_t rate, int milliseconds) { return rate * milliseconds / 1000; }

// The rate at which a waveform of period frames plays in tune at C-5.
uint32_t tonalC5Speed(int period) { return static_cast<uint32_t>(c5MilliHz * period / 1000); }

ItSample kickSample() {
  ItSample sample;
  sample.name = "kick";
  sample.c5Speed = drumRate;
  std::vector<int64_t> raw;
  int64_t pitch = unit, level = unit;
  uint32_t phase = 0;
  for (int64_t i = 0; i < frames(drumRate, 420); ++i) {
    int64_t milliHz = 44000 + 130000 * pitch / unit;  // 174 Hz falling to 44 Hz
    phase += static_cast<uint32_t>(milliHz * (int64_t{1} << 32) / (drumRate * 1000));
    int64_t click = i < 90 ? (90 - i) * 120 : 0;
    raw.push_back((sine(phase >> 16) + click) * level / unit);
    decay(pitch, frames(drumRate, 28));
    decay(level, frames(drumRate, 150));
  }
  sample.pcm = normalised(raw, 30000);
  return sample;
}

ItSample snareSample() {
  ItSample sample;
  sample.name = "snare";
  sample.c5Speed = drumRate;
  std::vector<int64_t> raw;
  Random random{0x5A4E7E01u};
  int64_t toneLevel = unit, noiseLevel = unit, previous = 0;
  uint32_t phase = 0;
  for (int64_t i = 0; i < frames(drumRate, 300); ++i) {
    phase += static_cast<uint32_t>(int64_t{188000} * (int64_t{1} << 32) / (drumRate * 1000));
    int64_t white = static_cast<int64_t>(nextRandom(random) % 65536) - 32768;
    int64_t bright = white - previous / 2;  // tilt the noise towards the top
    previous = white;
    raw.push_back(sine(phase >> 16) * toneLevel / unit * 6 / 10 + bright * noiseLevel / unit);
    decay(toneLevel, frames(drumRate, 45));
    decay(noiseLevel, frames(drumRate, 80));
  }
  sample.pcm = normalised(raw, 26000);
  return sample;
}

// Noise through a second difference (a steep high pass), decaying with tau milliseconds.
std::vector<int64_t> metalNoise(uint32_t seed, int rate, int milliseconds, int tau) {
  std::vector<int64_t> raw;
  Random random{seed};
  int64_t level = unit, w1 = 0, w2 = 0;
  for (int64_t i = 0; i < frames(rate, milliseconds); ++i) {
    int64_t white = static_cast<int64_t>(nextRandom(random) % 65536) - 32768;
    raw.push_back((white - 2 * w1 + w2) / 4 * level / unit);
    w2 = w1;
    w1 = white;
    decay(level, frames(rate, tau));
  }
  return raw;
}

ItSample hatSample() {
  ItSample sample;
  sample.name = "hat";
  sample.c5Speed = drumRate;
  sample.pcm = normalised(metalNoise(0x4A7u, drumRate, 140, 28), 20000);
  return sample;
}

ItSample crashSample() {
  ItSample sample;
  sample.name = "crash";
  sample.c5Speed = drumRate / 2;
  sample.pcm = normalised(metalNoise(0xC4A54u, drumRate / 2, 1800, 520), 20000);
  return sample;
}

// A plucked tone: harmonics 1..count of a waveform period frames long, each with
// weight 1/h and a decay that gets quicker with height, so the tone mellows as it fades.
ItSample pluckSample(const char* name, int period, int milliseconds, int tau, int count, int subWeight) {
  ItSample sample;
  sample.name = name;
  sample.c5Speed = tonalC5Speed(period);
  int64_t rate = sample.c5Speed;
  std::vector<int64_t> levels(static_cast<size_t>(count) + 1, unit);
  std::vector<int64_t> raw;
  for (int64_t i = 0; i < frames(rate, milliseconds); ++i) {
    int64_t value = sine(i * 65536 / period) * subWeight / 100 * levels[1] / unit;
    for (int h = 1; h <= count; ++h) {
      auto index = static_cast<size_t>(h);
      value += sine(i * h * 65536 / period) / h * levels[index] / unit;
      decay(levels[index], frames(rate, tau) * 3 / (2 + h));
    }
    int64_t attack = std::min<int64_t>(i, 64);
    raw.push_back(value * attack / 64);
  }
  sample.pcm = normalised(raw, 24000);
  return sample;
}

struct Oscillator {
  int cycles;  // whole cycles within the loop, so the loop joins without a seam
  int weight;  // percent
};

// A sustained tone looping loopCycles periods: detuned oscillators whose cycle counts
// all fit the loop, harmonics 1..count falling off as 1/h (odd ones by oddBoost percent),
// a swell of attackMs before the loop and a fall to sustainPercent over it.
ItSample sustainedSample(const char* name, int period, int loopCycles, const Oscillator* oscillators, int oscillatorCount,
                         int count, int oddBoost, int attackMs, int sustainPercent) {
  ItSample sample;
  sample.name = name;
  sample.c5Speed = tonalC5Speed(period);
  int64_t rate = sample.c5Speed;
  int64_t loopLength = static_cast<int64_t>(period) * loopCycles;
  int64_t attack = frames(rate, attackMs);
  int64_t loopStart = (attack + loopLength - 1) / loopLength * loopLength;
  std::vector<int64_t> raw;
  for (int64_t i = 0; i < loopStart + loopLength; ++i) {
    int64_t value = 0;
    for (int o = 0; o < oscillatorCount; ++o) {
      for (int h = 1; h <= count; ++h) {
        int64_t weight = (h % 2 ? 100 + oddBoost : 100) * oscillators[o].weight / (h * (1 + h * h / 40));
        value += sine(i * oscillators[o].cycles * h * 65536 / loopLength) * weight / 10000;
      }
    }
    int64_t envelope = 100;
    if (i < attack) envelope = 100 * i / attack;
    else if (i < loopStart) envelope = 100 - (100 - sustainPercent) * (i - attack) / std::max<int64_t>(1, loopStart - attack);
    else envelope = sustainPercent;
    raw.push_back(value * envelope / 100);
  }
  sample.pcm = normalised(raw, 24000);
  sample.loopBegin = static_cast<uint32_t>(loopStart);
  sample.loopEnd = static_cast<uint32_t>(loopStart + loopLength);
  return sample;
}

constexpr Oscillator padOscillators[] = {{200, 100}, {201, 80}, {199, 80}};
constexpr Oscillator leadOscillators[] = {{100, 100}, {101, 45}};

ItSample padSample() {
  return sustainedSample("pad", 168, 200, padOscillators, static_cast<int>(std::size(padOscillators)), 14, 0, 360, 100);
}

ItSample leadSample() {
  ItSample sample =
      sustainedSample("lead", 84, 100, leadOscillators, static_cast<int>(std::size(leadOscillators)), 9, 160, 15, 70);
  sample.vibratoSpeed = 9;
  sample.vibratoDepth = 5;
  sample.vibratoSweep = 40;
  return sample;
}

// Sample numbers, 1-based in the module.
enum SampleNumber { kick = 1, snare, hat, bass, pad, lead, pluck, crash };

std::vector<ItSample> samples() {
  return {kickSample(),
          snareSample(),
          hatSample(),
          pluckSample("bass", 337, 300, 110, 7, 60),
          padSample(),
          leadSample(),
          pluckSample("pluck", 96, 600, 180, 10, 0),
          crashSample()};
}

// ---- Composition ----------------------------------------------------------------

constexpr int rowsPerBar = 16;
constexpr int barsPerOrder = 4;

// Channels, in the order they sit in the patterns.
enum Channel { kickChannel, snareChannel, hatChannel, bassChannel, padLow, padMiddle, padHigh, leadChannel, arpChannel,
               crashChannel, channelCount };
constexpr uint8_t channelPans[channelCount] = {32, 28, 42, 32, 18, 32, 46, 26, 40, 22};

struct Chord {
  int tones[3];  // pitch classes, root first (C = 0)
};
constexpr Chord am{{9, 0, 4}}, fMajor{{5, 9, 0}}, cMajor{{0, 4, 7}}, gMajor{{7, 11, 2}}, em{{4, 7, 11}},
    eMajor{{4, 8, 11}}, dm{{2, 5, 9}};

enum class Drums { none, hats, halfTime, build, groove, drive, light };
enum class Bass { none, held, pulse, drive };
enum class Arp { none, eighths, sixteenths, high };

// A bar of a melody: sixteen row tokens, "A-5" a note, "G#6" a sharp, "." nothing, "^" a cut.
using Melody = const char* [barsPerOrder];

constexpr Melody themeA = {
    "E-5 . . . A-5 . . . B-5 . C-6 . B-5 . A-5 .",
    "C-6 . . . . . A-5 . F-5 . . . A-5 . C-6 .",
    "E-6 . . . D-6 . C-6 . G-5 . . . . . E-5 .",
    "D-5 . . . G-5 . . . B-5 . . . D-6 . . .",
};
constexpr Melody themeA2 = {
    "E-5 . . . A-5 . . . B-5 . C-6 . B-5 . A-5 .",
    "C-6 . . . . . A-5 . F-5 . . . A-5 . C-6 .",
    "E-6 . . . G-6 . E-6 . C-6 . . . . . E-6 .",
    "D-6 . . . . . B-5 . G-5 . . . B-5 . . .",
};
constexpr Melody themeB = {
    "A-5 . C-6 . E-6 . . . D-6 . C-6 . B-5 . C-6 .",
    "A-5 . . . . . . . F-5 . A-5 . C-6 . F-6 .",
    "G-6 . . . E-6 . . . C-6 . . . E-6 . G-6 .",
    "F-6 . . . . . D-6 . . . B-5 . . . . .",
};
constexpr Melody themeB2 = {
    "A-5 . C-6 . E-6 . . . D-6 . C-6 . B-5 . C-6 .",
    "A-5 . . . . . . . F-5 . A-5 . C-6 . F-6 .",
    "G-6 . . . E-6 . . . C-6 . D-6 . E-6 . G-6 .",
    "B-6 . . . . . . . A-6 . . . G-6 . ^ .",
};
constexpr Melody climaxA = {
    "A-6 . . . . . G-6 . F-6 . . . E-6 . F-6 .",
    "G-6 . . . . . . . D-6 . . . B-5 . D-6 .",
    "E-6 . . . G-6 . . . B-6 . . . A-6 . G-6 .",
    "A-6 . . . . . . . . . . . E-6 . C-6 .",
};
constexpr Melody climaxB = {
    "A-6 . . . C-7 . . . A-6 . . . F-6 . . .",
    "G-6 . . . B-6 . . . D-7 . . . B-6 . . .",
    "G#6 . . . . . . . B-6 . . . . . . .",
    "G#6 . . . . . . . ^ . . . . . . .",
};
constexpr Melody farewell = {
    "E-6 . . . . . . . C-6 . . . . . . .",
    "A-5 . . . . . . . . . . . . . . .",
    "F-5 . . . . . . . D-5 . . . . . . .",
    "E-5 . . . . . . . B-4 . . . ^ . . .",
};

struct OrderPlan {
  int rows;
  const Chord* chords[barsPerOrder];
  Drums drums;
  Bass bass;
  Arp arp;
  const Melody* melody;      // null: the lead rests
  int leadVolume;            // 0..64
  int padVolume;             // per voice, 0..64
  bool crashAtStart;
  bool fillInLastBar;        // a snare roll into the next section
  int barPercent[barsPerOrder];  // overall loudness of each bar
};

// The music, order by order: intro 0-3, main part 4-9, climax 10-13, outro 14-16, coda 17.
constexpr OrderPlan plans[] = {
    {64, {&am, &am, &fMajor, &fMajor}, Drums::none, Bass::none, Arp::eighths, nullptr, 0, 30, false, false, {80, 90, 100, 100}},
    {64, {&am, &fMajor, &cMajor, &gMajor}, Drums::hats, Bass::none, Arp::eighths, nullptr, 0, 28, false, false, {100, 100, 100, 100}},
    {64, {&am, &fMajor, &cMajor, &gMajor}, Drums::halfTime, Bass::held, Arp::sixteenths, nullptr, 0, 20, false, false, {100, 100, 100, 100}},
    {64, {&am, &fMajor, &cMajor, &gMajor}, Drums::build, Bass::pulse, Arp::sixteenths, nullptr, 0, 20, false, true, {100, 100, 100, 100}},
    {64, {&am, &fMajor, &cMajor, &gMajor}, Drums::groove, Bass::pulse, Arp::sixteenths, &themeA, 44, 18, true, false, {100, 100, 100, 100}},
    {64, {&am, &fMajor, &cMajor, &gMajor}, Drums::groove, Bass::pulse, Arp::sixteenths, &themeA2, 44, 18, false, false, {100, 100, 100, 100}},
    {64, {&am, &fMajor, &cMajor, &gMajor}, Drums::groove, Bass::pulse, Arp::sixteenths, &themeB, 44, 18, false, false, {100, 100, 100, 100}},
    {64, {&am, &fMajor, &cMajor, &gMajor}, Drums::groove, Bass::pulse, Arp::sixteenths, &themeB2, 44, 18, false, false, {100, 100, 100, 100}},
    {64, {&am, &fMajor, &cMajor, &gMajor}, Drums::groove, Bass::pulse, Arp::sixteenths, &themeA, 44, 18, false, false, {100, 100, 100, 100}},
    {64, {&am, &fMajor, &dm, &gMajor}, Drums::groove, Bass::pulse, Arp::sixteenths, &themeB2, 44, 18, false, true, {100, 100, 100, 100}},
    {64, {&fMajor, &gMajor, &em, &am}, Drums::drive, Bass::drive, Arp::high, &climaxA, 48, 20, true, false, {100, 100, 100, 100}},
    {64, {&fMajor, &gMajor, &em, &am}, Drums::drive, Bass::drive, Arp::high, &climaxB, 48, 20, false, false, {100, 100, 100, 100}},
    {64, {&fMajor, &gMajor, &em, &am}, Drums::drive, Bass::drive, Arp::high, &climaxA, 48, 20, false, false, {100, 100, 100, 100}},
    {64, {&fMajor, &gMajor, &eMajor, &eMajor}, Drums::drive, Bass::drive, Arp::high, &climaxB, 48, 20, false, true, {100, 100, 100, 100}},
    {64, {&am, &fMajor, &cMajor, &gMajor}, Drums::light, Bass::pulse, Arp::sixteenths, &themeA, 36, 20, true, false, {100, 100, 100, 100}},
    {64, {&am, &fMajor, &dm, &eMajor}, Drums::halfTime, Bass::held, Arp::eighths, &farewell, 34, 20, false, false, {100, 95, 90, 85}},
    {64, {&fMajor, &gMajor, &am, &am}, Drums::none, Bass::held, Arp::eighths, nullptr, 0, 20, false, false, {85, 72, 60, 48}},
    {16, {&am, &am, &am, &am}, Drums::none, Bass::none, Arp::none, nullptr, 0, 12, false, false, {40, 40, 40, 40}},
};

// The note of pitch class tone nearest above low (IT numbering, C-5 = 60).
int noteAbove(int tone, int low) { return low + ((tone - low) % 12 + 12) % 12; }

int parseNote(const std::string& token) {
  static constexpr const char* names[] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
  for (size_t i = 0; i < std::size(names); ++i)
    if (token.compare(0, 2, names[i]) == 0) return static_cast<int>(i) + 12 * (token[2] - '0');
  return -1;
}

struct Writer {
  ItPattern& pattern;
  const OrderPlan& plan;
};

void put(Writer& w, int row, int channel, int note, int sample, int volume, int bar) {
  if (row >= w.pattern.rows) return;
  ItCell& cell = itCell(w.pattern, row, channel);
  cell.note = static_cast<uint8_t>(note);
  cell.instrument = static_cast<uint8_t>(sample);
  cell.volume = static_cast<uint8_t>(std::clamp(volume * w.plan.barPercent[bar] / 100, 0, 64));
}

void writeDrums(Writer& w, int bar, bool lastBar) {
  int top = bar * rowsPerBar;
  const Drums drums = w.plan.drums;
  bool fill = lastBar && w.plan.fillInLastBar;
  for (int step = 0; step < rowsPerBar; ++step) {
    int row = top + step;
    bool beat = step % 4 == 0;
    switch (drums) {
      case Drums::none:
        break;
      case Drums::hats:
        if (step % 4 == 2) put(w, row, hatChannel, itMiddleC, hat, 26, bar);
        break;
      case Drums::halfTime:
      case Drums::light:
        if (step == 0 || (drums == Drums::light && step == 8)) put(w, row, kickChannel, itMiddleC, kick, 54, bar);
        if (step % 4 == 2) put(w, row, hatChannel, itMiddleC, hat, 28, bar);
        if (drums == Drums::light && step == 12) put(w, row, snareChannel, itMiddleC, snare, 34, bar);
        break;
      case Drums::build:
      case Drums::groove:
      case Drums::drive:
        if (beat || (drums == Drums::drive && step == 14)) put(w, row, kickChannel, itMiddleC, kick, 52, bar);
        if (!fill && (step == 4 || step == 12)) put(w, row, snareChannel, itMiddleC, snare, 50, bar);
        if (drums == Drums::drive && !fill && step == 15) put(w, row, snareChannel, itMiddleC, snare, 18, bar);
        if (drums == Drums::drive) put(w, row, hatChannel, itMiddleC, hat, step % 2 ? 20 : 30, bar);
        else if (step % 2 == 0 && !beat) put(w, row, hatChannel, itMiddleC, hat, step % 4 == 2 ? 30 : 18, bar);
        break;
    }
    if (fill && step >= 8) put(w, row, snareChannel, itMiddleC, snare, 22 + (step - 8) * 4, bar);
  }
}

void writeBass(Writer& w, int bar, const Chord& chord) {
  int top = bar * rowsPerBar;
  int root = noteAbove(chord.tones[0], 28);  // E-2 .. D#-3
  int fifth = noteAbove(chord.tones[2], root);
  switch (w.plan.bass) {
    case Bass::none:
      break;
    case Bass::held:
      put(w, top, bassChannel, root, bass, 52, bar);
      put(w, top + 10, bassChannel, root, bass, 40, bar);
      break;
    case Bass::pulse:
      for (int step = 0; step < rowsPerBar; step += 2)
        put(w, top + step, bassChannel, step % 4 == 2 ? root + 12 : root, bass, step % 4 == 2 ? 40 : 50, bar);
      break;
    case Bass::drive: {
      constexpr int steps[] = {0, 3, 6, 8, 10, 11, 14};
      constexpr int offsets[] = {0, 0, 12, 0, 7, 12, 0};
      for (size_t i = 0; i < std::size(steps); ++i) {
        int note = offsets[i] == 7 ? fifth : root + offsets[i];
        put(w, top + steps[i], bassChannel, note, bass, i == 0 ? 54 : 46, bar);
      }
      break;
    }
  }
}

void writePad(Writer& w, int bar, const Chord& chord, const Chord* previous) {
  if (previous == &chord && w.plan.barPercent[bar] == w.plan.barPercent[bar - 1]) return;  // let it ring on
  constexpr Channel voices[] = {padLow, padMiddle, padHigh};
  int notes[3];
  for (int i = 0; i < 3; ++i) notes[i] = noteAbove(chord.tones[i], 53);  // F-4 .. E-5, close voicing
  std::sort(notes, notes + 3);
  for (int i = 0; i < 3; ++i) put(w, bar * rowsPerBar, voices[i], notes[i], pad, w.plan.padVolume, bar);
}

void writeArp(Writer& w, int bar, const Chord& chord) {
  if (w.plan.arp == Arp::none) return;
  int low = w.plan.arp == Arp::high ? 69 : 57;
  int tones[5];
  for (int i = 0; i < 3; ++i) tones[i] = noteAbove(chord.tones[i], low);
  std::sort(tones, tones + 3);
  tones[3] = tones[0] + 12;
  tones[4] = tones[1] + 12;
  constexpr int sixteenths[rowsPerBar] = {0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 4, 3, 2, 1, 2, 3};
  constexpr int eighths[rowsPerBar / 2] = {0, 2, 1, 3, 2, 4, 3, 1};
  int top = bar * rowsPerBar;
  if (w.plan.arp == Arp::eighths) {
    for (int step = 0; step < rowsPerBar / 2; ++step)
      put(w, top + step * 2, arpChannel, tones[eighths[step]], pluck, 26, bar);
  } else {
    for (int step = 0; step < rowsPerBar; ++step)
      put(w, top + step, arpChannel, tones[sixteenths[step]], pluck, step % 4 == 0 ? 24 : 17, bar);
  }
}

void writeLead(Writer& w, int bar) {
  if (!w.plan.melody) return;
  std::string line = (*w.plan.melody)[bar];
  int step = 0;
  size_t at = 0;
  while (at < line.size() && step < rowsPerBar) {
    size_t end = line.find(' ', at);
    if (end == std::string::npos) end = line.size();
    std::string token = line.substr(at, end - at);
    int row = bar * rowsPerBar + step;
    if (token == "^") {
      put(w, row, leadChannel, itNoteCut, 0, 0, bar);
      itCell(w.pattern, row, leadChannel).volume = itNoVolume;
    } else if (token != ".") {
      put(w, row, leadChannel, parseNote(token), lead, w.plan.leadVolume, bar);
    }
    ++step;
    at = end + 1;
  }
}

ItPattern orderPattern(const OrderPlan& plan) {
  ItPattern pattern = itPattern(plan.rows, channelCount);
  Writer w{pattern, plan};
  int bars = (plan.rows + rowsPerBar - 1) / rowsPerBar;
  for (int bar = 0; bar < bars; ++bar) {
    const Chord& chord = *plan.chords[bar];
    writeDrums(w, bar, bar == bars - 1);
    writeBass(w, bar, chord);
    writePad(w, bar, chord, bar > 0 ? plan.chords[bar - 1] : nullptr);
    writeArp(w, bar, chord);
    writeLead(w, bar);
  }
  if (plan.crashAtStart) put(w, 0, crashChannel, itMiddleC, crash, 44, 0);
  return pattern;
}

}  // namespace

std::vector<uint8_t> marigoldModule() {
  ItModule module;
  module.title = "Marigold";
  module.initialSpeed = 6;
  module.initialTempo = 125;  // 0.12 s a row, 7.68 s an order of 64 rows
  module.globalVolume = 128;
  module.mixVolume = 80;
  module.samples = samples();
  module.channelPan.assign(std::begin(channelPans), std::end(channelPans));
  for (const OrderPlan& plan : plans) {
    module.orders.push_back(static_cast<uint8_t>(module.patterns.size()));
    module.patterns.push_back(orderPattern(plan));
  }
  return writeIt(module);
}
