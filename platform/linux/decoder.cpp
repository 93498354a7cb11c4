#include "platform/linux/decoder.h"

#include <pocketsphinx.h>

#include <vector>

#include "platform/linux/engine_log.h"
#include "platform/linux/hypothesis_text.h"
#include "platform/platform_error.h"

namespace earshot::platform::linuxos {

Decoder::Decoder(const SpeechModel& model, const EngineSettings& settings) {
  silenceEngineLog();
  clearEngineError();
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
    fail("Speech model for " + model.locale.bcp47() + " could not be loaded");
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
  return text == nullptr ? std::string() : hypothesisText(text);
}

void Decoder::endUtterance() {
  inUtterance_ = false;
  if (ps_end_utt(engine_) < 0) fail("Speech engine could not end an utterance");
}

}  // namespace earshot::platform::linuxos
