#pragma once

#include <string>
#include <vector>

#include "app/mode_choice.h"
#include "mode/mode_context.h"

namespace earshot::app {

// The process entry. It holds no state; each mode keeps its own.
//
// Threads: main() runs on the main thread, starts the chosen mode on one
// worker thread and only waits for it. The mode may start threads of its own
// (a results thread per analyzer session, the install progress poller) and
// joins each before it returns. The process then ends with _exit, so no
// static destructor (the decoder pool's) runs at exit.
class AppleSpeechHelper {
 public:
  // Never returns: exits with status 0 or 1.
  [[noreturn]] static void main(int argc, char** argv);

  // Runs the mode the arguments choose to its end on the calling thread and
  // returns the exit status; a failure has been written as one "error" line.
  static int execute(const std::vector<std::string>& arguments, mode::ModeContext& context);
};

// The arguments as UTF-8 text; invalid sequences become U+FFFD, so that a
// locale argument quoted in an error still makes a valid JSON line.
std::vector<std::string> argumentsAsText(int argc, char** argv);

}  // namespace earshot::app
