#include <memory>

#include "assets/asset_modes.h"
#include "assets/progress_poller.h"
#include "session/locale_gate.h"

namespace earshot::assets {
namespace {

void writeClosingLines(HostOutput& output, const std::string& locale) {
  output.emit(installProgressLine(locale, 1.0));
  output.emit(OutgoingMessage("install-done").add("locale", locale));
}

}  // namespace

void installLocale(ModeContext& context, const std::string& requested) {
  platform::Platform& platform = context.platform;
  platform::Locale resolved =
      session::passGate(*platform.speech, requested, session::GateMode::install);
  std::string locale = resolved.bcp47();

  // The transcriber only names the assets needed; nothing is analyzed here.
  platform::ModuleList modules{platform.speech->makeTranscriber(
      resolved, platform::TranscriberPreset::progressiveTranscription)};
  std::unique_ptr<platform::AssetInstallationRequest> request =
      platform.assets->assetInstallationRequest(modules);
  if (!request) {
    writeClosingLines(context.output, locale);
    return;
  }

  // The poller is never waited for: once the mode returns, the process ends
  // it, wherever it is.
  ProgressPoller poller(request->progress(), platform.sleeper, locale, context.output);
  try {
    request->downloadAndInstall();
  } catch (...) {
    poller.requestStop();
    throw;
  }
  writeClosingLines(context.output, locale);
  poller.requestStop();
}

}  // namespace earshot::assets
