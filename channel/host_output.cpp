#include "channel/host_output.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "channel/descriptor_readiness.h"

namespace earshot::channel {

void HostOutput::emit(const OutgoingMessage& message) {
  std::optional<std::string> line = message.serialize();
  if (!line) return;
  line->push_back('\n');
  threading::MutexLock lock(mutex_);
  const char* data = line->data();
  size_t left = line->size();
  while (left > 0) {
    ssize_t written = ::write(fd_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      // A non-blocking pipe that is full: wait for room rather than leave
      // the line cut, so that every line goes out whole.
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && waitUntilReady(fd_, POLLOUT)) continue;
      return;  // the host has gone; nothing to tell anyone
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
}

}  // namespace earshot::channel
