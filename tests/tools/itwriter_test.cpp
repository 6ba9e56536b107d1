// The IT writer's modules as libopenmpt reads and plays them: header fields, packed
// cells, and the order sequence of the test-module builders.
#include "itwriter.h"
#include "openmpt_load.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Plays for at most maxSeconds and lists each order as it becomes current, up to the
// end of the song's first pass (libopenmpt reports order 0 again once past the end).
std::vector<int> playedOrders(openmpt_module* module, double maxSeconds) {
  std::vector<int> orders;
  double duration = openmpt_module_get_duration_seconds(module);
  std::vector<int16_t> buffer(2 * 64);
  long frames = 0;
  while (frames < static_cast<long>(maxSeconds * 44100)) {
    size_t count = openmpt_module_read_interleaved_stereo(module, 44100, 64, buffer.data());
    if (count == 0) break;
    frames += static_cast<long>(count);
    if (openmpt_module_get_repeat_count(module) == 0 && openmpt_module_get_position_seconds(module) >= duration) break;
    int order = openmpt_module_get_current_order(module);
    if (orders.empty() || orders.back() != order) orders.push_back(order);
  }
  return orders;
}

std::vector<int> range(int first, int last) {
  std::vector<int> values;
  for (int value = first; value <= last; ++value) values.push_back(value);
  return values;
}

