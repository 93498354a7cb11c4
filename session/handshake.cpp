#include "session/handshake.h"

#include <algorithm>
#include <string>

#include "channel/json_message.h"
#include "channel/outgoing_message.h"
#include "mode/bridge_error.h"
#include "mode/locale_gate.h"
#include "protocol/names.h"
#include "protocol/texts.h"

namespace earshot::session {
namespace {

struct InitRequest {
  std::string locale;  // the requested locale string
  InitOptions options;
};

// What the first line, which must be "init", asks for.
InitRequest readInit(channel::LineReader& input, channel::JsonMessageParser& parser) {
  std::optional<channel::InputLine> line = input.next();
  // An over-long line was not kept, so it cannot be read as "init" either.
  if (!line || line->overLong) throw mode::BridgeError(protocol::text::kExpectedInit);
  channel::IncomingMessage message = parser.parse(*line);
  if (!message.isObject() || message.string(protocol::member::kType) != protocol::type::kInit) {
    throw mode::BridgeError(protocol::text::kExpectedInit);
  }
  InitOptions options = readInitOptions(message);
  if (std::optional<std::string_view> locale = message.string(protocol::member::kLocale)) {
    return {std::string(*locale), std::move(options)};
  }
  return {platform::Locale::currentIdentifier(), std::move(options)};
}

void installModelIfMissing(mode::ModeContext& context, const platform::Locale& locale,
                           const platform::ModuleList& modules) {
  std::vector<platform::Locale> installed = context.platform.speech->installedLocales();
  if (std::find(installed.begin(), installed.end(), locale) != installed.end()) return;
  context.output.emit(
      channel::OutgoingMessage(protocol::type::kStatus)
          .add(protocol::member::kPhase, protocol::value::kAssetDownload)
          .add(protocol::member::kMessage, protocol::text::downloadingModel(locale.bcp47())));
  if (auto request = context.platform.assets->assetInstallationRequest(modules)) {
    request->downloadAndInstall();
  }
}

}  // namespace

LiveSetup performHandshake(mode::ModeContext& context, channel::JsonMessageParser& parser) {
  platform::SpeechServices& speech = *context.platform.speech;
  mode::checkAvailability(speech);
  InitRequest request = readInit(context.input, parser);
  platform::Locale locale =
      mode::resolveLocale(speech, request.locale, mode::GateMode::liveTranscription);

  // Serves the model request and the format query only; every session makes
  // its own transcriber.
  platform::ModuleList modules = {
      speech.makeTranscriber(locale, platform::TranscriberPreset::progressiveTranscription)};
  installModelIfMissing(context, locale, modules);
  std::optional<platform::AudioFormat> format = speech.bestAvailableAudioFormat(modules);
  if (!format) throw mode::BridgeError(protocol::text::modelUnavailable(locale.bcp47()));
  modules.clear();

  auto failures = std::make_shared<FailureBox>();
  std::unique_ptr<AnalyzerSession> session =
      startSession(speech, context.output, locale, *format, failures, request.options);
  context.output.emit(channel::OutgoingMessage(protocol::type::kReady)
                          .add(protocol::member::kLocale, locale.bcp47())
                          .add(protocol::member::kSampleRate, format->sampleRate));
  return LiveSetup{std::move(locale), *format, std::move(failures), std::move(request.options),
                   std::move(session)};
}

}  // namespace earshot::session
