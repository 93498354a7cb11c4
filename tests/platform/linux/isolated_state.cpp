// Every test of this binary keeps the program's state (speaker adaptation)
// in a temporary folder, never in the user's $XDG_STATE_HOME.
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::filesystem::path stateFolder() {
  return std::filesystem::temp_directory_path() /
         ("earshot-test-state-" + std::to_string(::getpid()));
}

const bool isolated = [] {
  ::setenv("XDG_STATE_HOME", stateFolder().c_str(), 1);
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(stateFolder(), ignored);
  });
  return true;
}();

}  // namespace
