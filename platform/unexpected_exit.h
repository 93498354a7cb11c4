#pragma once

#include <functional>
#include <optional>
#include <string>

namespace earshot::platform {

// Some engines end the process with exit() on a fault they cannot report
// otherwise (a model file they cannot read, for example). While a platform
// call that may do so runs, an ExitExplanation names the failure it would
// be, so that the entry, whose exit handler then runs on the same thread,
// can still write it as the mode's one "error" line.
//
// `describe` is called on the exiting thread, so it may read what that
// thread knows (the engine's last logged error). Each thread has its own
// explanations, which nest: the innermost counts.
class ExitExplanation {
 public:
  explicit ExitExplanation(std::function<std::string()> describe);
  ~ExitExplanation();
  ExitExplanation(const ExitExplanation&) = delete;
  ExitExplanation& operator=(const ExitExplanation&) = delete;

 private:
  friend std::optional<std::string> explainUnexpectedExit();
  std::function<std::string()> describe_;
  ExitExplanation* outer_;
};

// The text of the calling thread's innermost explanation, or nullopt when it
// holds none. For the entry's exit handler.
std::optional<std::string> explainUnexpectedExit();

}  // namespace earshot::platform
