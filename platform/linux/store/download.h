#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace earshot::platform::linuxos::store {

// How long a download of `size` bytes may take in all: a minute plus the
// time the bytes take at 32 KiB/s (256 kbit/s). A slower transfer fails and
// keeps what it got, which the next attempt continues.
inline constexpr std::chrono::seconds kDownloadBaseTime{60};
inline constexpr uint64_t kDownloadSlowestBytesPerSecond = 32 * 1024;
std::chrono::milliseconds downloadDeadline(uint64_t size);

struct DownloadRequest {
  std::string url;                        // https, http or file
  uint64_t size = 0;                      // bytes expected
  std::string sha256;                     // lower-case hex digest expected
  std::filesystem::path partial;          // where the bytes go; may hold an earlier attempt's
  std::chrono::milliseconds deadline{0};  // for the transfer in all; 0 for downloadDeadline(size)
};

// Fetches `request.url` into `request.partial` with libcurl, on the calling
// thread, and checks its size and SHA-256 as the bytes arrive. A partial
// file left by an interrupted attempt is continued with a range request
// (the server may answer with the whole file instead). Redirects are
// followed (to http and https only), HTTP errors fail, the usual proxy
// variables apply, and so do OpenSSL's SSL_CERT_FILE and SSL_CERT_DIR (the
// certificate authorities to trust instead of the system's). A file:// URL
// must name a regular file. `onBytes` is called with the number of bytes held so far,
// from the calling thread. Throws StoreFailure: a file that cannot be right
// (checksum mismatch, too large) is deleted; a short one is kept for the next
// attempt.
void download(const DownloadRequest& request, const std::function<void(uint64_t)>& onBytes);

}  // namespace earshot::platform::linuxos::store
