#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "platform/audio_format.h"
#include "platform/locale.h"
#include "platform/speech_analyzer.h"
#include "platform/speech_transcriber.h"

namespace earshot::platform {

// The speech recognizer's facilities. Calls block until answered.
// Implementations: LinuxSpeechServices (platform/linux), ScriptedSpeechServices
// (platform/scripted).
class SpeechServices {
 public:
  virtual ~SpeechServices() = default;

  // Whether on-device transcription can run on this machine.
  virtual bool isAvailable() = 0;
  // A live session will be asked for soon: the services may get ready in the
  // background for the locale they expect (the Linux services load its
  // decoder). Returns at once and never fails; a guess that proves wrong
  // only costs the work. The default does nothing.
  virtual void anticipateLiveSession() {}
  // The supported locale equivalent to the requested one, or nullopt.
  virtual std::optional<Locale> supportedLocale(const Locale& equivalentTo) = 0;
  // Locale lists, in the platform's order (duplicates possible).
  virtual std::vector<Locale> supportedLocales() = 0;
  virtual std::vector<Locale> installedLocales() = 0;

  // A new transcriber module whose results carry the attributes asked for.
  // The caller shares ownership.
  virtual std::shared_ptr<SpeechTranscriber> makeTranscriber(
      const Locale& locale, TranscriberPreset preset, const AttributeOptions& attributes) = 0;
  // The same with no attributes beyond the text.
  std::shared_ptr<SpeechTranscriber> makeTranscriber(const Locale& locale,
                                                     TranscriberPreset preset) {
    return makeTranscriber(locale, preset, AttributeOptions{});
  }

  // The format in which an analyzer with these modules takes its audio, or
  // nullopt when the modules' model is not there.
  virtual std::optional<AudioFormat> bestAvailableAudioFormat(const ModuleList& modules) = 0;
  // A new analyzer with these modules and no options. The caller shares
  // ownership.
  virtual std::shared_ptr<SpeechAnalyzer> makeAnalyzer(const ModuleList& modules) = 0;
};

}  // namespace earshot::platform
