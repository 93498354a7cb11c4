#include "app/mode_choice.h"

#include <algorithm>

namespace earshot::app {
namespace {

// The argument after the first occurrence of `option`, if both exist.
const std::string* valueAfter(const std::vector<std::string>& arguments, const char* option) {
  auto found = std::find(arguments.begin(), arguments.end(), option);
  if (found == arguments.end() || found + 1 == arguments.end()) return nullptr;
  return &*(found + 1);
}

}  // namespace

ModeChoice chooseMode(const std::vector<std::string>& arguments) {
  if (const std::string* locale = valueAfter(arguments, "--release")) {
    return {Mode::release, *locale};
  }
  if (const std::string* locale = valueAfter(arguments, "--install")) {
    return {Mode::install, *locale};
  }
  if (std::find(arguments.begin(), arguments.end(), "--locales") != arguments.end()) {
    return {Mode::locales, {}};
  }
  return {Mode::liveTranscription, {}};
}

}  // namespace earshot::app
