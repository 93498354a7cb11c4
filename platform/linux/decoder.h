#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/linux/engine_settings.h"
#include "platform/linux/installed_models.h"
#include "platform/linux/store/text_encoding.h"

struct ps_decoder_s;
struct cmd_ln_s;

namespace earshot::platform::linuxos {

// One loaded engine instance. Loading takes a noticeable fraction of a
// second, so instances are kept (DecoderPool) rather than made per session.
// Not thread-safe: one thread at a time. Failures throw PlatformError.
class Decoder {
 public:
  Decoder(const SpeechModel& model, const EngineSettings& settings);
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  void startUtterance();
  // Audio at the model's rate. Voice activity detection drops silence.
  void process(const int16_t* samples, size_t count);
  // Whether the engine's voice activity detection is inside speech.
  bool inSpeech();
  // The text of the current utterance so far, or of the one just ended, in
  // UTF-8 whatever the model's own encoding.
  std::string hypothesis();
  void endUtterance();
  bool inUtterance() const { return inUtterance_; }

 private:
  [[noreturn]] void fail(const std::string& what);

  cmd_ln_s* config_ = nullptr;
  ps_decoder_s* engine_ = nullptr;
  bool inUtterance_ = false;
  store::TextToUtf8 toUtf8_;
};

}  // namespace earshot::platform::linuxos
