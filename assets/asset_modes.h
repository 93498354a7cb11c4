#pragma once

#include <string>

#include "mode/mode_context.h"

namespace earshot::assets {

// The one-shot modes. Each runs on the mode's thread, never reads standard
// input, and throws the failure that ends it.

// One "locales" line: the supported, installed and reserved locales and the
// reservation limit; an unavailable platform is reported, not thrown.
void emitLocales(mode::ModeContext& context);

// Installs the speech model of one locale, with "install-progress" lines and
// a closing "install-done". While the download runs a progress poller writes
// to context.output from its own thread; it has ended before this returns
// or throws.
void installLocale(mode::ModeContext& context, const std::string& requested);

// Releases the reservation of one locale; one "release-done" line.
void releaseLocale(mode::ModeContext& context, const std::string& requested);

}  // namespace earshot::assets
