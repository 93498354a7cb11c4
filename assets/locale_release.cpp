#include "assets/asset_modes.h"
#include "mode/locale_gate.h"

namespace earshot::assets {

void releaseLocale(mode::ModeContext& context, const std::string& requested) {
  platform::Locale resolved =
      mode::passGate(*context.platform.speech, requested, mode::GateMode::release);
  // False only means nothing was released; the host reads it from the line.
  bool released = context.platform.assets->release(resolved);
  context.output.emit(channel::OutgoingMessage("release-done")
                          .add("locale", resolved.bcp47())
                          .add("released", released));
}

}  // namespace earshot::assets
