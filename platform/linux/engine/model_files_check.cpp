#include "platform/linux/engine/model_files_check.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace earshot::platform::linuxos {
namespace {

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
  std::ifstream in(file);
  if (!in) return std::nullopt;  // optional: the engine's defaults apply
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
  std::ifstream in(file, std::ios::binary);
  if (!in) return "the acoustic model has no readable mdef";
  char start[4] = {};
  in.read(start, sizeof start);
  if (std::string_view(start, static_cast<size_t>(in.gcount())) == "BMDF") return std::nullopt;
  in.clear();
  in.seekg(0);
  std::string version;
  if (in >> version && version == "0.3") return std::nullopt;
  return "the acoustic model's mdef is not a model definition";
}

}  // namespace

std::optional<std::string> modelFileProblem(const SpeechModel& model) {
  if (auto problem = featureProblem(model.acousticModel / "feat.params")) return problem;
  return definitionProblem(model.acousticModel / "mdef");
}

}  // namespace earshot::platform::linuxos
