#include "platform/linux/support/store_locations.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace earshot::platform::linuxos::support {
namespace {

std::filesystem::path absoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value != '/') return {};
  return value;
}

std::filesystem::path homeDirectory() {
  if (auto home = absoluteFromEnvironment("HOME"); !home.empty()) return home;
  // No usable $HOME (a service): the password database knows.
  struct passwd entry;
  struct passwd* found = nullptr;
  std::string buffer(16384, '\0');
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return "/";
}

std::filesystem::path baseDirectory(const char* name, const char* fallbackBelowHome) {
  if (auto value = absoluteFromEnvironment(name); !value.empty()) return value;
  return homeDirectory() / fallbackBelowHome;
}

}  // namespace

StoreLocations StoreLocations::fromEnvironment() {
  StoreLocations locations;
  locations.dataHome = baseDirectory("XDG_DATA_HOME", ".local/share");
  locations.configHome = baseDirectory("XDG_CONFIG_HOME", ".config");
  locations.cacheHome = baseDirectory("XDG_CACHE_HOME", ".cache");
  locations.stateHome = baseDirectory("XDG_STATE_HOME", ".local/state");
  const char* dirs = std::getenv("XDG_DATA_DIRS");
  std::string_view list = (dirs != nullptr && *dirs != '\0') ? dirs : "/usr/local/share:/usr/share";
  while (!list.empty()) {
    size_t colon = list.find(':');
    std::string_view item = list.substr(0, colon);
    if (!item.empty() && item.front() == '/') locations.dataDirs.emplace_back(item);
    list = colon == std::string_view::npos ? std::string_view{} : list.substr(colon + 1);
  }
  return locations;
}

StoreLocations StoreLocations::below(const std::filesystem::path& root) {
  return StoreLocations{
      root / "data", root / "config", root / "cache", root / "state", {root / "system"}};
}

std::vector<std::filesystem::path> StoreLocations::catalogDirs() const {
  std::vector<std::filesystem::path> result;
  for (auto it = dataDirs.rbegin(); it != dataDirs.rend(); ++it) {
    result.push_back(*it / "earshot" / "catalog.d");
  }
  result.push_back(configHome / "earshot" / "catalog.d");
  return result;
}

}  // namespace earshot::platform::linuxos::support
