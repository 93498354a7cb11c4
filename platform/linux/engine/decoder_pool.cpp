#include "platform/linux/engine/decoder_pool.h"

#include <algorithm>

namespace earshot::platform::linuxos {

struct DecoderPool::Lease::Key {
  std::filesystem::path acousticModel, languageModel, dictionary;
  EngineSettings settings;
  std::vector<std::string> contextualPhrases;
  bool operator==(const Key&) const = default;
};

struct DecoderPool::Idle {
  std::shared_ptr<const Lease::Key> key;
  std::unique_ptr<Decoder> decoder;
};

DecoderPool::Lease& DecoderPool::Lease::operator=(Lease&& other) noexcept {
  if (this != &other) {
    reset();
    pool_ = other.pool_;
    key_ = std::move(other.key_);
    decoder_ = std::move(other.decoder_);
  }
  return *this;
}

void DecoderPool::Lease::reset() noexcept {
  if (!decoder_ || pool_ == nullptr) {
    decoder_.reset();
    return;
  }
  if (decoder_->inUtterance()) {
    try {
      decoder_->endUtterance();
    } catch (...) {
      decoder_.reset();  // in an unknown state: not worth keeping
      return;
    }
  }
  try {
    pool_->giveBack(std::move(key_), std::move(decoder_));
  } catch (...) {
    decoder_.reset();
  }
}

DecoderPool::DecoderPool() = default;

DecoderPool::~DecoderPool() {
  std::shared_ptr<Preload> started;
  {
    threading::MutexLock lock(mutex_);
    started = started_;
  }
  // The preloader closes the queue when it is done with the decoder.
  if (started) {
    while (started->decoder.next()) {
    }
  }
}

DecoderPool& DecoderPool::shared() {
  static DecoderPool pool;
  return pool;
}

DecoderPool::Lease DecoderPool::acquire(const SpeechModel& model, const EngineSettings& settings,
                                        const std::vector<std::string>& contextualPhrases) {
  auto key = std::make_shared<const Lease::Key>(Lease::Key{
      model.acousticModel, model.languageModel, model.dictionary, settings, contextualPhrases});
  Lease lease;
  lease.pool_ = this;
  lease.key_ = key;
  if (std::unique_ptr<Decoder> preloaded = takePreloaded(*key)) {
    lease.decoder_ = std::move(preloaded);
    return lease;
  }
  {
    threading::MutexLock lock(mutex_);
    auto found = std::find_if(idle_.begin(), idle_.end(),
                              [&](const auto& idle) { return *idle->key == *key; });
    if (found != idle_.end()) {
      lease.decoder_ = std::move((*found)->decoder);
      idle_.erase(found);
      return lease;
    }
  }
  // Loading takes long; other leases go on meanwhile.
  lease.decoder_ = std::make_unique<Decoder>(model, settings, contextualPhrases);
  threading::MutexLock lock(mutex_);
  ++loads_;
  return lease;
}

void DecoderPool::preload(std::function<std::optional<SpeechModel>()> choose,
                          EngineSettings settings) {
  threading::MutexLock lock(mutex_);
  if (started_) return;
  auto preload = std::make_shared<Preload>();
  preload_ = preload;
  started_ = preload;
  // Detached: a finished thread left unjoined when the program ends with
  // _exit would be a leak, and joining one that still loads would make the
  // end wait for a load nobody wants.
  std::jthread([preload, choose = std::move(choose), settings = std::move(settings)] {
    std::optional<SpeechModel> model;
    try {
      model = choose();
    } catch (...) {
    }
    if (model) {
      preload->choice.push(std::make_shared<const Lease::Key>(
          Lease::Key{model->acousticModel, model->languageModel, model->dictionary, settings, {}}));
    }
    preload->choice.close();
    if (model) {
      try {
        preload->decoder.push(std::make_unique<Decoder>(*model, settings));
      } catch (...) {
        // The acquire that wanted it loads on its own and reports its failure.
      }
    }
    preload->decoder.close();
  }).detach();
}

std::unique_ptr<Decoder> DecoderPool::takePreloaded(const Lease::Key& key) {
  std::shared_ptr<Preload> preload;
  {
    threading::MutexLock lock(mutex_);
    preload = std::move(preload_);
  }
  if (!preload) return nullptr;
  std::optional<std::shared_ptr<const Lease::Key>> chosen = preload->choice.next();
  if (!chosen || !*chosen || **chosen != key) return nullptr;
  std::optional<std::unique_ptr<Decoder>> decoder = preload->decoder.next();
  if (!decoder || !*decoder) return nullptr;
  threading::MutexLock lock(mutex_);
  ++preloadsTaken_;
  return std::move(*decoder);
}

size_t DecoderPool::preloadsTaken() const {
  threading::MutexLock lock(mutex_);
  return preloadsTaken_;
}

size_t DecoderPool::loadCount() const {
  threading::MutexLock lock(mutex_);
  return loads_;
}

void DecoderPool::giveBack(std::shared_ptr<const Lease::Key> key,
                           std::unique_ptr<Decoder> decoder) {
  threading::MutexLock lock(mutex_);
  idle_.push_back(std::make_unique<Idle>(Idle{std::move(key), std::move(decoder)}));
}

}  // namespace earshot::platform::linuxos
