#include "platform/linux/store/safe_path.h"

#include <vector>

namespace earshot::platform::linuxos::store {
namespace {

std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> parts;
  while (!path.empty()) {
    size_t slash = path.find('/');
    std::string_view part = path.substr(0, slash);
    if (!part.empty() && part != ".") parts.push_back(part);
    path = slash == std::string_view::npos ? std::string_view{} : path.substr(slash + 1);
  }
  return parts;
}

}  // namespace

std::optional<std::string> containedPath(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  std::string joined;
  for (std::string_view part : components(path)) {
    if (part == "..") return std::nullopt;
    if (!joined.empty()) joined += '/';
    joined += part;
  }
  if (joined.empty()) return std::nullopt;
  return joined;
}

bool linkStaysInside(std::string_view linkPath, std::string_view target) {
  if (target.empty() || target.front() == '/' || target.find('\0') != std::string_view::npos) {
    return false;
  }
  // Walk from the link's own folder; the walk may never climb above the top.
  std::vector<std::string_view> where = components(linkPath);
  if (!where.empty()) where.pop_back();
  for (std::string_view part : components(target)) {
    if (part != "..") {
      where.push_back(part);
    } else if (where.empty()) {
      return false;
    } else {
      where.pop_back();
    }
  }
  return true;
}

}  // namespace earshot::platform::linuxos::store
