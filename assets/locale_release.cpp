#include "assets/asset_modes.h"
#include "session/locale_gate.h"

namespace earshot::assets {

void releaseLocale(ModeContext& context, const std::string& requested) {
  platform::Locale resolved =
      session::passGate(*context.platform.speech, requested, session::GateMode::release);
  // False only means nothing was released; the host reads it from the line.
  bool released = context.platform.assets->release(resolved);
  context.output.emit(
      OutgoingMessage("release-done").add("locale", resolved.bcp47()).add("released", released));
}

}  // namespace earshot::assets
