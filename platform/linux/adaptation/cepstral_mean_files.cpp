#include "platform/linux/adaptation/cepstral_mean_files.h"

#include <stdlib.h>
#include <unistd.h>

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

constexpr std::string_view header = "earshot cepstral mean 1";
constexpr std::string_view suffix = ".cmn";
constexpr size_t largestFile = 4096;
constexpr size_t mostValues = 64;
// Means of speech stay well inside this (en-us starts at 41 for the first
// value and within 7 for the others; speech at 3% to 300% of a normal level
// gave values within 70); anything beyond is damage, not a voice.
constexpr float plausibleBound = 200.0f;

std::optional<std::vector<float>> parse(std::string_view text, const std::string& model) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    if (end == std::string_view::npos) return std::nullopt;  // cut short
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  if (lines.size() != 3 || lines[0] != header || lines[1] != model) return std::nullopt;
  std::vector<float> values;
  std::string_view rest = lines[2];
  while (!rest.empty()) {
    float value = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc() || !std::isfinite(value) || std::fabs(value) > plausibleBound) {
      return std::nullopt;
    }
    values.push_back(value);
    rest.remove_prefix(static_cast<size_t>(end - rest.data()));
    if (!rest.empty()) {
      if (rest.front() != ' ' || rest.size() == 1) return std::nullopt;
      rest.remove_prefix(1);
    }
    if (values.size() > mostValues) return std::nullopt;
  }
  if (values.empty()) return std::nullopt;
  return values;
}

// The locale part of a file of this folder, final or temporary:
// "<bcp47>-<16 hex>.cmn" or ".<bcp47>-<16 hex>.cmn.XXXXXX".
std::optional<std::string> localeOf(std::string name) {
  if (name.starts_with('.')) {
    size_t end = name.rfind(suffix);
    if (end == std::string::npos) return std::nullopt;
    name = name.substr(1, end - 1);
  } else if (name.ends_with(suffix)) {
    name.resize(name.size() - suffix.size());
  } else {
    return std::nullopt;
  }
  size_t dash = name.rfind('-');
  if (dash == std::string::npos || name.size() - dash != 17) return std::nullopt;
  return name.substr(0, dash);
}

}  // namespace

fs::path CepstralMeanFiles::fileOf(const std::string& model) const {
  return folder_ / (model + std::string(suffix));
}

std::optional<std::vector<float>> CepstralMeanFiles::recall(const std::string& model) {
  try {
    auto text = support::readRegularFile(fileOf(model), largestFile);
    if (!text) return std::nullopt;
    return parse(*text, model);
  } catch (...) {
    return std::nullopt;
  }
}

void CepstralMeanFiles::remember(const std::string& model, std::span<const float> mean) {
  if (mean.empty() || mean.size() > mostValues) return;
  std::string text(header);
  text += "\n" + model + "\n";
  for (size_t i = 0; i < mean.size(); ++i) {
    if (!std::isfinite(mean[i]) || std::fabs(mean[i]) > plausibleBound) return;
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
    temporary = (folder_ / ("." + model + std::string(suffix) + ".XXXXXX")).string();
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
