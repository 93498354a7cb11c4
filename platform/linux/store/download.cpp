#include "platform/linux/store/download.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/linux/store/store_failure.h"
#include "platform/linux/support/sha256.h"

namespace earshot::platform::linuxos::store {
namespace {

constexpr long kReceiveBufferBytes = 256 * 1024;
// A transfer that stays below one byte a second for this long has stalled.
constexpr long kStallSeconds = 60;
constexpr long kConnectSeconds = 30;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

struct Transfer {
  CURL* curl = nullptr;
  int fd = -1;
  uint64_t held = 0;
  uint64_t expected = 0;
  bool resuming = false;
  bool statusChecked = false;
  bool tooLarge = false;
  int writeError = 0;
  support::Sha256 hash;
  const std::function<void(uint64_t)>* onBytes = nullptr;
};

bool writeAll(int fd, const char* data, size_t size, int& error) {
  while (size > 0) {
    ssize_t wrote = ::write(fd, data, size);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      error = wrote < 0 ? errno : ENOSPC;
      return false;
    }
    data += wrote;
    size -= static_cast<size_t>(wrote);
  }
  return true;
}

size_t receive(char* data, size_t one, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  size_t size = one * count;
  if (!transfer.statusChecked) {
    transfer.statusChecked = true;
    long code = 0;
    curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &code);
    if (transfer.resuming && code == 200) {
      // The server ignored the range and sends the whole file.
      if (::ftruncate(transfer.fd, 0) != 0 || ::lseek(transfer.fd, 0, SEEK_SET) != 0) {
        transfer.writeError = errno;
        return 0;
      }
      transfer.held = 0;
      transfer.hash.reset();
    }
  }
  if (size > transfer.expected - transfer.held) {
    transfer.tooLarge = true;
    return 0;
  }
  if (!writeAll(transfer.fd, data, size, transfer.writeError)) return 0;
  transfer.hash.update(data, size);
  transfer.held += size;
  (*transfer.onBytes)(transfer.held);
  return size;
}

// Feeds what an earlier attempt left in the file to the hash.
void hashExisting(Transfer& transfer) {
  std::vector<char> buffer(1 << 20);
  uint64_t left = transfer.held;
  while (left > 0) {
    ssize_t got = ::read(transfer.fd, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) failWithErrno("cannot read the partial download");
    transfer.hash.update(buffer.data(), static_cast<size_t>(got));
    left -= static_cast<uint64_t>(got) < left ? static_cast<uint64_t>(got) : left;
  }
}

void initialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string sizeText(uint64_t bytes) {
  return std::to_string(bytes) + " bytes";
}

// A fifo or device behind a file:// URL would block the read forever, and
// no deadline interrupts a local read.
void refuseUnlessRegularFile(const std::string& url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), &curl_url_cleanup);
  char* scheme = nullptr;
  char* path = nullptr;
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
      curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) {
    return;  // curl reports a malformed URL itself
  }
  bool local = std::string_view(scheme) == "file";
  curl_free(scheme);
  if (!local) return;
  if (curl_url_get(parsed.get(), CURLUPART_PATH, &path, CURLU_URLDECODE) != CURLUE_OK) return;
  struct stat status {};
  bool found = ::stat(path, &status) == 0;
  curl_free(path);
  if (!found) return;  // curl's own text says what is wrong
  if (!S_ISREG(status.st_mode)) {
    throw StoreFailure("the download from " + url + " is not a regular file");
  }
}

// The certificate authorities of OpenSSL's variables, which libcurl itself
// does not read (it is built with the system's bundle).
void trustCertificateAuthoritiesOfEnvironment(CURL* curl) {
  if (const char* file = std::getenv("SSL_CERT_FILE"); file != nullptr && *file != '\0') {
    curl_easy_setopt(curl, CURLOPT_CAINFO, file);
  }
  if (const char* dir = std::getenv("SSL_CERT_DIR"); dir != nullptr && *dir != '\0') {
    curl_easy_setopt(curl, CURLOPT_CAPATH, dir);
  }
}

}  // namespace

std::chrono::milliseconds downloadDeadline(uint64_t size) {
  return kDownloadBaseTime +
         std::chrono::milliseconds(size * 1000 / kDownloadSlowestBytesPerSecond);
}

void download(const DownloadRequest& request, const std::function<void(uint64_t)>& onBytes) {
  initialiseCurlOnce();
  std::error_code error;
  std::filesystem::create_directories(request.partial.parent_path(), error);
  if (error) {
    throw StoreFailure("cannot create " + request.partial.parent_path().string() + ": " +
                       error.message());
  }
  FileDescriptor file(::open(request.partial.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (file.get() < 0) failWithErrno("cannot create " + request.partial.string());
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) failWithErrno("cannot read " + request.partial.string());

  Transfer transfer;
  transfer.fd = file.get();
  transfer.expected = request.size;
  transfer.onBytes = &onBytes;
  transfer.held = static_cast<uint64_t>(status.st_size);
  if (transfer.held > request.size) {
    if (::ftruncate(file.get(), 0) != 0) failWithErrno("cannot reset " + request.partial.string());
    transfer.held = 0;
  }
  hashExisting(transfer);
  onBytes(transfer.held);

  if (transfer.held < request.size) {
    refuseUnlessRegularFile(request.url);
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) throw StoreFailure("cannot start a download");
    transfer.curl = curl.get();
    transfer.resuming = transfer.held > 0;
    char message[CURL_ERROR_SIZE] = {};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https,file");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    auto deadline =
        request.deadline.count() > 0 ? request.deadline : downloadDeadline(request.size);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(deadline.count()));
    trustCertificateAuthoritiesOfEnvironment(c);
    curl_easy_setopt(c, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "earshot");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, message);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &receive);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &transfer);
    // A plain range rather than curl's resume, which gives up on a server
    // that answers with the whole file; receive() starts over then.
    std::string range = std::to_string(transfer.held) + "-";
    if (transfer.resuming) curl_easy_setopt(c, CURLOPT_RANGE, range.c_str());
    CURLcode result = curl_easy_perform(c);
    if (transfer.tooLarge) {
      ::unlink(request.partial.c_str());
      throw StoreFailure("the download from " + request.url + " is larger than the " +
                         sizeText(request.size) + " the catalog gives");
    }
    if (transfer.writeError != 0) {
      failWithErrno("cannot write " + request.partial.string(), transfer.writeError);
    }
    if (result == CURLE_HTTP_RETURNED_ERROR) {
      long code = 0;
      curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
      // A range the server cannot serve means the partial file is no use.
      if (code == 416) ::unlink(request.partial.c_str());
      throw StoreFailure("the server answered HTTP " + std::to_string(code) + " for " +
                         request.url);
    }
    if (result != CURLE_OK) {
      std::string why = message[0] != '\0' ? message : curl_easy_strerror(result);
      throw StoreFailure("the download from " + request.url + " failed after " +
                         sizeText(transfer.held) + " of " + sizeText(request.size) + ": " + why);
    }
  }
  if (transfer.held != request.size) {
    throw StoreFailure("the download from " + request.url + " ended after " +
                       sizeText(transfer.held) + " of " + sizeText(request.size));
  }
  std::string digest = transfer.hash.hexDigest();
  if (digest != request.sha256) {
    ::unlink(request.partial.c_str());
    throw StoreFailure("the download from " + request.url + " has SHA-256 " + digest +
                       " where the catalog gives " + request.sha256);
  }
}

}  // namespace earshot::platform::linuxos::store
