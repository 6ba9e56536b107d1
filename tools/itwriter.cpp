// Lays out an Impulse Tracker file: the 192-byte header, order list, offset tables,
// 80-byte sample headers, packed patterns and sample data, all little-endian.
#include "itwriter.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace {

constexpr size_t headerBytes = 0xC0;
constexpr size_t sampleHeaderBytes = 0x50;
constexpr size_t patternHeaderBytes = 8;
constexpr uint16_t formatVersion = 0x0214;
constexpr int maxChannels = 64;

void put8(std::vector<uint8_t>& out, size_t at, uint8_t value) { out[at] = value; }

void put16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void put32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  put16(out, at, value & 0xFFFF);
  put16(out, at + 2, value >> 16);
}

// A name field of fixed width, zero-padded, always ending in at least one zero byte.
void putName(std::vector<uint8_t>& out, size_t at, const std::string& name, size_t width) {
  size_t count = std::min(name.size(), width - 1);
  std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(count), out.begin() + static_cast<std::ptrdiff_t>(at));
}

// What the reader remembers per channel while unpacking, mirrored here so that
// repeated masks and values can be left out.
struct ChannelMemory {
  int mask = -1;
  int note = -1;
  int instrument = -1;
  int volume = -1;
  int effect = -1;
  int param = -1;
};

std::vector<uint8_t> packPattern(const ItPattern& pattern) {
  std::vector<uint8_t> packed;
  std::array<ChannelMemory, maxChannels> memory{};
  int channels = std::min(pattern.channels, maxChannels);
  for (int row = 0; row < pattern.rows; ++row) {
    for (int channel = 0; channel < channels; ++channel) {
      const ItCell& cell = pattern.cells[static_cast<size_t>(row * pattern.channels + channel)];
      ChannelMemory& last = memory[static_cast<size_t>(channel)];
      int mask = 0;
      if (cell.note != itNoNote) mask |= cell.note == last.note ? 0x10 : 0x01;
      if (cell.instrument != 0) mask |= cell.instrument == last.instrument ? 0x20 : 0x02;
      if (cell.volume != itNoVolume) mask |= cell.volume == last.volume ? 0x40 : 0x04;
      if (cell.effect != 0 || cell.param != 0)
        mask |= (cell.effect == last.effect && cell.param == last.param) ? 0x80 : 0x08;
      if (mask == 0) continue;
      if (mask == last.mask) {
        packed.push_back(static_cast<uint8_t>(channel + 1));
      } else {
        packed.push_back(static_cast<uint8_t>((channel + 1) | 0x80));
        packed.push_back(static_cast<uint8_t>(mask));
        last.mask = mask;
      }
      if (mask & 0x01) { packed.push_back(cell.note); last.note = cell.note; }
      if (mask & 0x02) { packed.push_back(cell.instrument); last.instrument = cell.instrument; }
      if (mask & 0x04) { packed.push_back(cell.volume); last.volume = cell.volume; }
      if (mask & 0x08) {
        packed.push_back(cell.effect);
        packed.push_back(cell.param);
        last.effect = cell.effect;
        last.param = cell.param;
      }
    }
    packed.push_back(0);
  }
  return packed;
}

