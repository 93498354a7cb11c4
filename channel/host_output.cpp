#include "channel/host_output.h"

#include <unistd.h>

#include <cerrno>

namespace earshot::channel {

void HostOutput::emit(const OutgoingMessage& message) {
  std::optional<std::string> line = message.serialize();
  if (!line) return;
  line->push_back('\n');
  std::lock_guard lock(mutex_);
  const char* data = line->data();
  size_t left = line->size();
  while (left > 0) {
    ssize_t written = ::write(fd_, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // the host has gone; nothing to tell anyone
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
}

}  // namespace earshot::channel
