#pragma once

#include <string>

#include "app/channel/mode_context.h"

namespace earshot::assets {

// The one-shot modes. Each runs on the mode's thread, never reads standard
// input, and throws the failure that ends it.
void emitLocales(ModeContext& context);
void installLocale(ModeContext& context, const std::string& requested);
void releaseLocale(ModeContext& context, const std::string& requested);

}  // namespace earshot::assets
