#include "session/handshake.h"

#include <algorithm>
#include <string>

#include "app/channel/bridge_error.h"
#include "app/channel/outgoing_message.h"
#include "session/locale_gate.h"

namespace earshot::session {
namespace {

// The requested locale string of the first line, which must be "init".
std::string readInit(LineReader& input, JsonMessageParser& parser) {
  std::optional<InputLine> line = input.next();
  // An over-long line was not kept, so it cannot be read as "init" either.
  if (!line || line->overLong) throw BridgeError("Expected init message");
  IncomingMessage message = parser.parse(*line);
  if (!message.isObject() || message.string("type") != "init") {
    throw BridgeError("Expected init message");
  }
  if (std::optional<std::string_view> locale = message.string("locale")) {
    return std::string(*locale);
  }
  return platform::Locale::currentIdentifier();
}

void installModelIfMissing(ModeContext& context, const platform::Locale& locale,
                           const platform::ModuleList& modules) {
  std::vector<platform::Locale> installed = context.platform.speech->installedLocales();
  if (std::find(installed.begin(), installed.end(), locale) != installed.end()) return;
  context.output.emit(
      OutgoingMessage("status")
          .add("phase", "asset-download")
          .add("message", "Downloading Apple speech model for " + locale.bcp47() + "\u2026"));
  if (auto request = context.platform.assets->assetInstallationRequest(modules)) {
    request->downloadAndInstall();
  }
}

}  // namespace

LiveSetup performHandshake(ModeContext& context, JsonMessageParser& parser) {
  platform::SpeechServices& speech = *context.platform.speech;
  checkAvailability(speech);
  std::string requested = readInit(context.input, parser);
  platform::Locale locale = resolveLocale(speech, requested, GateMode::liveTranscription);

  // Serves the model request and the format query only; every session makes
  // its own transcriber.
  platform::ModuleList modules = {
      speech.makeTranscriber(locale, platform::TranscriberPreset::progressiveTranscription)};
  installModelIfMissing(context, locale, modules);
  std::optional<platform::AudioFormat> format = speech.bestAvailableAudioFormat(modules);
  if (!format) throw BridgeError("Apple speech model is unavailable for " + locale.bcp47() + ".");
  modules.clear();

  auto failures = std::make_shared<FailureBox>();
  std::unique_ptr<AnalyzerSession> session =
      startSession(speech, context.output, locale, *format, failures);
  context.output.emit(
      OutgoingMessage("ready").add("locale", locale.bcp47()).add("sampleRate", format->sampleRate));
  return LiveSetup{std::move(locale), *format, std::move(failures), std::move(session)};
}

}  // namespace earshot::session
