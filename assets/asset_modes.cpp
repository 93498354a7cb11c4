#include "assets/asset_modes.h"

#include "session/locale_gate.h"

namespace earshot::assets {

void emitLocales(ModeContext& context) {
  context.output.emit(OutgoingMessage("locales")
                          .add("available", false)
                          .add("supported", std::vector<std::string>{})
                          .add("installed", std::vector<std::string>{}));
}

void installLocale(ModeContext& context, const std::string& requested) {
  session::passGate(*context.platform.speech, requested, session::GateMode::install);
}

void releaseLocale(ModeContext& context, const std::string& requested) {
  session::passGate(*context.platform.speech, requested, session::GateMode::release);
}

}  // namespace earshot::assets
