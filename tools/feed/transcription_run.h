#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocol/host_lines.h"
#include "tools/feed/audio_input.h"
#include "tools/feed/options.h"
#include "tools/feed/progress_line.h"
#include "tools/feed/run_settings.h"
#include "tools/feed/views.h"

namespace earshot::feed {

using protocol::InitExtras;

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
// With `progress`, the reader draws how far earshot has heard into each
// input (from the transcripts' times, when `extras` asks for them).
//
// Threads: the caller's thread reads earshot's output and owns the views
// and the progress line; one feeder thread owns the audio inputs and
// earshot's standard input, and is joined before return. Before each
// flush the feeder tells the reader which input (and time offset) the
// flush starts, and the reader moves there at earshot's "flushed", so
// every line is shown under the input it belongs to; the feeder never
// waits for that. Returns 0, or 1 when earshot failed or did not start in
// time.
int runTranscription(const FeedOptions& options, const InitExtras& extras,
                     std::vector<RunInput>& inputs, const RunSettings& settings,
                     ProgressLine* progress = nullptr);

// The child of the running transcription, for the SIGINT handler; -1 when
// none.
pid_t runningChild();

}  // namespace earshot::feed
