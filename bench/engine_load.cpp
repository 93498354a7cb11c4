// What loading a decoder costs, in time and in memory, piece by piece.
//
//   engine_load time N      median of N loads: the engine's own (ps_init with
//                           the whole dictionary and the language model, the
//                           program's engine options) and the program's
//                           Decoder (only the language model's words)
//   engine_load memory      heap in use and resident memory after each piece
//                           of a load: acoustic model, language model, whole
//                           or filtered dictionary, search, decoding speech
//
// Heap figures are bytes the allocator hands out (mallinfo2), which is what
// each piece holds whatever the allocator keeps; resident and proportional
// figures come from /proc/self/smaps_rollup.
#include <malloc.h>
#include <pocketsphinx.h>
#include <sphinxbase/err.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "bench/engine_corpus.h"
#include "platform/linux/engine/decoder.h"
#include "platform/linux/engine/dictionary_filter.h"
#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/models/installed_models.h"

namespace {
using namespace earshot;
using platform::linuxos::SpeechModel;
using Clock = std::chrono::steady_clock;

SpeechModel englishModel() {
  auto model =
      platform::linuxos::InstalledModels::system().find(platform::Locale::fromIdentifier("en-US"));
  if (!model) {
    std::printf("no en-US model\n");
    std::exit(2);
  }
  return *model;
}

std::vector<std::string> engineOptions() {
  std::vector<std::string> words;
  for (const auto& [name, value] : platform::linuxos::defaultEngineSettings().options) {
    words.push_back(name);
    words.push_back(value);
  }
  return words;
}

cmd_ln_t* configOf(std::vector<std::string> words) {
  for (const std::string& word : engineOptions()) words.push_back(word);
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  return cmd_ln_parse_r(nullptr, ps_args(), int32(argv.size()), argv.data(), TRUE);
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int timeLoads(int rounds) {
  SpeechModel model = englishModel();
  std::vector<double> engine, program;
  for (int i = 0; i < rounds; ++i) {
    auto start = Clock::now();
    cmd_ln_t* config = configOf(
        {"-hmm", model.acousticModel, "-dict", model.dictionary, "-lm", model.languageModel});
    ps_decoder_t* decoder = ps_init(config);
    engine.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    ps_free(decoder);
    cmd_ln_free_r(config);

    start = Clock::now();
    { platform::linuxos::Decoder ours(model, platform::linuxos::defaultEngineSettings()); }
    program.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::printf("engine load (ps_init, whole dictionary), median of %d: %.3f s\n", rounds,
              median(engine));
  std::printf("program's decoder (language model words), median of %d: %.3f s (x%.2f)\n", rounds,
              median(program), median(program) / median(engine));
  return 0;
}

struct Footprint {
  double heapMb = 0, rssMb = 0, pssMb = 0;
};

Footprint footprint() {
  Footprint now;
  struct mallinfo2 info = mallinfo2();
  now.heapMb = double(info.uordblks + info.hblkhd) / 1e6;
  std::ifstream rollup("/proc/self/smaps_rollup");
  for (std::string line; std::getline(rollup, line);) {
    std::istringstream fields(line);
    std::string name;
    double kb = 0;
    fields >> name >> kb;
    if (name == "Rss:") now.rssMb = kb / 1e3;
    if (name == "Pss:") now.pssMb = kb / 1e3;
  }
  return now;
}

void report(const char* step, Footprint& last) {
  Footprint now = footprint();
  std::printf("%-44s heap %+7.1f MB  resident %+7.1f MB  proportional %+7.1f MB\n", step,
              now.heapMb - last.heapMb, now.rssMb - last.rssMb, now.pssMb - last.pssMb);
  last = now;
}

int memory() {
  SpeechModel model = englishModel();
  Footprint last = footprint();
  std::printf("before loading: heap %.1f MB, resident %.1f MB\n", last.heapMb, last.rssMb);
  cmd_ln_t* config = configOf({"-hmm", model.acousticModel});
  ps_decoder_t* decoder = ps_init(config);
  report("acoustic model (ps_init, no words)", last);
  ngram_model_t* lm =
      ngram_model_read(config, model.languageModel.c_str(), NGRAM_AUTO, ps_get_logmath(decoder));
  report("language model (ngram_model_read)", last);
  ps_load_dict(decoder, model.dictionary.c_str(), nullptr, nullptr);
  report("whole dictionary (ps_load_dict)", last);
  std::ifstream in(model.dictionary, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), {}};
  int32 unknown = ngram_unknown_wid(lm);
  std::string word;
  std::string kept = platform::linuxos::filterDictionary(text, [&](std::string_view base) {
    word.assign(base);
    return ngram_wid(lm, word.c_str()) != unknown;
  });
  text.clear();
  text.shrink_to_fit();
  std::string path = "/tmp/earshot-engine-load-" + std::to_string(::getpid()) + ".dict";
  std::ofstream(path, std::ios::binary) << kept;
  kept.clear();
  kept.shrink_to_fit();
  ps_load_dict(decoder, path.c_str(), nullptr, nullptr);
  std::remove(path.c_str());
  report("  then the language model's words instead", last);
  ps_set_lm(decoder, "ngram", lm);
  ps_set_search(decoder, "ngram");
  report("search over them (ps_set_lm)", last);
  std::vector<int16_t> audio;
  for (const auto& recording : bench::librivoxRecordings()) {
    audio.insert(audio.end(), recording.samples.begin(), recording.samples.end());
  }
  ps_start_utt(decoder);
  for (size_t at = 0; at < audio.size(); at += 1600) {
    ps_process_raw(decoder, audio.data() + at, std::min<size_t>(1600, audio.size() - at), FALSE,
                   FALSE);
  }
  ps_end_utt(decoder);
  report("decoding the librivox recordings in one go", last);
  ngram_model_free(lm);
  ps_free(decoder);
  cmd_ln_free_r(config);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  err_set_logfp(nullptr);
  if (args.size() == 2 && args[0] == "time") return timeLoads(std::max(1, std::stoi(args[1])));
  if (args.size() == 1 && args[0] == "memory") return memory();
  std::printf("usage: engine_load time N | engine_load memory\n");
  return 2;
}
