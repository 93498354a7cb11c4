#include "app/apple_speech_helper.h"

#include <exception>

#include "assets/asset_modes.h"
#include "channel/line_reader.h"
#include "channel/utf8.h"
#include "mode/bridge_error.h"
#include "session/live_transcription.h"

namespace earshot::app {

void AppleSpeechHelper::run(mode::ModeContext& context) {
  session::runLiveTranscription(context);
}

void AppleSpeechHelper::emitLocales(mode::ModeContext& context) {
  assets::emitLocales(context);
}

void AppleSpeechHelper::installLocale(mode::ModeContext& context, const std::string& locale) {
  assets::installLocale(context, locale);
}

void AppleSpeechHelper::releaseLocale(mode::ModeContext& context, const std::string& locale) {
  assets::releaseLocale(context, locale);
}

int AppleSpeechHelper::execute(const std::vector<std::string>& arguments,
                               mode::ModeContext& context) {
  ModeChoice choice = chooseMode(arguments);
  std::string failure;
  try {
    switch (choice.mode) {
      case Mode::release:
        releaseLocale(context, choice.requestedLocale);
        break;
      case Mode::install:
        installLocale(context, choice.requestedLocale);
        break;
      case Mode::locales:
        emitLocales(context);
        break;
      case Mode::liveTranscription:
        run(context);
        break;
    }
    return 0;
  } catch (const mode::BridgeError& error) {
    failure = error.message;
  } catch (const std::exception& error) {
    failure = error.what();  // platform and JSON errors pass through unchanged
  } catch (...) {
    failure = "Unknown failure";
  }
  context.output.emit(channel::OutgoingMessage("error").add("message", failure));
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
