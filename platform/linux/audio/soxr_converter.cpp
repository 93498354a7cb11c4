#include "platform/linux/audio/soxr_converter.h"

#include <soxr.h>

#include <string>

#include "platform/platform_error.h"
#include "protocol/rates.h"

namespace earshot::platform::linuxos {
namespace {

// One conversion call asks its input block for input until the block has
// nothing more for now, and fills as much of the output as that input and
// the frames soxr holds back allow. soxr takes only as much input as the
// output room lets it convert; what it did not take stays here for the next
// call. Once the block answers end of stream, soxr is told the input ended
// and gives out what it held back, over as many calls as the output room
// needs, until a call ends with end of stream. A converter used again after
// that starts afresh: soxr must be cleared before new input, or it crashes.
class SoxrConverter final : public AudioConverter {
 public:
  explicit SoxrConverter(soxr_t soxr) : soxr_(soxr) {}
  ~SoxrConverter() override { soxr_delete(soxr_); }
  SoxrConverter(const SoxrConverter&) = delete;
  SoxrConverter& operator=(const SoxrConverter&) = delete;

  ConverterOutputStatus convert(PcmBuffer& output, std::exception_ptr& error,
                                const ConverterInputBlock& input) override {
    if (drained_) restart();
    const size_t capacity = output.frameCapacity();
    int16_t* out = output.int16ChannelData();
    size_t produced = 0;
    bool mayAsk = true;
    while (produced < capacity) {
      size_t made = 0;
      soxr_error_t failure = nullptr;
      if (pendingLeft() > 0) {
        size_t taken = 0;
        failure = soxr_process(soxr_, pending_->int16ChannelData() + pendingAt_, pendingLeft(),
                               &taken, out + produced, capacity - produced, &made);
        pendingAt_ += taken;
        if (failure == nullptr && taken == 0 && made == 0) break;
      } else if (endOfInput_) {
        failure =
            soxr_process(soxr_, nullptr, 0, nullptr, out + produced, capacity - produced, &made);
        if (failure == nullptr && made == 0) {
          drained_ = true;
          break;
        }
      } else if (mayAsk) {
        mayAsk = ask(input, capacity - produced);
        continue;
      } else {
        break;
      }
      if (failure != nullptr) {
        output.setFrameLength(static_cast<uint32_t>(produced));
        error = std::make_exception_ptr(
            PlatformError(std::string("Audio resampling failed: ") + failure + "."));
        return ConverterOutputStatus::error;
      }
      produced += made;
    }
    output.setFrameLength(static_cast<uint32_t>(produced));
    if (drained_) return ConverterOutputStatus::endOfStream;
    return produced == capacity ? ConverterOutputStatus::haveData
                                : ConverterOutputStatus::inputRanDry;
  }

 private:
  size_t pendingLeft() const { return pending_ ? pending_->frameLength() - pendingAt_ : 0; }

  // Takes what the block offers; whether it may be asked again in this call.
  bool ask(const ConverterInputBlock& input, size_t wanted) {
    ConverterInputStatus status = ConverterInputStatus::noDataNow;
    std::unique_ptr<PcmBuffer> buffer = input(static_cast<uint32_t>(wanted), status);
    bool got = buffer && buffer->frameLength() > 0 && status != ConverterInputStatus::noDataNow;
    if (got) {
      pending_ = std::move(buffer);
      pendingAt_ = 0;
    }
    if (status == ConverterInputStatus::endOfStream) {
      endOfInput_ = true;
      return false;
    }
    return status == ConverterInputStatus::haveData && got;
  }

  void restart() {
    soxr_clear(soxr_);
    pending_.reset();
    pendingAt_ = 0;
    endOfInput_ = false;
    drained_ = false;
  }

  soxr_t soxr_;
  std::unique_ptr<PcmBuffer> pending_;
  size_t pendingAt_ = 0;
  bool endOfInput_ = false;
  bool drained_ = false;
};

bool convertible(const AudioFormat& format) {
  return format.commonFormat == CommonFormat::int16 && format.channels == 1 &&
         protocol::isAcceptedRate(format.sampleRate);
}

}  // namespace

std::unique_ptr<AudioConverter> SoxrConverterFactory::makeConverter(const AudioFormat& from,
                                                                    const AudioFormat& to) {
  if (!convertible(from) || !convertible(to)) return nullptr;
  soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
  io.flags |= SOXR_NO_DITHER;
  soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  soxr_error_t failure = nullptr;
  soxr_t soxr = soxr_create(from.sampleRate, to.sampleRate, 1, &failure, &io, &quality, &runtime);
  if (failure != nullptr || soxr == nullptr) {
    if (soxr != nullptr) soxr_delete(soxr);
    return nullptr;
  }
  return std::make_unique<SoxrConverter>(soxr);
}

}  // namespace earshot::platform::linuxos
