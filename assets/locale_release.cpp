#include "assets/asset_modes.h"
#include "mode/locale_gate.h"
#include "protocol/names.h"

namespace earshot::assets {

void releaseLocale(mode::ModeContext& context, const std::string& requested) {
  platform::Locale resolved =
      mode::passGate(*context.platform.speech, requested, mode::GateMode::release);
  // False only means nothing was released; the host reads it from the line.
  bool released = context.platform.assets->release(resolved);
  context.output.emit(channel::OutgoingMessage(protocol::type::kReleaseDone)
                          .add(protocol::member::kLocale, resolved.bcp47())
                          .add(protocol::member::kReleased, released));
}

}  // namespace earshot::assets