std::vector<int> concat(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct BuilderCase {
  const char* name;
  std::vector<uint8_t> bytes;
  const char* title;
  int orderCount;
  int repeatCount;          // 0: one pass; -1: forever, cut at maxSeconds
  double maxSeconds;
  std::vector<int> played;  // the orders in the sequence they become current
};

TEST(ItWriterBuilders, LoadCleanlyAndPlayTheirOrdersInTurn) {
  const BuilderCase cases[] = {
      {"18 one-row orders at the fastest tempo", timelineModule(18, 1, 1, 255), "timeline", 18, 0, 5, range(0, 17)},
      {"two-row orders", timelineModule(18, 2, 1, 255), "timeline", 18, 0, 5, range(0, 17)},
      {"full 64-row orders at speed 6", timelineModule(3, 64, 6, 125), "timeline", 3, 0, 30, range(0, 2)},
      {"single order", timelineModule(1, 1, 1, 255), "timeline", 1, 0, 5, {0}},
      {"jump from 9 back to 4, one pass", jumpModule(18, 9, 4), "jump", 18, 0, 5, range(0, 9)},
      {"jump from 9 back to 4, looping", jumpModule(18, 9, 4), "jump", 18, -1, 0.25,
       concat(concat(range(0, 9), range(4, 9)), range(4, 9))},
      {"jump from the first order to itself", jumpModule(5, 0, 0, 4, 2, 200), "jump", 5, -1, 0.5, {0}},
  };
  for (const BuilderCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto loaded = loadModule(c.bytes);
    ASSERT_NE(loaded->module, nullptr) << loaded->log.back();
    EXPECT_TRUE(loaded->log.empty()) << loaded->log.front();
    EXPECT_EQ(metadata(loaded->module, "type"), "it");
    EXPECT_EQ(metadata(loaded->module, "title"), c.title);
    EXPECT_EQ(openmpt_module_get_num_orders(loaded->module), c.orderCount);
    ASSERT_EQ(openmpt_module_set_repeat_count(loaded->module, c.repeatCount), 1);
    std::vector<int> played = playedOrders(loaded->module, c.maxSeconds);
    if (c.repeatCount < 0) played.resize(std::min(played.size(), c.played.size()));
    EXPECT_EQ(played, c.played);
  }
}

TEST(ItWriterBuilders, TimelineModuleIsAudibleOnEveryOrder) {
  auto loaded = loadModule(timelineModule(4, 8, 3, 125));
  ASSERT_NE(loaded->module, nullptr);
  std::vector<int16_t> buffer(2 * 64);
  std::vector<int> peakPerOrder(4, 0);
  while (size_t count = openmpt_module_read_interleaved_stereo(loaded->module, 44100, 64, buffer.data())) {
    int order = openmpt_module_get_current_order(loaded->module);
    for (size_t i = 0; i < 2 * count; ++i)
      peakPerOrder[static_cast<size_t>(order)] = std::max(peakPerOrder[static_cast<size_t>(order)], std::abs(int{buffer[i]}));
  }
  for (int order = 0; order < 4; ++order) EXPECT_GT(peakPerOrder[static_cast<size_t>(order)], 1000) << "order " << order;
}

// Each written cell reads back as written, whichever packing shortcut stored it.
TEST(ItWriter, CellsReadBackThroughPacking) {
  ItModule module;
  module.title = "a title of exactly 25 chr and more";
  module.initialSpeed = 4;
  module.initialTempo = 150;
  ItSample sample;
  sample.name = "square";
  for (int i = 0; i < 200; ++i) sample.pcm.push_back(static_cast<int16_t>(i % 20 < 10 ? 8000 : -8000));
  sample.loopBegin = 0;
  sample.loopEnd = 200;
  module.samples = {sample, sample};
  module.samples[1].name = "square8";
  module.samples[1].eightBit = true;
  ItPattern pattern = itPattern(6, 4);
  itCell(pattern, 0, 0) = {itMiddleC, 1, 64, itEffect('A'), 3};
  itCell(pattern, 1, 0) = {itMiddleC, 1, 64, itEffect('A'), 3};  // every value as before
  itCell(pattern, 2, 0) = {itNoteOff, 0, itNoVolume, 0, 0};
  itCell(pattern, 3, 0) = {itMiddleC, 2, 64, 0, 0};            // note and volume remembered
  itCell(pattern, 0, 3) = {24, 2, 128 + 10, itEffect('D'), 0x0F};
  itCell(pattern, 4, 1) = {itNoteCut, 0, 32, itEffect('T'), 200};
  itCell(pattern, 5, 3) = {119, 1, itNoVolume, itEffect('D'), 0x0F};
  module.patterns = {pattern};
  module.orders = {0, 0};

  auto loaded = loadModule(writeIt(module));
  ASSERT_NE(loaded->module, nullptr) << loaded->log.back();
  EXPECT_TRUE(loaded->log.empty()) << loaded->log.front();
  EXPECT_EQ(metadata(loaded->module, "title"), "a title of exactly 25 chr");
  EXPECT_EQ(openmpt_module_get_num_orders(loaded->module), 2);
  EXPECT_EQ(openmpt_module_get_num_samples(loaded->module), 2);
  const char* name = openmpt_module_get_sample_name(loaded->module, 1);
  EXPECT_STREQ(name, "square8");
  openmpt_free_string(name);
  EXPECT_EQ(openmpt_module_get_pattern_num_rows(loaded->module, 0), 6);
  EXPECT_EQ(openmpt_module_get_current_speed(loaded->module), 4);
  EXPECT_EQ(openmpt_module_get_current_tempo(loaded->module), 150);

  const char* expected[6][4] = {
      {"C-5 01v40 A03", "... .. .. ...", "... .. .. ...", "C-2 02p0A D0F"},
      {"C-5 01v40 A03", "... .. .. ...", "... .. .. ...", "... .. .. ..."},
      {"=== .. .. ...", "... .. .. ...", "... .. .. ...", "... .. .. ..."},
      {"C-5 02v40 ...", "... .. .. ...", "... .. .. ...", "... .. .. ..."},
      {"... .. .. ...", "^^^ ..v20 TC8", "... .. .. ...", "... .. .. ..."},
      {"... .. .. ...", "... .. .. ...", "... .. .. ...", "B-9 01 .. D0F"},
  };
  for (int row = 0; row < 6; ++row)
    for (int channel = 0; channel < 4; ++channel) {
      const char* cell = openmpt_module_format_pattern_row_channel(loaded->module, 0, row, channel, 0, 1);
      EXPECT_STREQ(cell, expected[row][channel]) << "row " << row << " channel " << channel;
      openmpt_free_string(cell);
    }
}

}  // namespace
