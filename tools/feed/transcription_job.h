#pragma once

#include "tools/feed/options.h"
#include "tools/feed/run_settings.h"

namespace earshot::feed {

// A transcription as the command line asks for it:
// - the vocabulary checked (vocabulary.h);
// - the output targets planned and checked before anything is opened for
//   writing: none may be one of the inputs (same file, or same path once
//   resolved), and no two inputs may map to one file of --output-dir;
// - the inputs opened, each one that cannot be read named and skipped;
// - earshot run over them (transcription_run.h), with a progress line on
//   standard error when that is a terminal `errColumns` wide (0: not a
//   terminal) and the transcript goes to a file or a pipe;
// - the outputs put in place, and a failed write told.
// Throws UsageError for a command line that cannot run, OutputError when
// an output cannot be written. Returns 0, or 1 when earshot or an input
// failed.
int runTranscriptionJob(const FeedOptions& options, const RunSettings& settings, int errColumns);

// The file of --output-dir that `input` (a path, or "-") is written to.
std::string outputNameFor(const std::string& input, Format format);

}  // namespace earshot::feed
