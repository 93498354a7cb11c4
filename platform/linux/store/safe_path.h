#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace earshot::platform::linuxos::store {

// `path` as a plain relative path ("a/b/c") when it stays inside the folder
// it is relative to: not empty, not absolute, no ".." component, no NUL.
// "." components, doubled and trailing slashes are dropped. nullopt
// otherwise, and for a path naming the folder itself (".").
std::optional<std::string> containedPath(std::string_view path);

// Whether a symbolic link stored at `linkPath` (a contained path) whose
// target is `target` points inside the folder.
bool linkStaysInside(std::string_view linkPath, std::string_view target);

}  // namespace earshot::platform::linuxos::store
