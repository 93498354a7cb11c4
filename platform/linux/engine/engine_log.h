#pragma once

#include <string>

namespace earshot::platform::linuxos {

// The engine logs to stderr by default and prints its configuration there;
// nothing of ours may reach stderr. Call before any other engine call; safe
// to call from any thread, any number of times.
void silenceEngineLog();

// The last error or warning the engine logged on the calling thread, without
// its trailing line feed; empty when there was none. Cleared by
// clearEngineError().
std::string lastEngineError();
void clearEngineError();

}  // namespace earshot::platform::linuxos
