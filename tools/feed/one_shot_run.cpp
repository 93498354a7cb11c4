#include "tools/feed/one_shot_run.h"

#include <cctype>
#include <memory>

#include "tools/feed/child_outcome.h"
#include "tools/feed/child_process.h"

namespace earshot::feed {
namespace {

// "en_US.UTF-8", "en-us" and "en-US" name one locale.
std::string sameLocaleKey(std::string locale) {
  locale = locale.substr(0, locale.find('.'));
  for (char& c : locale) c = c == '_' ? '-' : char(std::tolower(static_cast<unsigned char>(c)));
  return locale;
}

}  // namespace

int runOneShot(const FeedOptions& options, const RunSettings& settings) {
  std::unique_ptr<View> view;
  std::vector<std::string> arguments;
  switch (options.action) {
    case Action::Locales:
      view = std::make_unique<LocalesView>(settings.style, settings.out, settings.err);
      arguments = {"--locales"};
      break;
    case Action::Install: {
      std::optional<EarshotLine> locales = localesOf(settings.earshot);
      if (locales) {
        for (const std::string& installed : locales->installed) {
          if (sameLocaleKey(installed) == sameLocaleKey(options.assetLocale)) {
            settings.out << installed << " is already installed: nothing to do.\n";
            return 0;
          }
        }
      }
      view = std::make_unique<InstallView>(settings.style, settings.out, settings.err);
      arguments = {"--install", options.assetLocale};
      break;
    }
    case Action::Release:
      view = std::make_unique<ReleaseView>(settings.style, settings.out, settings.err);
      arguments = {"--release", options.assetLocale};
      break;
    default:
      return 2;
  }
  view->explainError = [&](const std::string& message) {
    return explainEarshotError(message, settings.earshot);
  };
  // Same process group: a Ctrl-C ends a download as well as this tool.
  ChildProcess child(settings.earshot, arguments, /*ownProcessGroup=*/false);
  child.closeInput();
  LineInput lines(child.output());
  std::string line;
  while (lines.next(line)) view->show(line);
  return finishRun(child, *view, settings.err);
}

}  // namespace earshot::feed
