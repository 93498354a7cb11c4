#pragma once

#include <memory>

#include "channel/json_message_fwd.h"
#include "mode/mode_context.h"
#include "platform/audio_format.h"
#include "platform/locale.h"
#include "session/analyzer_session.h"
#include "session/failure_box.h"
#include "session/init_options.h"

namespace earshot::session {

// What the opening of the live mode fixes for the rest of it.
struct LiveSetup {
  platform::Locale locale;               // the resolved locale
  platform::AudioFormat analyzerFormat;  // what audio is converted to
  std::shared_ptr<FailureBox> failures;
  InitOptions options;                       // for every session of the mode
  std::unique_ptr<AnalyzerSession> session;  // the first, already started
};

// From the availability check to "ready": reads the "init" line and its
// options (a bad one fails before the locale is looked at), resolves the
// locale, installs its model when missing (one "status" line first),
// gets the analyzer's format, starts the first session and writes "ready".
// Throws the failure that ends the mode.
LiveSetup performHandshake(mode::ModeContext& context, channel::JsonMessageParser& parser);

}  // namespace earshot::session
