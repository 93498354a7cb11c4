#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/host_lines.h"
#include "tools/feed/audio_input.h"
#include "tools/feed/options.h"
#include "tools/feed/views.h"

namespace earshot::feed {

using protocol::InitExtras;

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

// One recording of a run and how its results are shown: the view is made
// when its first session starts (so a header lands in the right place).
struct RunInput {
  std::string name;
  std::unique_ptr<AudioInput> audio;
  std::function<std::unique_ptr<View>()> makeView;
};

// Transcribes `inputs` in order through one earshot: init (with what
// `extras` asks for, and a "flushed" answer to every flush), each input's
// audio, a flush between inputs (and every --flush-every seconds), stop.
//
// Threads: the caller's thread reads earshot's output and owns the views;
// one feeder thread owns the audio inputs and earshot's standard input,
// and is joined before return. Before each flush the feeder tells the
// reader which input (and time offset) the flush starts, and the reader
// moves there at earshot's "flushed", so every line is shown under the
// input it belongs to; the feeder never waits for that. Returns earshot's
// exit status, or 1 when it did not start in time.
int runTranscription(const FeedOptions& options, const InitExtras& extras,
                     std::vector<RunInput>& inputs, const RunSettings& settings);

// --locales, --install or --release: earshot's one-shot modes, shown for a
// person. Returns earshot's exit status.
int runOneShot(const FeedOptions& options, const RunSettings& settings);

// earshot's error text, with what this tool knows that helps: the
// supported locales when a locale was refused. `earshot` runs --locales.
std::string explainEarshotError(const std::string& message, const std::string& earshot);

// The child of the running transcription, for the SIGINT handler; -1 when
// none.
pid_t runningChild();

}  // namespace earshot::feed
