// The written form without the engine.
//   written_form format [--list PATH]   spoken lines on stdin -> written finals
//   written_form [benchmark flags]      time per final (Google Benchmark)
#include "platform/linux/text/written_form.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace earshot::platform;
using namespace earshot::platform::linuxos;

const Locale kEnglish = Locale::fromIdentifier("en-US");

// A final of `spoken` with word times and confidences, as the engine gives it.
TranscriptionResult finalOf(const std::string& spoken) {
  TranscriptionResult result(spoken, true, AudioTimeRange{0, 1});
  double at = 0;
  size_t start = 0;
  while (start < spoken.size()) {
    size_t end = std::min(spoken.find(' ', start), spoken.size());
    result.words.push_back(
        TranscribedWord{spoken.substr(start, end - start), AudioTimeRange{at, at + 0.3}, 0.9});
    at += 0.3;
    start = end + 1;
  }
  return result;
}

// The spoken sentences of the written-form set.
std::vector<std::string> sentences() {
  std::ifstream in(EARSHOT_SOURCE_DIR "/bench/speech/written-form.tsv");
  std::vector<std::string> spoken;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    spoken.push_back(line.substr(0, line.find('\t')));
  }
  return spoken;
}

void FormatFinal(benchmark::State& state) {
  WrittenForm form(kEnglish, casedWordsFor(kEnglish));
  std::vector<TranscriptionResult> finals;
  for (const std::string& spoken : sentences()) finals.push_back(finalOf(spoken));
  size_t i = 0;
  for (auto _ : state) {
    TranscriptionResult result = finals[i++ % finals.size()];
    form.apply(result);
    benchmark::DoNotOptimize(result.text);
  }
}
BENCHMARK(FormatFinal)->Unit(benchmark::kMicrosecond);

// What a session pays once before its first result.
void MakeWrittenForm(benchmark::State& state) {
  auto list = casedWordsFor(kEnglish);
  for (auto _ : state) {
    WrittenForm form(kEnglish, list);
    benchmark::DoNotOptimize(&form);
  }
}
BENCHMARK(MakeWrittenForm)->Unit(benchmark::kMicrosecond);

int format(int argc, char** argv) {
  std::shared_ptr<const CasedWords> list = casedWordsFor(kEnglish);
  if (argc >= 4 && std::string(argv[2]) == "--list") {
    list = std::make_shared<const CasedWords>(CasedWords::fromFile(argv[3]));
  }
  WrittenForm form(kEnglish, list);
  for (std::string line; std::getline(std::cin, line);) {
    TranscriptionResult result(line, true);
    form.apply(result);
    std::cout << result.text << '\n';
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "format") return format(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
