#pragma once

#include "platform/linux/support/file_failure.h"

namespace earshot::platform::linuxos::store {

// Why one store step failed, in words for the host ("the server answered
// HTTP 404"). The installation request turns it into one PlatformError that
// names the locale. The helpers in support/ throw the same type.
using StoreFailure = support::FileFailure;
using support::failWithErrno;

}  // namespace earshot::platform::linuxos::store
