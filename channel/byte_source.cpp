#include "channel/byte_source.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "channel/descriptor_readiness.h"

namespace earshot::channel {

size_t FdByteSource::readSome(char* out, size_t capacity) {
  for (;;) {
    ssize_t got = ::read(fd_, out, capacity);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno == EINTR) continue;
    // A host may hand us a non-blocking pipe: no data yet is not the end.
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && waitUntilReady(fd_, POLLIN)) continue;
    return 0;
  }
}

size_t MemoryByteSource::readSome(char* out, size_t capacity) {
  size_t count = std::min({capacity, chunk_, bytes_.size()});
  std::memcpy(out, bytes_.data(), count);
  bytes_.remove_prefix(count);
  return count;
}

}  // namespace earshot::channel
