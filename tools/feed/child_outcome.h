#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "protocol/program_lines.h"
#include "tools/feed/child_process.h"
#include "tools/feed/views.h"

namespace earshot::feed {

// Waits for earshot, finishes `view`, and says how earshot ended when it
// failed without an "error" line: one "earshot-feed:" line on `err` naming
// its exit status or the signal that ended it. `killed`: this tool ended
// it, and says why itself. Returns 0, or 1 when earshot failed.
int finishRun(ChildProcess& child, View& view, std::ostream& err, bool killed = false);

// earshot's error text, with what this tool knows that helps: the
// supported locales when a locale was refused. `earshot` runs --locales.
std::string explainEarshotError(const std::string& message, const std::string& earshot);

// earshot --locales' answer; nullopt when it gave none.
std::optional<EarshotLine> localesOf(const std::string& earshot);

}  // namespace earshot::feed
