// A child process for the store tests: installs or releases one locale in
// the store of its XDG environment, so that tests can kill it mid-install
// or run two at once.
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/linux/store/store_asset_inventory.h"
#include "tests/platform/linux/store/store_fixture.h"

int main(int argc, char** argv) {
  using namespace earshot;
  if (argc != 3) return 2;
  std::string command = argv[1];
  // Tests make writing fail like a full disk by capping the file size.
  if (const char* limit = std::getenv("STORE_TOOL_FILE_LIMIT")) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlim_t bytes = std::strtoull(limit, nullptr, 10);
    struct rlimit cap = {bytes, bytes};
    ::setrlimit(RLIMIT_FSIZE, &cap);
  }
  platform::linuxos::store::StoreAssetInventory inventory(
      platform::linuxos::support::StoreLocations::fromEnvironment(),
      [](const platform::Locale& locale) {
        return locale == platform::Locale::fromIdentifier("en-US");
      });
  try {
    if (command == "install") {
      auto request = inventory.assetInstallationRequest(testkit::modulesFor(argv[2]));
      if (request) request->downloadAndInstall();
      std::printf("installed\n");
      return 0;
    }
    if (command == "release") {
      std::printf("%s\n",
                  inventory.release(platform::Locale::fromIdentifier(argv[2])) ? "true" : "false");
      return 0;
    }
  } catch (const std::exception& failure) {
    std::printf("error: %s\n", failure.what());
    return 1;
  }
  return 2;
}
