#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "app/channel/json_message.h"
#include "app/channel/line_reader.h"
#include "bench/repeating_source.h"

namespace {

// An audio line of about 1.9 MB, as a host sends for 10 s of 48 kHz audio.
std::string audioLine() {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::mt19937 random(7);
  std::string pcm(1'900'000, 'A');
  for (char& c : pcm) c = kAlphabet[random() % 64];
  return R"({"type":"audio","sampleRate":48000,"pcm":")" + pcm + "\"}\n";
}

void ReadAndParseAudioLine(benchmark::State& state) {
  const std::string line = audioLine();
  RepeatingByteSource source(line);
  earshot::LineReader reader(source);  // one reader: it allocates 2 MB
  earshot::JsonMessageParser parser;
  for (auto _ : state) {
    auto input = reader.next();
    earshot::IncomingMessage message = parser.parse(*input);
    benchmark::DoNotOptimize(message.string("pcm"));
    benchmark::DoNotOptimize(message.number("sampleRate"));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * line.size()));
}
BENCHMARK(ReadAndParseAudioLine)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
