#pragma once

#include <string>
#include <vector>

#include "app/channel/mode_context.h"
#include "app/mode_choice.h"

namespace earshot {

// The process entry. It holds no state; each mode keeps its own.
//
// Threads: main() runs on the main thread, starts the chosen mode on one
// worker thread and only waits for it. The mode may start threads of its own
// (a results thread per analyzer session, the install progress poller);
// nothing waits for those at exit: the process ends with _exit right after
// the last line is written, so no static destructor races a running thread.
class AppleSpeechHelper {
 public:
  // Never returns: exits with status 0 or 1.
  [[noreturn]] static void main(int argc, char** argv);

  // Runs the mode the arguments choose to its end on the calling thread and
  // returns the exit status; a failure has been written as one "error" line.
  static int execute(const std::vector<std::string>& arguments, ModeContext& context);

  static void run(ModeContext& context);
  static void emitLocales(ModeContext& context);
  static void installLocale(ModeContext& context, const std::string& locale);
  static void releaseLocale(ModeContext& context, const std::string& locale);
};

// The arguments as UTF-8 text; invalid sequences become U+FFFD, so that a
// locale argument quoted in an error still makes a valid JSON line.
std::vector<std::string> argumentsAsText(int argc, char** argv);

}  // namespace earshot
