// The live mode's audio path: strict Base64 decoding alone, and a whole
// audio line from the reader to the analyzer's queue.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "bench/repeating_source.h"
#include "channel/json_message.h"
#include "channel/line_reader.h"
#include "platform/analyzer_input_queue.h"
#include "platform/audio_converter.h"
#include "protocol/base64.h"
#include "session/audio_feed.h"
#include "session/audio_message.h"
#include "tests/support/host_lines.h"

namespace {

using earshot::platform::AudioFormat;
using earshot::platform::CommonFormat;

// Base64 of `samples` random 16-bit samples.
std::string pcmText(size_t samples) {
  std::mt19937 random(7);
  std::string bytes(samples * 2, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  std::string text;
  earshot::protocol::appendBase64(
      text, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  return text;
}

// About 1.9 MB of line: 712,500 samples, nearly 15 s at 48 kHz.
constexpr size_t kLineSamples = 712'500;

std::string audioLine() {
  return earshot::testkit::audioLineWithPcm("\"" + pcmText(kLineSamples) + "\"", "48000") + "\n";
}

void DecodeBase64(benchmark::State& state) {
  const std::string text = pcmText(kLineSamples);
  size_t size = *earshot::protocol::base64DecodedSize(text);
  auto out = std::make_unique<unsigned char[]>(size);
  for (auto _ : state) {
    bool ok = earshot::protocol::decodeBase64(text, out.get());
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
  earshot::channel::LineReader reader(source);
  earshot::channel::JsonMessageParser parser;
  IdleConverterFactory converters;
  AudioFormat analyzerFormat{CommonFormat::int16, static_cast<double>(state.range(0)), 1, false};
  earshot::session::AudioFeed feed(converters, analyzerFormat);
  earshot::platform::AnalyzerInputQueue queue;
  for (auto _ : state) {
    std::optional<earshot::channel::InputLine> input = reader.next();
    earshot::channel::IncomingMessage message = parser.parse(*input);
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
