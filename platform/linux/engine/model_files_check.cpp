#include "platform/linux/engine/model_files_check.h"

#include <charconv>
#include <cmath>
#include <map>
#include <sstream>
#include <system_error>

#include "platform/linux/support/regular_file.h"

namespace earshot::platform::linuxos {
namespace {

constexpr size_t kLargestFeatureFile = 65536;
constexpr size_t kLargestModelFile = size_t{1} << 30;

struct Range {
  double low, high;
  bool whole;  // an integer option
};

// The engine's numeric front-end options, with the ranges a working model
// has (wide: every packaged and published model sits well inside).
const std::map<std::string, Range>& numericOptions() {
  static const std::map<std::string, Range> options = {
      {"-samprate", {8000, 192000, false}},
      {"-nfilt", {1, 256, true}},
      {"-ncep", {1, 256, true}},
      {"-lowerf", {0, 96000, false}},
      {"-upperf", {1, 96000, false}},
      {"-nfft", {64, 65536, true}},
      {"-wlen", {0.001, 0.1, false}},
      {"-frate", {1, 1000, true}},
      {"-lifter", {0, 1000, true}},
      {"-alpha", {0, 0.999, false}},
      {"-ceplen", {1, 256, true}},
  };
  return options;
}

std::optional<double> number(const std::string& text) {
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::string> featureProblem(const std::filesystem::path& file) {
  std::error_code error;
  // Optional: the engine's defaults apply.
  if (!std::filesystem::exists(std::filesystem::symlink_status(file, error))) return std::nullopt;
  std::optional<std::string> text =
      support::readRegularFile(file, kLargestFeatureFile, support::Links::follow);
  if (!text) return "the acoustic model's feat.params is not a readable file";
  std::istringstream in(*text);
  std::map<std::string, double> values;
  std::string name, value;
  while (in >> name) {
    if (!(in >> value)) return "the feature parameter " + name + " has no value";
    auto known = numericOptions().find(name);
    if (known == numericOptions().end()) continue;
    const Range& range = known->second;
    std::optional<double> parsed = number(value);
    if (!parsed || *parsed < range.low || *parsed > range.high ||
        (range.whole && *parsed != std::floor(*parsed))) {
      return "the feature parameter " + name + " " + value + " is out of range";
    }
    values[name] = *parsed;
  }
  auto valueOf = [&](const char* option, double fallback) {
    auto found = values.find(option);
    return found == values.end() ? fallback : found->second;
  };
  // Relations between them, with the engine's defaults for what is absent.
  double rate = valueOf("-samprate", 16000);
  double nfft = valueOf("-nfft", 512);
  if (std::exp2(std::round(std::log2(nfft))) != nfft) {
    return "the feature parameter -nfft is not a power of two";
  }
  if (valueOf("-wlen", 0.025625) * rate > nfft) {
    return "the analysis window is longer than -nfft";
  }
  if (valueOf("-lowerf", 133.33334) >= valueOf("-upperf", 6855.4976) ||
      valueOf("-upperf", 6855.4976) > rate / 2) {
    return "the feature parameters -lowerf and -upperf do not fit the sample rate";
  }
  if (valueOf("-ncep", 13) > valueOf("-nfilt", 40)) {
    return "the feature parameter -ncep is larger than -nfilt";
  }
  return std::nullopt;
}

// The engine reads a binary definition (it starts with "BMDF") or a text one
// (it starts with its format version, "0.3"), and exits on anything else.
std::optional<std::string> definitionProblem(const std::filesystem::path& file) {
  std::string start;
  auto firstBytes = [&start](std::string_view piece) {
    start += piece;
    return start.size() < 64;
  };
  if (!support::readRegularFile(file, kLargestModelFile, firstBytes, support::Links::follow)) {
    return "the acoustic model has no readable mdef";
  }
  if (start.starts_with("BMDF")) return std::nullopt;
  std::istringstream in(start);
  std::string version;
  if (in >> version && version == "0.3") return std::nullopt;
  return "the acoustic model's mdef is not a model definition";
}

// The engine opens its files blocking: a FIFO or a device in a model
// folder would hang or feed it, so every file it may read must be a
// regular one (links to regular files are fine).
std::optional<std::string> specialFileProblem(const SpeechModel& model) {
  auto special = [](const std::filesystem::path& file) {
    std::error_code error;
    auto status = std::filesystem::status(file, error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
           !std::filesystem::is_directory(status);
  };
  if (special(model.dictionary)) return "the dictionary is not a regular file";
  if (special(model.languageModel)) return "the language model is not a regular file";
  std::error_code error;
  for (std::filesystem::directory_iterator it(model.acousticModel, error), end; !error && it != end;
       it.increment(error)) {
    if (special(it->path())) {
      return "the acoustic model's " + it->path().filename().string() + " is not a regular file";
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> modelFileProblem(const SpeechModel& model) {
  if (auto problem = specialFileProblem(model)) return problem;
  if (auto problem = featureProblem(model.acousticModel / "feat.params")) return problem;
  return definitionProblem(model.acousticModel / "mdef");
}

}  // namespace earshot::platform::linuxos
