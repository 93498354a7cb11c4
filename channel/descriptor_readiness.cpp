#include "channel/descriptor_readiness.h"

#include <poll.h>

#include <cerrno>

namespace earshot::channel {

bool waitUntilReady(int fd, short events) {
  pollfd watched{fd, events, 0};
  for (;;) {
    if (::poll(&watched, 1, -1) >= 0) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace earshot::channel
