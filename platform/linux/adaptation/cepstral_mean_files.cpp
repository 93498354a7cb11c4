#include "platform/linux/adaptation/cepstral_mean_files.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <system_error>

#include "platform/linux/support/durable_files.h"
#include "platform/linux/support/regular_file.h"

namespace earshot::platform::linuxos {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kHeader = "earshot cepstral mean 2";
// The first format: no seconds of speech.
constexpr std::string_view kFirstHeader = "earshot cepstral mean 1";
constexpr std::string_view kSuffix = ".cmn";
constexpr size_t kLargestFile = 4096;
constexpr size_t kMostValues = 64;
// Means of speech stay well inside this (en-us starts at 41 for the first
// value and within 7 for the others; speech at 3% to 300% of a normal level
// gave values within 70); anything beyond is damage, not a voice.
constexpr float kPlausibleBound = 200.0f;
// More speech than anyone says to one model; beyond it the number is damage.
constexpr double kMostSpeechSeconds = 1e9;

std::optional<KeptMean> parse(std::string_view text, const std::string& name) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;  // cut short
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  KeptMean kept;
  if (lines.size() == 4 && lines[0] == kHeader) {
    std::string_view seconds = lines[2];
    auto [end, error] =
        std::from_chars(seconds.data(), seconds.data() + seconds.size(), kept.speechSeconds);
    if (error != std::errc() || end != seconds.data() + seconds.size() ||
        !(kept.speechSeconds >= 0 && kept.speechSeconds <= kMostSpeechSeconds)) {
      return std::nullopt;
    }
    lines.erase(lines.begin() + 2);
  } else if (lines.size() != 3 || lines[0] != kFirstHeader) {
    return std::nullopt;
  }
  if (lines[1] != name) return std::nullopt;
  std::vector<float>& values = kept.values;
  std::string_view rest = lines[2];
  while (!rest.empty()) {
    float value = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc() || !std::isfinite(value) || std::fabs(value) > kPlausibleBound) {
      return std::nullopt;
    }
    values.push_back(value);
    rest.remove_prefix(static_cast<size_t>(end - rest.data()));
    if (!rest.empty()) {
      if (rest.front() != ' ' || rest.size() == 1) return std::nullopt;
      rest.remove_prefix(1);
    }
    if (values.size() > kMostValues) return std::nullopt;
  }
  if (values.empty()) return std::nullopt;
  return kept;
}

// The locale part of a file of this folder, final or temporary:
// "<bcp47>-<16 hex>[@<more>].cmn" or ".<bcp47>-<16 hex>[@<more>].cmn.XXXXXX".
std::optional<std::string> localeOf(std::string name) {
  if (name.starts_with('.')) {
    size_t end = name.rfind(kSuffix);
    if (end == std::string::npos) return std::nullopt;
    name = name.substr(1, end - 1);
  } else if (name.ends_with(kSuffix)) {
    name.resize(name.size() - kSuffix.size());
  } else {
    return std::nullopt;
  }
  name.resize(std::min(name.size(), name.find('@')));  // a profile's or band's part
  size_t dash = name.rfind('-');
  if (dash == std::string::npos || name.size() - dash != 17) return std::nullopt;
  return name.substr(0, dash);
}

}  // namespace

fs::path CepstralMeanFiles::fileOf(const std::string& name) const {
  return folder_ / (name + std::string(kSuffix));
}

std::optional<KeptMean> CepstralMeanFiles::recallKept(const std::string& name) {
  try {
    auto text = support::readRegularFile(fileOf(name), kLargestFile);
    if (!text) return std::nullopt;
    return parse(*text, name);
  } catch (...) {
    return std::nullopt;
  }
}

void CepstralMeanFiles::keep(const std::string& name, const KeptMean& kept) {
  const std::string& model = name;
  const std::vector<float>& mean = kept.values;
  if (mean.empty() || mean.size() > kMostValues) return;
  if (!(kept.speechSeconds >= 0 && kept.speechSeconds <= kMostSpeechSeconds)) return;
  std::string text(kHeader);
  char seconds[32];
  auto [secondsEnd, secondsError] =
      std::to_chars(seconds, seconds + sizeof seconds, kept.speechSeconds);
  if (secondsError != std::errc()) return;
  text += "\n" + model + "\n" + std::string(seconds, secondsEnd) + "\n";
  for (size_t i = 0; i < mean.size(); ++i) {
    if (!std::isfinite(mean[i]) || std::fabs(mean[i]) > kPlausibleBound) return;
    char number[32];
    // Shortest text that reads back as the same float.
    auto [end, error] = std::to_chars(number, number + sizeof number, mean[i]);
    if (error != std::errc()) return;
    text += (i == 0 ? "" : " ") + std::string(number, end);
  }
  text += "\n";
  std::string temporary;
  try {
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error) return;
    temporary = (folder_ / ("." + model + std::string(kSuffix) + ".XXXXXX")).string();
    int fd = ::mkstemp(temporary.data());
    if (fd < 0) return;
    ::close(fd);
    // mkstemp chose a name no other writer has; the durable write creates
    // its file afresh and never through a link.
    ::unlink(temporary.c_str());
    support::writeFileDurably(temporary, text);
    if (::rename(temporary.c_str(), fileOf(model).c_str()) != 0) {
      ::unlink(temporary.c_str());
      return;
    }
    support::syncDirectory(folder_);
  } catch (...) {
    if (!temporary.empty()) ::unlink(temporary.c_str());
  }
}

void CepstralMeanFiles::forget(const Locale& locale) {
  std::string wanted = locale.bcp47();
  std::error_code error;
  for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    auto owner = localeOf(it->path().filename().string());
    if (owner && *owner == wanted) {
      std::error_code ignored;
      fs::remove(it->path(), ignored);
    }
  }
}

}  // namespace earshot::platform::linuxos
