#pragma once

#include "tools/feed/options.h"
#include "tools/feed/run_settings.h"

namespace earshot::feed {

// --locales, --install or --release: earshot's one-shot modes, shown for a
// person. Returns 0, or 1 when earshot failed.
int runOneShot(const FeedOptions& options, const RunSettings& settings);

}  // namespace earshot::feed
