#pragma once

#include "channel/outgoing_message.h"
#include "threading/mutex.h"

namespace earshot::channel {

// Writes messages to the host, one whole line each. Called from several
// threads at once (the audio loop and a results thread, or the install flow
// and its progress poller): the lock, held for a whole line, keeps lines from
// interleaving, however long they are.
class HostOutput {
 public:
  // Does not own `fd`. The process ignores SIGPIPE (see the entry), so a
  // closed pipe shows up as a failed write here.
  explicit HostOutput(int fd) : fd_(fd) {}

  // Writes the message and a line feed, all of it before returning, waiting
  // for room when `fd` is non-blocking and full. A message that cannot be
  // serialized is dropped; once a write fails (the host has gone) the rest of
  // the line is dropped silently.
  void emit(const OutgoingMessage& message) EXCLUDES(mutex_);

 private:
  const int fd_;  // written only under mutex_
  threading::Mutex mutex_;
};

}  // namespace earshot::channel
