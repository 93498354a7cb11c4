#include "app/apple_speech_helper.h"

#include <exception>

#include "app/channel/bridge_error.h"
#include "app/channel/line_reader.h"
#include "app/channel/utf8.h"
#include "assets/asset_modes.h"
#include "session/live_transcription.h"

namespace earshot {

void AppleSpeechHelper::run(ModeContext& context) {
  session::runLiveTranscription(context);
}

void AppleSpeechHelper::emitLocales(ModeContext& context) {
  assets::emitLocales(context);
}

void AppleSpeechHelper::installLocale(ModeContext& context, const std::string& locale) {
  assets::installLocale(context, locale);
}

void AppleSpeechHelper::releaseLocale(ModeContext& context, const std::string& locale) {
  assets::releaseLocale(context, locale);
}

int AppleSpeechHelper::execute(const std::vector<std::string>& arguments, ModeContext& context) {
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
  } catch (const BridgeError& error) {
    failure = error.message;
  } catch (const std::exception& error) {
    failure = error.what();  // platform and JSON errors pass through unchanged
  } catch (...) {
    failure = "Unknown failure";
  }
  context.output.emit(OutgoingMessage("error").add("message", failure));
  return 1;
}

std::vector<std::string> argumentsAsText(int argc, char** argv) {
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    std::string text;
    repairUtf8(argv[i], text);
    arguments.push_back(std::move(text));
  }
  return arguments;
}

}  // namespace earshot
