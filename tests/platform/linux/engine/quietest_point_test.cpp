#include "platform/linux/engine/quietest_point.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace earshot::platform::linuxos {
namespace {

// A 200 Hz tone at `level` with quieter stretches: {start, length, level}.
struct Stretch {
  size_t start, length;
  double level;
};
std::vector<int16_t> toneWith(size_t length, const std::vector<Stretch>& stretches) {
  std::vector<int16_t> samples(length);
  for (size_t n = 0; n < length; ++n) {
    double level = 10000;
    for (const Stretch& stretch : stretches) {
      if (n >= stretch.start && n < stretch.start + stretch.length) level = stretch.level;
    }
    samples[n] = int16_t(level * std::sin(2 * M_PI * 200 * double(n) / 16000));
  }
  return samples;
}

TEST(QuietestPoint, FallsInsideTheQuietestStretch) {
  struct Case {
    const char* name;
    std::vector<Stretch> stretches;
    size_t from, to;  // the cut must fall in [from, to)
  } cases[] = {
      {"a gap in the middle", {{16000, 800, 0}}, 16000, 16800},
      {"a gap at the very start", {{0, 640, 0}}, 0, 640},
      {"a gap at the very end", {{31360, 640, 0}}, 31360, 32000},
      {"the quieter of two dips", {{4000, 800, 3000}, {24000, 800, 500}}, 24000, 24800},
      {"a dip shorter than a block still counts", {{9000, 200, 0}}, 8680, 9520},
  };
  for (const Case& c : cases) {
    auto samples = toneWith(32000, c.stretches);
    size_t cut = quietestPoint(samples, 320);
    EXPECT_GE(cut, c.from) << c.name;
    EXPECT_LT(cut, c.to) << c.name;
  }
}

TEST(QuietestPoint, ShortOrEvenAudioIsCutSomewhereInside) {
  std::vector<int16_t> none;
  EXPECT_EQ(quietestPoint(none, 320), 0u);
  std::vector<int16_t> shorter(100, 5);
  EXPECT_EQ(quietestPoint(shorter, 320), 50u);
  std::vector<int16_t> even(3200, 7);
  EXPECT_LT(quietestPoint(even, 320), even.size());
  // A block size of zero is taken as one sample.
  std::vector<int16_t> dip = {9, 9, 0, 9};
  EXPECT_EQ(quietestPoint(dip, 0), 2u);
}

}  // namespace
}  // namespace earshot::platform::linuxos
