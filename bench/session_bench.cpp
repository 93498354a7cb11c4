// The live mode's audio path: strict Base64 decoding alone, and a whole
// audio line from the reader to the analyzer's queue.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "app/channel/json_message.h"
#include "app/channel/line_reader.h"
#include "bench/repeating_source.h"
#include "platform/analyzer_input_queue.h"
#include "platform/audio_converter.h"
#include "session/audio_feed.h"
#include "session/audio_message.h"
#include "session/base64.h"

namespace {

using earshot::platform::AudioFormat;
using earshot::platform::CommonFormat;

std::string encode(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) |
                 uint8_t(bytes[i + 2]);
    for (int shift : {18, 12, 6, 0}) text += kAlphabet[(v >> shift) & 63];
  }
  if (size_t rest = bytes.size() - i; rest > 0) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    if (rest == 2) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
    text += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    text += '=';
  }
  return text;
}

// Base64 of `samples` random 16-bit samples.
std::string pcmText(size_t samples) {
  std::mt19937 random(7);
  std::string bytes(samples * 2, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return encode(bytes);
}

// About 1.9 MB of line: 712,500 samples, nearly 15 s at 48 kHz.
constexpr size_t kLineSamples = 712'500;

std::string audioLine() {
  return R"({"type":"audio","sampleRate":48000,"pcm":")" + pcmText(kLineSamples) + "\"}\n";
}

void DecodeBase64(benchmark::State& state) {
  const std::string text = pcmText(kLineSamples);
  size_t size = *earshot::session::base64DecodedSize(text);
  auto out = std::make_unique<unsigned char[]>(size);
  for (auto _ : state) {
    bool ok = earshot::session::decodeBase64(text, out.get());
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(out.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(DecodeBase64)->Unit(benchmark::kMicrosecond);

// The ceiling for any pass over the same bytes.
void CopyReference(benchmark::State& state) {
  const std::string text = pcmText(kLineSamples);
  auto out = std::make_unique<char[]>(text.size());
  for (auto _ : state) {
    std::memcpy(out.get(), text.data(), text.size());
    benchmark::DoNotOptimize(out.get());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(CopyReference)->Unit(benchmark::kMicrosecond);

// Takes its input and claims the output it would have made, touching no
// sample: what remains is the cost of the path around a converter.
class IdleConverter final : public earshot::platform::AudioConverter {
 public:
  earshot::platform::ConverterOutputStatus convert(
      earshot::platform::PcmBuffer& output, std::exception_ptr&,
      const earshot::platform::ConverterInputBlock& input) override {
    earshot::platform::ConverterInputStatus status;
    std::unique_ptr<earshot::platform::PcmBuffer> buffer = input(output.frameCapacity(), status);
    output.setFrameLength(buffer ? output.frameCapacity() - 512 : 0);
    return earshot::platform::ConverterOutputStatus::haveData;
  }
};

class IdleConverterFactory final : public earshot::platform::AudioConverterFactory {
 public:
  std::unique_ptr<earshot::platform::AudioConverter> makeConverter(const AudioFormat&,
                                                                   const AudioFormat&) override {
    return std::make_unique<IdleConverter>();
  }
};

// Read, parse, decode, feed (converted when the analyzer rate differs), and
// an analyzer that drops what it takes.
void AudioLinePath(benchmark::State& state) {
  const std::string line = audioLine();
  RepeatingByteSource source(line);
  earshot::LineReader reader(source);
  earshot::JsonMessageParser parser;
  IdleConverterFactory converters;
  AudioFormat analyzerFormat{CommonFormat::int16, static_cast<double>(state.range(0)), 1, false};
  earshot::session::AudioFeed feed(converters, analyzerFormat);
  earshot::platform::AnalyzerInputQueue queue;
  for (auto _ : state) {
    std::optional<earshot::InputLine> input = reader.next();
    earshot::IncomingMessage message = parser.parse(*input);
    if (auto buffer = earshot::session::readAudioMessage(message)) {
      feed.feed(std::move(buffer), queue);
    }
    benchmark::DoNotOptimize(queue.next());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * line.size()));
  state.SetLabel(state.range(0) == 48000 ? "analyzer at 48 kHz: fed as is"
                                         : "analyzer at 16 kHz: converted");
}
BENCHMARK(AudioLinePath)->Arg(16000)->Arg(48000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
