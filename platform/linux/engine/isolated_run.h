#pragma once

#include <functional>

namespace earshot::platform::linuxos {

// Runs `work` once in a child process, so that engine calls that may exit
// or abort instead of failing cannot harm this process. Throws
// std::runtime_error with the reason when `work` throws (its what()), the
// engine ends the child (its last error, else "the speech engine gave up on
// it"), or the child dies of a signal.
//
// The child is forked from the calling thread and runs only `work`, with
// its standard streams on /dev/null; other threads of this process (the
// install progress poller) go on meanwhile. Blocks until the child ends.
void runIsolated(const std::function<void()>& work);

}  // namespace earshot::platform::linuxos
