#include "platform/linux/decoder.h"

#include <pocketsphinx.h>

#include <vector>

#include "platform/linux/engine_log.h"
#include "platform/linux/hypothesis_text.h"
#include "platform/linux/model_files_check.h"
#include "platform/platform_error.h"
#include "platform/unexpected_exit.h"

namespace earshot::platform::linuxos {

Decoder::Decoder(const SpeechModel& model, const EngineSettings& settings)
    : toUtf8_(model.textEncoding) {
  silenceEngineLog();
  clearEngineError();
  const std::string cannotLoad =
      "Speech model for " + model.locale.bcp47() + " could not be loaded";
  // The engine asserts or exits on some faults of a model; refuse what can be
  // seen before it gets there.
  if (std::optional<std::string> problem = modelFileProblem(model)) {
    throw PlatformError(cannotLoad + ": " + *problem + ".");
  }
  // And should it exit on one that cannot, the host still learns why.
  ExitExplanation explanation([cannotLoad] {
    std::string detail = lastEngineError();
    return detail.empty() ? cannotLoad + "." : cannotLoad + ": " + detail;
  });
  std::vector<std::string> words = {"-hmm",  model.acousticModel.string(),
                                    "-lm",   model.languageModel.string(),
                                    "-dict", model.dictionary.string()};
  for (const auto& [name, value] : settings.options) {
    words.push_back(name);
    words.push_back(value);
  }
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  config_ = cmd_ln_parse_r(nullptr, ps_args(), static_cast<int32>(argv.size()), argv.data(), TRUE);
  if (config_ == nullptr) fail("Speech engine settings were refused");
  engine_ = ps_init(config_);
  if (engine_ == nullptr) {
    cmd_ln_free_r(config_);
    config_ = nullptr;
    fail(cannotLoad);
  }
}

Decoder::~Decoder() {
  if (engine_ != nullptr) ps_free(engine_);
  if (config_ != nullptr) cmd_ln_free_r(config_);
}

void Decoder::fail(const std::string& what) {
  std::string detail = lastEngineError();
  clearEngineError();
  throw PlatformError(detail.empty() ? what + "." : what + ": " + detail);
}

void Decoder::startUtterance() {
  if (ps_start_utt(engine_) < 0) fail("Speech engine could not start an utterance");
  inUtterance_ = true;
}

void Decoder::process(const int16_t* samples, size_t count) {
  if (ps_process_raw(engine_, samples, count, FALSE, FALSE) < 0) {
    fail("Speech engine could not decode audio");
  }
}

bool Decoder::inSpeech() {
  return ps_get_in_speech(engine_) != 0;
}

std::string Decoder::hypothesis() {
  int32 score = 0;
  const char* text = ps_get_hyp(engine_, &score);
  return text == nullptr ? std::string() : hypothesisText(toUtf8_(text));
}

void Decoder::endUtterance() {
  inUtterance_ = false;
  if (ps_end_utt(engine_) < 0) fail("Speech engine could not end an utterance");
}

}  // namespace earshot::platform::linuxos
