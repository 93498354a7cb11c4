#pragma once

#include <ostream>
#include <string>

#include "tools/feed/audio_input.h"
#include "tools/feed/options.h"
#include "tools/feed/views.h"

namespace earshot::feed {

// Where a run writes and what it can be told from outside.
struct RunSettings {
  std::string earshot;  // path to run
  Style style = Style::Plain;
  int columns = 0;  // terminal width; 0 when unknown
  std::ostream& out;
  std::ostream& err;
  // An eventfd: once readable, the run stops reading audio and ends the
  // session in order ("stop"). Written by the SIGINT handler.
  int wakeFd = -1;
};

// A live session over `audio`, as FeedOptions says. Threads: the caller's
// thread reads earshot's output and owns the view; one feeder thread owns
// the audio input and earshot's standard input, and is joined before
// return. Returns earshot's exit status.
int runTranscription(const FeedOptions& options, AudioInput& audio, const RunSettings& settings);

// --locales, --install or --release: earshot's one-shot modes, shown for a
// person. Returns earshot's exit status.
int runOneShot(const FeedOptions& options, const RunSettings& settings);

// The child of the running transcription, for the SIGINT handler; -1 when
// none.
pid_t runningChild();

}  // namespace earshot::feed
