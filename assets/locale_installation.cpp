#include <memory>

#include "assets/asset_modes.h"
#include "assets/progress_poller.h"
#include "mode/locale_gate.h"
#include "protocol/names.h"

namespace earshot::assets {
namespace {

void writeClosingLines(channel::HostOutput& output, const std::string& locale) {
  output.emit(installProgressLine(locale, 1.0));
  output.emit(channel::OutgoingMessage(protocol::type::kInstallDone)
                  .add(protocol::member::kLocale, locale));
}

}  // namespace

void installLocale(mode::ModeContext& context, const std::string& requested) {
  platform::Platform& platform = context.platform;
  platform::Locale resolved = mode::passGate(*platform.speech, requested, mode::GateMode::install);
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

  {
    // Leaving this block stops and joins the poller, also when the download
    // fails, so that no progress line can follow the closing line or the
    // error.
    ProgressPoller poller(request->progress(), platform.sleeper, locale, context.output);
    request->downloadAndInstall();
  }
  writeClosingLines(context.output, locale);
}

}  // namespace earshot::assets
