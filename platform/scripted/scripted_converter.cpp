#include "platform/scripted/scripted_converter.h"

#include <algorithm>
#include <deque>
#include <string>

#include "platform/platform_error.h"

namespace earshot::platform::scripted {
namespace {

std::string rate(double hz) {
  return std::to_string(static_cast<int64_t>(hz));
}

class ScriptedConverter final : public AudioConverter {
 public:
  ScriptedConverter(size_t number, AudioFormat from, AudioFormat to, ConverterScript script,
                    std::shared_ptr<CallLog> log, std::function<void()> beforeEachCall)
      : tag_("#" + std::to_string(number)),
        from_(from),
        to_(to),
        script_(std::move(script)),
        log_(std::move(log)),
        beforeEachCall_(std::move(beforeEachCall)) {}

  ConverterOutputStatus convert(PcmBuffer& output, std::exception_ptr& error,
                                const ConverterInputBlock& input) override {
    if (beforeEachCall_) beforeEachCall_();
    ConverterInputStatus status = ConverterInputStatus::noDataNow;
    std::unique_ptr<PcmBuffer> buffer = input(output.frameCapacity(), status);
    ConverterOutputStatus result = status == ConverterInputStatus::endOfStream
                                       ? drainRound(output, error, buffer)
                                       : conversion(output, error, input, std::move(buffer));
    return result;
  }

 private:
  ConverterOutputStatus conversion(PcmBuffer& output, std::exception_ptr& error,
                                   const ConverterInputBlock& input,
                                   std::unique_ptr<PcmBuffer> buffer) {
    ++conversions_;
    uint32_t frames = buffer ? buffer->frameLength() : 0;
    if (buffer && !(buffer->format() == from_)) {
      log_->record("inputBlock" + tag_ + "(format " + rate(buffer->format().sampleRate) + ")");
    }
    // Real converters keep asking while they have room; the one-shot input
    // must have paused by now.
    ConverterInputStatus again = ConverterInputStatus::haveData;
    if (std::unique_ptr<PcmBuffer> extra = input(output.frameCapacity(), again);
        extra || again != ConverterInputStatus::noDataNow) {
      log_->record("inputBlock" + tag_ + "(second answer " +
                   std::to_string(static_cast<int>(again)) + (extra ? ", buffer)" : ")"));
    }
    ConverterOutputStatus status;
    if (auto forced = script_.conversions.find(conversions_); forced != script_.conversions.end()) {
      status = force(output, error, forced->second);
    } else {
      if (buffer) resample(*buffer);
      size_t ready = pending_.size() > script_.holdBack ? pending_.size() - script_.holdBack : 0;
      status = give(output, ready) > 0 ? ConverterOutputStatus::haveData
                                       : ConverterOutputStatus::inputRanDry;
    }
    log_->record("convert" + tag_ + "(in " + std::to_string(frames) + ", cap " +
                 std::to_string(output.frameCapacity()) + ", out " +
                 std::to_string(output.frameLength()) + ", status " +
                 std::to_string(static_cast<int>(status)) + ")");
    return status;
  }

  ConverterOutputStatus drainRound(PcmBuffer& output, std::exception_ptr& error,
                                   const std::unique_ptr<PcmBuffer>& buffer) {
    if (buffer) log_->record("inputBlock" + tag_ + "(buffer at end of stream)");
    ConverterOutputStatus status;
    if (!script_.drain.empty()) {
      size_t round = std::min(drainRounds_, script_.drain.size() - 1);
      status = force(output, error, script_.drain[round]);
    } else {
      status = give(output, pending_.size()) > 0 ? ConverterOutputStatus::haveData
                                                 : ConverterOutputStatus::endOfStream;
    }
    ++drainRounds_;
    log_->record("drain" + tag_ + "(cap " + std::to_string(output.frameCapacity()) + ", out " +
                 std::to_string(output.frameLength()) + ", status " +
                 std::to_string(static_cast<int>(status)) + ")");
    return status;
  }

  void resample(const PcmBuffer& buffer) {
    double step = from_.sampleRate / to_.sampleRate;
    for (double at = 0; at < buffer.frameLength(); at += step) {
      pending_.push_back(buffer.int16ChannelData()[static_cast<size_t>(at)]);
    }
  }

  // Moves up to `frames` pending samples into the output; how many it moved.
  uint32_t give(PcmBuffer& output, size_t frames) {
    auto count = static_cast<uint32_t>(std::min<size_t>(frames, output.frameCapacity()));
    std::copy_n(pending_.begin(), count, output.int16ChannelData());
    pending_.erase(pending_.begin(), pending_.begin() + count);
    output.setFrameLength(count);
    return count;
  }

  static ConverterOutputStatus force(PcmBuffer& output, std::exception_ptr& error,
                                     const ConverterCall& call) {
    uint32_t count = std::min(call.frames, output.frameCapacity());
    std::fill_n(output.int16ChannelData(), count, int16_t{0});
    output.setFrameLength(count);
    if (call.error) error = std::make_exception_ptr(PlatformError(*call.error));
    return call.status;
  }

  std::string tag_;
  AudioFormat from_, to_;
  ConverterScript script_;
  std::shared_ptr<CallLog> log_;
  std::function<void()> beforeEachCall_;
  std::deque<int16_t> pending_;
  size_t conversions_ = 0;
  size_t drainRounds_ = 0;
};

}  // namespace

std::unique_ptr<AudioConverter> ScriptedConverterFactory::makeConverter(const AudioFormat& from,
                                                                        const AudioFormat& to) {
  log_->record("makeConverter(" + rate(from.sampleRate) + "->" + rate(to.sampleRate) + ")");
  ConverterScript script = requested_ < scripts.size() ? scripts[requested_] : ConverterScript{};
  ++requested_;
  if (!supported || script.refuse) return nullptr;
  return std::make_unique<ScriptedConverter>(requested_, from, to, std::move(script), log_,
                                             beforeEachCall);
}

}  // namespace earshot::platform::scripted
