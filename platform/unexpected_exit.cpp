#include "platform/unexpected_exit.h"

namespace earshot::platform {
namespace {

// exit() runs the exit handlers on the thread that called it, so each thread
// keeps its own explanations.
thread_local ExitExplanation* innermost = nullptr;

}  // namespace

ExitExplanation::ExitExplanation(std::function<std::string()> describe)
    : describe_(std::move(describe)), outer_(innermost) {
  innermost = this;
}

ExitExplanation::~ExitExplanation() {
  innermost = outer_;
}

std::optional<std::string> explainUnexpectedExit() {
  if (innermost == nullptr) return std::nullopt;
  return innermost->describe_();
}

}  // namespace earshot::platform
