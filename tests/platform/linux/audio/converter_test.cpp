#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "platform/linux/audio/soxr_converter.h"

namespace earshot::platform::linuxos {
namespace {

AudioFormat mono(double rate) {
  return AudioFormat{CommonFormat::int16, rate, 1, false};
}

std::vector<int16_t> sine(double frequency, double rate, size_t frames) {
  std::vector<int16_t> samples(frames);
  for (size_t i = 0; i < frames; ++i) {
    samples[i] = static_cast<int16_t>(
        std::lround(12000.0 * std::sin(2 * std::numbers::pi * frequency * double(i) / rate)));
  }
  return samples;
}

std::unique_ptr<PcmBuffer> bufferOf(const std::vector<int16_t>& samples, size_t from, size_t count,
                                    double rate) {
  auto buffer = std::make_unique<PcmBuffer>(mono(rate), static_cast<uint32_t>(count));
  std::copy_n(samples.begin() + from, count, buffer->int16ChannelData());
  buffer->setFrameLength(static_cast<uint32_t>(count));
  return buffer;
}

struct Conversion {
  std::vector<int16_t> output;
  std::vector<ConverterOutputStatus> conversions;  // one per conversion call with input
  std::vector<ConverterOutputStatus> drain;        // one per drain round
  size_t drained = 0;                              // frames that came out at the drain
};

// Converts as a live session does: one call per 100 ms message with a
// one-shot input and room for everything plus 512 frames (or only `room`
// frames, then more calls without input while the output fills up), then
// rounds of `drainRoom` frames with end of stream until the converter says
// it has given out everything.
Conversion convertLikeASession(AudioConverter& converter, const std::vector<int16_t>& input,
                               double from, double to, uint32_t room = 0,
                               uint32_t drainRoom = 4096) {
  Conversion run;
  auto append = [&](const PcmBuffer& out) {
    run.output.insert(run.output.end(), out.int16ChannelData(),
                      out.int16ChannelData() + out.frameLength());
  };
  const size_t message = static_cast<size_t>(from / 10);
  for (size_t at = 0; at < input.size(); at += message) {
    size_t count = std::min(message, input.size() - at);
    std::unique_ptr<PcmBuffer> pending = bufferOf(input, at, count, from);
    int asked = 0;
    ConverterInputBlock oneShot = [&](uint32_t, ConverterInputStatus& status) {
      ++asked;
      status = pending ? ConverterInputStatus::haveData : ConverterInputStatus::noDataNow;
      return std::move(pending);
    };
    uint32_t capacity =
        room ? room : static_cast<uint32_t>(std::ceil(double(count) * to / from)) + 512;
    ConverterOutputStatus status;
    do {
      PcmBuffer out(mono(to), capacity);
      std::exception_ptr error;
      status = converter.convert(out, error, oneShot);
      EXPECT_EQ(error, nullptr);
      append(out);
      run.conversions.push_back(status);
    } while (status == ConverterOutputStatus::haveData && room != 0);
    EXPECT_EQ(pending, nullptr) << "the converter did not take its input";
  }
  ConverterInputBlock ended = [](uint32_t, ConverterInputStatus& status) {
    status = ConverterInputStatus::endOfStream;
    return std::unique_ptr<PcmBuffer>();
  };
  for (int round = 0; round < 64; ++round) {
    PcmBuffer out(mono(to), drainRoom);
    std::exception_ptr error;
    ConverterOutputStatus status = converter.convert(out, error, ended);
    EXPECT_EQ(error, nullptr);
    run.drain.push_back(status);
    run.drained += out.frameLength();
    append(out);
    if (status == ConverterOutputStatus::endOfStream) break;
  }
  return run;
}

class RateToModel : public testing::TestWithParam<double> {};

TEST_P(RateToModel, KeepsLengthAndSignalAndGivesHeldFramesAtTheDrain) {
  const double from = GetParam(), to = 16000.0;
  const size_t frames = static_cast<size_t>(from * 1.234);
  auto converter = SoxrConverterFactory().makeConverter(mono(from), mono(to));
  ASSERT_NE(converter, nullptr);
  Conversion run = convertLikeASession(*converter, sine(440.0, from, frames), from, to);

  for (auto status : run.conversions) {
    EXPECT_TRUE(status == ConverterOutputStatus::haveData ||
                status == ConverterOutputStatus::inputRanDry);
  }
  ASSERT_FALSE(run.drain.empty());
  EXPECT_EQ(run.drain.back(), ConverterOutputStatus::endOfStream);
  EXPECT_GT(run.drained, 0u) << "nothing was held back for resampling";
  double expected = double(frames) * to / from;
  EXPECT_NEAR(double(run.output.size()), expected, 4.0);

  // The same tone at the new rate, without a delay; edges left out.
  std::vector<int16_t> ideal = sine(440.0, to, run.output.size());
  double signal = 0, noise = 0;
  for (size_t i = 200; i + 200 < run.output.size(); ++i) {
    signal += double(ideal[i]) * ideal[i];
    noise += std::pow(double(run.output[i]) - ideal[i], 2);
  }
  EXPECT_GT(10 * std::log10(signal / noise), 40.0);
}

INSTANTIATE_TEST_SUITE_P(HostRates, RateToModel,
                         testing::Values(8000.0, 22050.0, 44100.0, 48000.0, 192000.0));

TEST(SoxrConverter, SmallOutputBuffersKeepTheInputTheyCouldNotTake) {
  const double from = 48000.0, to = 16000.0;
  auto input = sine(300.0, from, 24000);
  SoxrConverterFactory factory;
  auto roomy = factory.makeConverter(mono(from), mono(to));
  auto tight = factory.makeConverter(mono(from), mono(to));
  Conversion reference = convertLikeASession(*roomy, input, from, to);
  Conversion small = convertLikeASession(*tight, input, from, to, /*room=*/100, /*drainRoom=*/64);

  EXPECT_EQ(small.output, reference.output);
  // Full buffers say so; the drain takes several rounds and ends once.
  EXPECT_GT(std::count(small.conversions.begin(), small.conversions.end(),
                       ConverterOutputStatus::haveData),
            0);
  ASSERT_GT(small.drain.size(), 1u);
  EXPECT_EQ(std::count(small.drain.begin(), small.drain.end(), ConverterOutputStatus::endOfStream),
            1);
}

TEST(SoxrConverter, ADrainedConverterStartsAfreshWhenGivenInputAgain) {
  const double from = 44100.0, to = 16000.0;
  auto first = sine(500.0, from, 9000), second = sine(700.0, from, 7000);
  SoxrConverterFactory factory;
  auto reused = factory.makeConverter(mono(from), mono(to));
  convertLikeASession(*reused, first, from, to);
  Conversion again = convertLikeASession(*reused, second, from, to);
  auto fresh = factory.makeConverter(mono(from), mono(to));
  Conversion expected = convertLikeASession(*fresh, second, from, to);
  EXPECT_EQ(again.output, expected.output);
  EXPECT_EQ(again.drain.back(), ConverterOutputStatus::endOfStream);
}

TEST(SoxrConverter, DrainWithoutInputEndsAtOnce) {
  auto converter = SoxrConverterFactory().makeConverter(mono(48000.0), mono(16000.0));
  Conversion run = convertLikeASession(*converter, {}, 48000.0, 16000.0);
  EXPECT_TRUE(run.output.empty());
  EXPECT_EQ(run.drain, std::vector<ConverterOutputStatus>{ConverterOutputStatus::endOfStream});
}

TEST(SoxrConverter, OnlyMono16BitWithinTheHostRates) {
  SoxrConverterFactory factory;
  struct Case {
    AudioFormat from, to;
    bool made;
  } cases[] = {
      {mono(8000), mono(16000), true},
      {mono(192000), mono(16000), true},
      {mono(16000), mono(16000), true},
      {mono(11025), mono(8000), true},
      {mono(7999), mono(16000), false},
      {mono(192001), mono(16000), false},
      {mono(48000), mono(0), false},
      {AudioFormat{CommonFormat::float32, 48000, 1, false}, mono(16000), false},
      {mono(48000), AudioFormat{CommonFormat::int32, 16000, 1, false}, false},
      {AudioFormat{CommonFormat::int16, 48000, 2, true}, mono(16000), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(factory.makeConverter(c.from, c.to) != nullptr, c.made)
        << c.from.sampleRate << " -> " << c.to.sampleRate;
  }
}

}  // namespace
}  // namespace earshot::platform::linuxos
