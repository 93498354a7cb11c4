#include "tools/feed/child_outcome.h"

#include <string.h>

#include "protocol/texts.h"

namespace earshot::feed {
namespace {

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text.empty() ? "none" : text;
}

}  // namespace

int finishRun(ChildProcess& child, View& view, std::ostream& err, bool killed) {
  std::optional<int> signal;
  int status = child.wait(&signal);
  view.finish();
  if (killed) {
  } else if (signal) {
    const char* name = ::sigabbrev_np(*signal);
    err << "earshot-feed: earshot was killed by " << (name ? "SIG" + std::string(name) : "a signal")
        << " (signal " << *signal << ")\n";
  } else if (status != 0 && !view.sawError()) {
    err << "earshot-feed: earshot ended with status " << status << " and no error message\n";
  }
  err.flush();
  return status == 0 ? 0 : 1;
}

std::optional<EarshotLine> localesOf(const std::string& earshot) {
  try {
    ChildProcess child(earshot, {"--locales"}, /*ownProcessGroup=*/false);
    child.closeInput();
    LineInput lines(child.output());
    std::optional<EarshotLine> found;
    for (std::string line; lines.next(line);) {
      std::optional<EarshotLine> parsed = parseEarshotLine(line);
      if (parsed && parsed->type == "locales") found = parsed;
    }
    child.wait();
    return found;
  } catch (const SpawnError&) {
    return std::nullopt;
  }
}

std::string explainEarshotError(const std::string& message, const std::string& earshot) {
  std::optional<std::string> locale = protocol::text::unsupportedLanguageRequest(message);
  if (!locale) return message;
  std::optional<EarshotLine> locales = localesOf(earshot);
  std::string supported = locales ? joined(locales->supported) : "unknown";
  return "earshot-feed: locale " + *locale + " is not supported; supported locales: " + supported;
}

}  // namespace earshot::feed
