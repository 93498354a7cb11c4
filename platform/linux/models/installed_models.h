#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "platform/audio_format.h"
#include "platform/linux/support/store_locations.h"
#include "platform/locale.h"
#include "threading/mutex.h"

namespace earshot::platform::linuxos {

// One installed recognition model: a folder named after its locale ("en-us")
// that holds an acoustic model folder, a language model and a dictionary.
struct SpeechModel {
  Locale locale;
  std::filesystem::path acousticModel;
  std::filesystem::path languageModel;
  std::filesystem::path dictionary;
  // From the acoustic model's feature parameters; the engine's default when
  // they do not say.
  double sampleRate = 16000.0;
  // Shipped with the engine: always installed, never reserved or released.
  bool system = true;
  // The encoding of the model's words, as its catalog entry declared it (an
  // ICU converter name); empty: UTF-8.
  std::string textEncoding = {};

  // The format the engine takes: int16, the model's rate, one channel.
  AudioFormat format() const { return AudioFormat{CommonFormat::int16, sampleRate, 1, false}; }
};

// A directory whose subfolders are models.
struct ModelSource {
  std::filesystem::path root;
  bool system = true;
};

// The installed models: the one place that knows where models are (the
// download catalog, by contrast, lists the models that can be installed).
// Every query reads the directories afresh, with one exception: find()
// keeps a downloaded model once it has found it, for this object and its
// copies, so that a running process goes on with the model it loaded when
// another process releases it from the store (the release affects later
// processes). Copies share what is kept; find() may run on any thread.
class InstalledModels {
 public:
  // The models of the sources, then those downloaded into `store`.
  InstalledModels(std::vector<ModelSource> sources, support::StoreLocations store)
      : sources_(std::move(sources)), store_(std::move(store)) {}
  // The engine's own model directory and the user's model store.
  static InstalledModels system();

  // Whether any model directory exists, that is whether the engine can be
  // used at all.
  bool usable() const;
  // The complete models of every source, ordered by BCP 47 identifier; a
  // locale found in two sources is listed once, from the first source.
  std::vector<SpeechModel> models() const;
  std::optional<SpeechModel> find(const Locale& locale) const;
  // The locales the store's download catalog offers.
  std::vector<Locale> downloadableLocales() const;
  const support::StoreLocations& store() const { return store_; }

 private:
  struct Kept {
    threading::Mutex mutex;
    std::vector<SpeechModel> models GUARDED_BY(mutex);
  };

  std::vector<ModelSource> sources_;
  support::StoreLocations store_;
  std::shared_ptr<Kept> kept_ = std::make_shared<Kept>();
};

}  // namespace earshot::platform::linuxos
