#include "platform/linux/linux_platform.h"
#include "platform/platform.h"

namespace earshot::platform {

// The engine's model directory decides availability: without it the Linux
// services report themselves unavailable and list no locale.
Platform makeSystemPlatform() {
  return linuxos::makeLinuxPlatform();
}

}  // namespace earshot::platform
