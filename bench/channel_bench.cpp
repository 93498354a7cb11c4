#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <string>

#include "bench/repeating_source.h"
#include "channel/host_output.h"
#include "channel/json_message.h"
#include "channel/line_reader.h"

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
  earshot::channel::LineReader reader(source);  // one reader: it allocates 2 MB
  earshot::channel::JsonMessageParser parser;
  for (auto _ : state) {
    auto input = reader.next();
    earshot::channel::IncomingMessage message = parser.parse(*input);
    benchmark::DoNotOptimize(message.string("pcm"));
    benchmark::DoNotOptimize(message.number("sampleRate"));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * line.size()));
}
BENCHMARK(ReadAndParseAudioLine)->Unit(benchmark::kMicrosecond);

// A typical partial transcript: build, serialize and write one line.
void EmitTranscriptLine(benchmark::State& state) {
  const std::string text =
      "and mister john dashwood had then leisure to consider how much there might be prudently";
  int devNull = ::open("/dev/null", O_WRONLY);
  earshot::channel::HostOutput output(devNull);
  for (auto _ : state) {
    output.emit(
        earshot::channel::OutgoingMessage("transcript").add("text", text).add("isFinal", false));
  }
  ::close(devNull);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(EmitTranscriptLine);

// Text that needs escaping throughout, to see the escaper's own speed.
void SerializeEscapedText(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 10000; ++i) text += "a/b \"q\" line\n caf\xC3\xA9 ";
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        earshot::channel::OutgoingMessage("transcript").add("text", text).serialize());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(SerializeEscapedText)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
