#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_converter.h"
#include "platform/scripted/call_log.h"

namespace earshot::platform::scripted {

// An outcome a test forces on one call of a converter: that many frames of
// silence written, that status, and, when `error` is set, a PlatformError
// with that text left in the error slot.
struct ConverterCall {
  ConverterCall(uint32_t frames = 0, ConverterOutputStatus status = ConverterOutputStatus::haveData,
                std::optional<std::string> error = std::nullopt)
      : frames(frames), status(status), error(std::move(error)) {}

  uint32_t frames;
  ConverterOutputStatus status;
  std::optional<std::string> error;
};

// How one converter behaves. Unscripted, it resamples by picking samples (no
// filter) and keeps `holdBack` frames back at the end of every conversion
// call; a drain gives out what it holds (one round per 4096-frame output or
// less) and then reports end of stream in a round without output.
struct ConverterScript {
  uint32_t holdBack = 0;
  // Conversion calls (with input offered), numbered from 1 per converter,
  // whose outcome is forced. The input is still taken and dropped.
  std::map<size_t, ConverterCall> conversions;
  // When not empty, the drain's rounds in order; rounds past the end repeat
  // the last entry.
  std::vector<ConverterCall> drain;
  // The factory makes no converter for this one.
  bool refuse = false;
};

// Converters as a test scripts them: the n-th request follows scripts[n - 1]
// (the default script past the end). The log shows
// "makeConverter(<from>-><to>)" for every request, then per converter n
// "convert#n(in <frames>, cap <capacity>, out <frames>, status <s>)" and
// "drain#n(cap <capacity>, out <frames>, status <s>)". A conversion asks its
// input block twice; a block that misbehaves (a second buffer, end of stream
// in a conversion, input during a drain) is logged as "inputBlock#n(...)".
class ScriptedConverterFactory final : public AudioConverterFactory {
 public:
  explicit ScriptedConverterFactory(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

  // Whether makeConverter makes any.
  bool supported = true;
  std::vector<ConverterScript> scripts;
  // Called at the start of every conversion or drain call, on the calling
  // thread; lets a test note what else has happened by then.
  std::function<void()> beforeEachCall;

  std::unique_ptr<AudioConverter> makeConverter(const AudioFormat& from,
                                                const AudioFormat& to) override;

 private:
  std::shared_ptr<CallLog> log_;
  size_t requested_ = 0;
};

}  // namespace earshot::platform::scripted