void putSampleHeader(std::vector<uint8_t>& out, size_t at, const ItSample& sample, uint32_t dataOffset) {
  out[at] = 'I'; out[at + 1] = 'M'; out[at + 2] = 'P'; out[at + 3] = 'S';
  put8(out, at + 0x11, std::min<uint8_t>(sample.globalVolume, 64));
  uint8_t flags = 0;
  if (!sample.pcm.empty()) flags |= 0x01;
  if (!sample.eightBit) flags |= 0x02;
  bool looped = sample.loopEnd > sample.loopBegin;
  if (looped) flags |= 0x10;
  if (looped && sample.pingPong) flags |= 0x40;
  put8(out, at + 0x12, flags);
  put8(out, at + 0x13, std::min<uint8_t>(sample.defaultVolume, 64));
  putName(out, at + 0x14, sample.name, 26);
  put8(out, at + 0x2E, 0x01);  // signed sample values
  put8(out, at + 0x2F, sample.defaultPan >= 0 ? static_cast<uint8_t>(0x80 | std::min(sample.defaultPan, 64)) : 32);
  put32(out, at + 0x30, static_cast<uint32_t>(sample.pcm.size()));
  put32(out, at + 0x34, looped ? sample.loopBegin : 0);
  put32(out, at + 0x38, looped ? sample.loopEnd : 0);
  put32(out, at + 0x3C, sample.c5Speed);
  put32(out, at + 0x48, dataOffset);
  put8(out, at + 0x4C, std::min<uint8_t>(sample.vibratoSpeed, 64));
  put8(out, at + 0x4D, std::min<uint8_t>(sample.vibratoDepth, 32));
  put8(out, at + 0x4E, sample.vibratoSweep);
  put8(out, at + 0x4F, std::min<uint8_t>(sample.vibratoWaveform, 3));
}

size_t sampleDataBytes(const ItSample& sample) { return sample.pcm.size() * (sample.eightBit ? 1 : 2); }

void putSampleData(std::vector<uint8_t>& out, size_t at, const ItSample& sample) {
  for (int16_t value : sample.pcm) {
    auto bits = static_cast<uint16_t>(value);
    if (sample.eightBit) {
      out[at++] = static_cast<uint8_t>(bits >> 8);
    } else {
      put16(out, at, bits);
      at += 2;
    }
  }
}

// A decaying triangle tone of about 441 Hz at C-5, a tenth of a second long.
ItSample toneSample() {
  ItSample tone;
  tone.name = "tone";
  tone.c5Speed = 22050;
  constexpr int frames = 2205;
  constexpr int period = 50;
  for (int i = 0; i < frames; ++i) {
    int phase = i % period;
    int triangle = phase < period / 2 ? phase * 4 - period : (period - phase) * 4 - period;  // -50..50
    int level = 24000 * (frames - i) / frames;
    tone.pcm.push_back(static_cast<int16_t>(triangle * level / period));
  }
  return tone;
}

ItModule toneOrders(int orderCount, int rowsPerOrder, int speed, int tempo) {
  ItModule module;
  module.initialSpeed = static_cast<uint8_t>(speed);
  module.initialTempo = static_cast<uint8_t>(tempo);
  module.samples.push_back(toneSample());
  for (int order = 0; order < orderCount; ++order) {
    ItPattern pattern = itPattern(rowsPerOrder, 1);
    ItCell& first = itCell(pattern, 0, 0);
    first.note = itMiddleC;
    first.instrument = 1;
    module.patterns.push_back(pattern);
    module.orders.push_back(static_cast<uint8_t>(order));
  }
  return module;
}

}  // namespace

ItPattern itPattern(int rows, int channels) {
  ItPattern pattern;
  pattern.rows = rows;
  pattern.channels = channels;
  pattern.cells.resize(static_cast<size_t>(rows * channels));
  return pattern;
}

ItCell& itCell(ItPattern& pattern, int row, int channel) {
  return pattern.cells[static_cast<size_t>(row * pattern.channels + channel)];
}

