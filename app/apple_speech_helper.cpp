#include "app/apple_speech_helper.h"

#include <exception>

#include "assets/asset_modes.h"
#include "channel/line_reader.h"
#include "channel/utf8.h"
#include "mode/bridge_error.h"
#include "protocol/names.h"
#include "protocol/texts.h"
#include "session/live_transcription.h"

namespace earshot::app {

int AppleSpeechHelper::execute(const std::vector<std::string>& arguments,
                               mode::ModeContext& context) {
  ModeChoice choice = chooseMode(arguments);
  std::string failure;
  try {
    switch (choice.mode) {
      case Mode::release:
        assets::releaseLocale(context, choice.requestedLocale);
        break;
      case Mode::install:
        assets::installLocale(context, choice.requestedLocale);
        break;
      case Mode::locales:
        assets::emitLocales(context);
        break;
      case Mode::liveTranscription:
        session::runLiveTranscription(context);
        break;
    }
    return 0;
  } catch (const mode::BridgeError& error) {
    failure = error.message;
  } catch (const std::exception& error) {
    failure = error.what();  // platform and JSON errors pass through unchanged
  } catch (...) {
    failure = protocol::text::kUnknownFailure;
  }
  context.output.emit(
      channel::OutgoingMessage(protocol::type::kError).add(protocol::member::kMessage, failure));
  return 1;
}

std::vector<std::string> argumentsAsText(int argc, char** argv) {
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    std::string text;
    channel::repairUtf8(argv[i], text);
    arguments.push_back(std::move(text));
  }
  return arguments;
}

}  // namespace earshot::app
