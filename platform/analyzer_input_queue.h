#pragma once

#include <memory>

#include "platform/closable_queue.h"
#include "platform/pcm_buffer.h"

namespace earshot::platform {

// One unit of analyzer input: a buffer in the analyzer's format, owned by
// whoever holds it; once pushed, the producer never touches it again.
using AnalyzerInput = std::unique_ptr<PcmBuffer>;

// The queue through which audio reaches an analyzer. The producer (the
// audio loop) pushes and closes and never waits; the consumer (the
// analyzer's own thread) blocks in next(). Unbounded on purpose: a host may
// send all its audio before it reads any output.
using AnalyzerInputQueue = ClosableQueue<AnalyzerInput>;

}  // namespace earshot::platform
