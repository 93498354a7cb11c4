#pragma once

namespace earshot::channel {

// A host may share a non-blocking pipe with us (O_NONBLOCK is a property of
// the pipe, not of one end's holder): reads and writes then fail with EAGAIN
// instead of waiting. This waits the way a blocking call would.
//
// Blocks until `fd` is ready for `events` (POLLIN or POLLOUT), hung up or in
// error; false only when poll(2) itself fails. The next read or write tells
// which it was.
bool waitUntilReady(int fd, short events);

}  // namespace earshot::channel