std::vector<uint8_t> writeIt(const ItModule& module) {
  std::vector<std::vector<uint8_t>> packed;
  for (const ItPattern& pattern : module.patterns) packed.push_back(packPattern(pattern));

  size_t orderCount = module.orders.size() + 1;  // with the end marker
  size_t sampleCount = module.samples.size();
  size_t patternCount = module.patterns.size();
  size_t sampleHeadersAt = headerBytes + orderCount + 4 * sampleCount + 4 * patternCount;
  size_t patternsAt = sampleHeadersAt + sampleHeaderBytes * sampleCount;
  size_t sampleDataAt = patternsAt;
  for (const auto& data : packed) sampleDataAt += patternHeaderBytes + data.size();
  size_t total = sampleDataAt;
  for (const ItSample& sample : module.samples) total += sampleDataBytes(sample);

  std::vector<uint8_t> out(total, 0);
  out[0] = 'I'; out[1] = 'M'; out[2] = 'P'; out[3] = 'M';
  putName(out, 0x04, module.title, 26);
  put8(out, 0x1E, module.rowsPerBeat);
  put8(out, 0x1F, module.rowsPerMeasure);
  put16(out, 0x20, static_cast<uint32_t>(orderCount));
  put16(out, 0x22, 0);
  put16(out, 0x24, static_cast<uint32_t>(sampleCount));
  put16(out, 0x26, static_cast<uint32_t>(patternCount));
  put16(out, 0x28, formatVersion);
  put16(out, 0x2A, formatVersion);
  put16(out, 0x2C, 0x0009);  // stereo, linear slides; sample mode
  put16(out, 0x2E, 0);       // no message, no history
  put8(out, 0x30, std::min<uint8_t>(module.globalVolume, 128));
  put8(out, 0x31, std::min<uint8_t>(module.mixVolume, 128));
  put8(out, 0x32, module.initialSpeed);
  put8(out, 0x33, module.initialTempo);
  put8(out, 0x34, std::min<uint8_t>(module.panSeparation, 128));
  for (int channel = 0; channel < maxChannels; ++channel) {
    auto index = static_cast<size_t>(channel);
    put8(out, 0x40 + index, index < module.channelPan.size() ? std::min<uint8_t>(module.channelPan[index], 64) : 32);
    put8(out, 0x80 + index, index < module.channelVolume.size() ? std::min<uint8_t>(module.channelVolume[index], 64) : 64);
  }
  std::copy(module.orders.begin(), module.orders.end(), out.begin() + headerBytes);
  out[headerBytes + module.orders.size()] = 255;

  size_t tableAt = headerBytes + orderCount;
  size_t dataAt = sampleDataAt;
  for (size_t i = 0; i < sampleCount; ++i) {
    size_t at = sampleHeadersAt + i * sampleHeaderBytes;
    put32(out, tableAt + 4 * i, static_cast<uint32_t>(at));
    putSampleHeader(out, at, module.samples[i], static_cast<uint32_t>(dataAt));
    putSampleData(out, dataAt, module.samples[i]);
    dataAt += sampleDataBytes(module.samples[i]);
  }
  tableAt += 4 * sampleCount;
  size_t patternAt = patternsAt;
  for (size_t i = 0; i < patternCount; ++i) {
    put32(out, tableAt + 4 * i, static_cast<uint32_t>(patternAt));
    put16(out, patternAt, static_cast<uint32_t>(packed[i].size()));
    put16(out, patternAt + 2, static_cast<uint32_t>(module.patterns[i].rows));
    std::copy(packed[i].begin(), packed[i].end(), out.begin() + static_cast<std::ptrdiff_t>(patternAt + patternHeaderBytes));
    patternAt += patternHeaderBytes + packed[i].size();
  }
  return out;
}

std::vector<uint8_t> timelineModule(int orderCount, int rowsPerOrder, int speed, int tempo) {
  ItModule module = toneOrders(orderCount, rowsPerOrder, speed, tempo);
  module.title = "timeline";
  return writeIt(module);
}

std::vector<uint8_t> jumpModule(int orderCount, int jumpAtOrder, int jumpTo, int rowsPerOrder, int speed, int tempo) {
  ItModule module = toneOrders(orderCount, rowsPerOrder, speed, tempo);
  module.title = "jump";
  ItCell& last = itCell(module.patterns[static_cast<size_t>(jumpAtOrder)], rowsPerOrder - 1, 0);
  last.effect = itEffect('B');
  last.param = static_cast<uint8_t>(jumpTo);
  return writeIt(module);
}
