#include "platform/linux/models/installed_models.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "platform/linux/store/catalog.h"
#include "platform/linux/store/model_store.h"

namespace earshot::platform::linuxos {
namespace fs = std::filesystem;
namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Entries of a folder in name order, so that the choice among several
// candidates does not depend on the file system.
std::vector<fs::directory_entry> sortedEntries(const fs::path& folder) {
  std::vector<fs::directory_entry> entries;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    entries.push_back(*it);
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
  return entries;
}

// The first candidate, preferring the one whose file name is `preferred`.
std::optional<fs::path> pick(const std::vector<fs::path>& candidates,
                             const std::string& preferred) {
  for (const auto& candidate : candidates) {
    if (candidate.filename() == preferred) return candidate;
  }
  if (candidates.empty()) return std::nullopt;
  return candidates.front();
}

std::optional<double> sampleRateOf(const fs::path& acousticModel) {
  std::ifstream parameters(acousticModel / "feat.params");
  std::string line;
  while (std::getline(parameters, line)) {
    std::istringstream words(line);
    std::string name, value;
    if (words >> name >> value && name == "-samprate") {
      try {
        double rate = std::stod(value);
        if (rate > 0) return rate;
      } catch (const std::exception&) {
      }
    }
  }
  return std::nullopt;
}

std::optional<SpeechModel> readModel(const fs::path& folder, bool system) {
  std::string name = folder.filename().string();
  Locale locale = Locale::fromIdentifier(name);
  if (locale.canonical().empty() || locale.bcp47() == "und") return std::nullopt;

  std::vector<fs::path> acoustic, language, dictionaries;
  for (const auto& entry : sortedEntries(folder)) {
    std::error_code error;
    std::string file = entry.path().filename().string();
    if (entry.is_directory(error)) {
      if (fs::is_regular_file(entry.path() / "mdef", error)) acoustic.push_back(entry.path());
    } else if (entry.is_regular_file(error)) {
      // Phone language models decode phonemes, not words.
      bool words = file.find("-phone") == std::string::npos;
      if (words &&
          (endsWith(file, ".lm.bin") || endsWith(file, ".lm") || endsWith(file, ".lm.DMP")))
        language.push_back(entry.path());
      if (endsWith(file, ".dict") || endsWith(file, ".dic")) dictionaries.push_back(entry.path());
    }
  }
  auto acousticModel = pick(acoustic, name);
  auto languageModel = pick(language, name + ".lm.bin");
  auto dictionary = pick(dictionaries, "cmudict-" + name + ".dict");
  if (!acousticModel || !languageModel || !dictionary) return std::nullopt;

  SpeechModel model;
  model.locale = locale;
  model.acousticModel = *acousticModel;
  model.languageModel = *languageModel;
  model.dictionary = *dictionary;
  model.sampleRate = sampleRateOf(*acousticModel).value_or(16000.0);
  model.system = system;
  return model;
}

}  // namespace

InstalledModels InstalledModels::system() {
  return InstalledModels({ModelSource{EARSHOT_SYSTEM_MODEL_DIR, true}},
                         support::StoreLocations::fromEnvironment());
}

bool InstalledModels::usable() const {
  return std::any_of(sources_.begin(), sources_.end(), [](const ModelSource& source) {
    std::error_code error;
    return fs::is_directory(source.root, error);
  });
}

std::vector<SpeechModel> InstalledModels::models() const {
  std::vector<SpeechModel> found;
  for (const auto& source : sources_) {
    for (const auto& entry : sortedEntries(source.root)) {
      std::error_code error;
      if (!entry.is_directory(error)) continue;
      auto model = readModel(entry.path(), source.system);
      if (!model) continue;
      bool known = std::any_of(found.begin(), found.end(),
                               [&](const SpeechModel& m) { return m.locale == model->locale; });
      if (!known) found.push_back(std::move(*model));
    }
  }
  // Downloaded models name their parts in their manifest.
  for (const auto& entry : store::ModelStore(store_).entries()) {
    bool known = std::any_of(found.begin(), found.end(),
                             [&](const SpeechModel& m) { return m.locale == entry.locale; });
    if (known || !entry.complete()) continue;
    store::ModelFiles files = entry.files();
    found.push_back(SpeechModel{
        entry.locale, files.acousticModel, files.languageModel, files.dictionary,
        sampleRateOf(files.acousticModel).value_or(16000.0), false, entry.manifest.textEncoding});
  }
  std::stable_sort(found.begin(), found.end(), [](const SpeechModel& a, const SpeechModel& b) {
    return a.locale.bcp47() < b.locale.bcp47();
  });
  return found;
}

std::optional<SpeechModel> InstalledModels::find(const Locale& locale) const {
  threading::MutexLock lock(kept_->mutex);
  for (const auto& model : kept_->models) {
    if (model.locale == locale) return model;
  }
  for (auto& model : models()) {
    if (model.locale != locale) continue;
    if (!model.system) kept_->models.push_back(model);
    return model;
  }
  return std::nullopt;
}

std::vector<Locale> InstalledModels::downloadableLocales() const {
  std::vector<Locale> locales;
  store::Catalog catalog = store::Catalog::load(store_);
  for (const auto& entry : catalog.entries()) locales.push_back(entry.locale);
  return locales;
}

}  // namespace earshot::platform::linuxos
