#include "platform/scripted/scripted_converter.h"

#include <algorithm>
#include <string>

namespace earshot::platform::scripted {
namespace {

class PickingConverter final : public AudioConverter {
 public:
  PickingConverter(AudioFormat from, AudioFormat to, std::shared_ptr<CallLog> log)
      : from_(from), to_(to), log_(std::move(log)) {}

  ConverterOutputStatus convert(PcmBuffer& output, std::exception_ptr&,
                                const ConverterInputBlock& input) override {
    ConverterInputStatus status = ConverterInputStatus::noDataNow;
    std::unique_ptr<PcmBuffer> buffer = input(output.frameCapacity(), status);
    log_->record("convert");
    if (status == ConverterInputStatus::endOfStream) {
      output.setFrameLength(0);
      return ConverterOutputStatus::endOfStream;
    }
    if (!buffer) {
      output.setFrameLength(0);
      return ConverterOutputStatus::inputRanDry;
    }
    double step = from_.sampleRate / to_.sampleRate;
    uint32_t frames = 0;
    for (double at = 0; at < buffer->frameLength() && frames < output.frameCapacity();
         at += step) {
      output.int16ChannelData()[frames++] = buffer->int16ChannelData()[static_cast<size_t>(at)];
    }
    output.setFrameLength(frames);
    return ConverterOutputStatus::haveData;
  }

 private:
  AudioFormat from_, to_;
  std::shared_ptr<CallLog> log_;
};

}  // namespace

std::unique_ptr<AudioConverter> ScriptedConverterFactory::makeConverter(const AudioFormat& from,
                                                                        const AudioFormat& to) {
  log_->record("makeConverter(" + std::to_string(static_cast<int64_t>(from.sampleRate)) + "->" +
               std::to_string(static_cast<int64_t>(to.sampleRate)) + ")");
  if (!supported) return nullptr;
  return std::make_unique<PickingConverter>(from, to, log_);
}

}  // namespace earshot::platform::scripted
