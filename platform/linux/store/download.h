#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace earshot::platform::linuxos::store {

struct DownloadRequest {
  std::string url;                // https, http or file
  uint64_t size = 0;              // bytes expected
  std::string sha256;             // lower-case hex digest expected
  std::filesystem::path partial;  // where the bytes go; may hold an earlier attempt's
};

// Fetches `request.url` into `request.partial` with libcurl, on the calling
// thread, and checks its size and SHA-256 as the bytes arrive. A partial
// file left by an interrupted attempt is continued with a range request
// (the server may answer with the whole file instead). Redirects are
// followed (to http and https only), HTTP errors fail, and the usual proxy
// variables apply. `onBytes` is called with the number of bytes held so far,
// from the calling thread. Throws StoreFailure: a file that cannot be right
// (checksum mismatch, too large) is deleted; a short one is kept for the next
// attempt.
void download(const DownloadRequest& request, const std::function<void(uint64_t)>& onBytes);

}  // namespace earshot::platform::linuxos::store
