#pragma once

#include <string>
#include <vector>

namespace earshot::app {

enum class Mode { liveTranscription, locales, install, release };

struct ModeChoice {
  Mode mode = Mode::liveTranscription;
  std::string requestedLocale;  // for install and release, verbatim
};

// Scans the whole argument list, index 0 included. The first "--release"
// with a value after it wins, then the first "--install" with a value, then
// any "--locales"; otherwise live transcription. Other arguments are ignored.
ModeChoice chooseMode(const std::vector<std::string>& arguments);

}  // namespace earshot::app
