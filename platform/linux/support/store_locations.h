#pragma once

#include <filesystem>
#include <vector>

namespace earshot::platform::linuxos::support {

// Where the catalog, the store, the download cache and the program's state
// live: the XDG base directories, read from the environment once per mode.
struct StoreLocations {
  std::filesystem::path dataHome;    // $XDG_DATA_HOME, else ~/.local/share
  std::filesystem::path configHome;  // $XDG_CONFIG_HOME, else ~/.config
  std::filesystem::path cacheHome;   // $XDG_CACHE_HOME, else ~/.cache
  std::filesystem::path stateHome;   // $XDG_STATE_HOME, else ~/.local/state
  // $XDG_DATA_DIRS, else /usr/local/share:/usr/share; most important first.
  std::vector<std::filesystem::path> dataDirs;

  // Relative values are ignored, as the XDG rules ask.
  static StoreLocations fromEnvironment();
  // A home of its own below `root` (data/, config/, cache/, state/, and system/ as
  // the one data folder), for tests and measurements.
  static StoreLocations below(const std::filesystem::path& root);

  std::filesystem::path storeRoot() const { return dataHome / "earshot"; }
  std::filesystem::path modelsDir() const { return storeRoot() / "models"; }
  std::filesystem::path lockFile() const { return storeRoot() / "store.lock"; }
  std::filesystem::path downloadsDir() const { return cacheHome / "earshot" / "downloads"; }
  // What the program learns while it runs and keeps for the next process.
  std::filesystem::path stateDir() const { return stateHome / "earshot"; }
  // The catalog folders, least important first: the system folders from
  // the last of $XDG_DATA_DIRS to the first, then the user's.
  std::vector<std::filesystem::path> catalogDirs() const;
};

}  // namespace earshot::platform::linuxos::support
