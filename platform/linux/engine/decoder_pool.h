#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/closable_queue.h"
#include "platform/linux/engine/decoder.h"
#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/models/installed_models.h"
#include "threading/mutex.h"

namespace earshot::platform::linuxos {

// Keeps loaded decoders for the life of the process, so that each model is
// loaded once and every later session of it starts at once. A decoder serves
// one lease at a time; a second lease while the first is out loads another.
//
// Threads. preload() starts the preloader, a std::jthread that picks a model
// with the function it was given, hands the choice over and loads a decoder
// of it (no contextual phrases), handing that over too; each hand-over is a
// ClosableQueue, closed without a value when there is nothing to give (no
// model chosen, the load failed: a failed preload is silent). The first
// acquire() after preload() decides: it waits for the choice and, when it
// matches its own model, settings and phrases, for the decoder, and takes
// it; otherwise it drops the preload, whose decoder is freed on the
// preloader once loaded, and loads as if there had been none. Everything
// else runs on the caller's thread under the pool's mutex. The preloader
// runs detached and owns what it uses, so that the program may end while it
// still loads; the pool's destructor waits until it has handed over or
// dropped its decoder.
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

  DecoderPool();
  ~DecoderPool();
  DecoderPool(const DecoderPool&) = delete;
  DecoderPool& operator=(const DecoderPool&) = delete;

  // The process's pool.
  static DecoderPool& shared();

  // An idle decoder of this model, these settings and these contextual
  // phrases, loaded when there is none. Blocks while loading; throws
  // PlatformError when loading fails.
  Lease acquire(const SpeechModel& model, const EngineSettings& settings,
                const std::vector<std::string>& contextualPhrases = {});
  // Starts loading, in the background, a decoder of the model `choose`
  // picks (nullopt: none) with these settings and no phrases, for the next
  // acquire(). Returns at once; at most once per pool (later calls do
  // nothing).
  void preload(std::function<std::optional<SpeechModel>()> choose, EngineSettings settings);
  // How many decoders acquire() has loaded in all, and how many preloaded
  // decoders it has taken.
  size_t loadCount() const;
  size_t preloadsTaken() const;

 private:
  struct Idle;
  struct Preload {
    platform::ClosableQueue<std::shared_ptr<const Lease::Key>> choice;
    platform::ClosableQueue<std::unique_ptr<Decoder>> decoder;
  };
  void giveBack(std::shared_ptr<const Lease::Key> key, std::unique_ptr<Decoder> decoder);
  std::unique_ptr<Decoder> takePreloaded(const Lease::Key& key);

  mutable threading::Mutex mutex_;
  std::vector<std::unique_ptr<Idle>> idle_ GUARDED_BY(mutex_);
  size_t loads_ GUARDED_BY(mutex_) = 0;
  size_t preloadsTaken_ GUARDED_BY(mutex_) = 0;
  // Until the first acquire() takes or drops it.
  std::shared_ptr<Preload> preload_ GUARDED_BY(mutex_);
  // The one preload this pool started, for the destructor to wait on.
  std::shared_ptr<Preload> started_ GUARDED_BY(mutex_);
};

}  // namespace earshot::platform::linuxos
