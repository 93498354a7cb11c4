#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/engine/decoder.h"
#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/models/installed_models.h"
#include "threading/mutex.h"

namespace earshot::platform::linuxos {

// Keeps loaded decoders for the life of the process, so that each model is
// loaded once and every later session of it starts at once. A decoder serves
// one lease at a time; a second lease while the first is out loads another.
class DecoderPool {
 public:
  // Gives the decoder back to the pool when dropped, at the end of any
  // utterance it was left in; a decoder that failed is not given back.
  class Lease {
   public:
    Lease() = default;
    Lease(Lease&&) = default;
    Lease& operator=(Lease&& other) noexcept;
    ~Lease() { reset(); }
    // Gives the decoder back now.
    void reset() noexcept;
    Decoder& operator*() const { return *decoder_; }
    Decoder* operator->() const { return decoder_.get(); }
    explicit operator bool() const { return decoder_ != nullptr; }
    // The decoder is in an unknown state: drop it instead of keeping it.
    void discard() { decoder_.reset(); }

   private:
    friend class DecoderPool;
    struct Key;
    DecoderPool* pool_ = nullptr;
    std::shared_ptr<const Key> key_;
    std::unique_ptr<Decoder> decoder_;
  };

  // The process's pool.
  static DecoderPool& shared();

  // An idle decoder of this model, these settings and these contextual
  // phrases, loaded when there is none. Blocks while loading; throws
  // PlatformError when loading fails.
  Lease acquire(const SpeechModel& model, const EngineSettings& settings,
                const std::vector<std::string>& contextualPhrases = {});
  // How many decoders the pool has loaded in all.
  size_t loadCount() const;

 private:
  struct Idle;
  void giveBack(std::shared_ptr<const Lease::Key> key, std::unique_ptr<Decoder> decoder);

  mutable threading::Mutex mutex_;
  std::vector<std::unique_ptr<Idle>> idle_ GUARDED_BY(mutex_);
  size_t loads_ GUARDED_BY(mutex_) = 0;
};

}  // namespace earshot::platform::linuxos
