#pragma once

#include <memory>
#include <vector>

#include "platform/audio_converter.h"
#include "platform/scripted/call_log.h"

namespace earshot::platform::scripted {

// Converters as a test scripts them. The default converter resamples by
// picking samples (no filter) and holds nothing back.
class ScriptedConverterFactory final : public AudioConverterFactory {
 public:
  explicit ScriptedConverterFactory(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

  // Whether makeConverter makes one.
  bool supported = true;

  std::unique_ptr<AudioConverter> makeConverter(const AudioFormat& from,
                                                const AudioFormat& to) override;

 private:
  std::shared_ptr<CallLog> log_;
};

}  // namespace earshot::platform::scripted
