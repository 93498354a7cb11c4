// Preloaded into a store test's child process (LD_PRELOAD) to make the
// system fail like a broken or full disk, which a test cannot arrange with
// a real file system:
//   STORE_FAULT_WRITE_EIO=SUFFIX  writes to a file whose path ends in
//                                 SUFFIX fail with EIO
//   STORE_FAULT_FREE_BYTES=N      statvfs reports N bytes free
#undef _FILE_OFFSET_BITS  // both statvfs and statvfs64 are defined here
#include <dlfcn.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool writesFailTo(int fd) {
  const char* suffix = std::getenv("STORE_FAULT_WRITE_EIO");
  if (suffix == nullptr || *suffix == '\0') return false;
  char path[4096];
  std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t length = ::readlink(link.c_str(), path, sizeof path);
  return length > 0 && std::string_view(path, static_cast<size_t>(length)).ends_with(suffix);
}

template <typename Space>
void reportFreeBytes(Space* space) {
  if (const char* bytes = std::getenv("STORE_FAULT_FREE_BYTES")) {
    space->f_frsize = 1;
    space->f_bavail = std::strtoull(bytes, nullptr, 10);
  }
}

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* data, size_t size) {
  static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
  if (writesFailTo(fd)) {
    errno = EIO;
    return -1;
  }
  return real(fd, data, size);
}

int statvfs(const char* path, struct statvfs* space) {
  static auto real = next<int (*)(const char*, struct statvfs*)>("statvfs");
  int result = real(path, space);
  if (result == 0) reportFreeBytes(space);
  return result;
}

int statvfs64(const char* path, struct statvfs64* space) {
  static auto real = next<int (*)(const char*, struct statvfs64*)>("statvfs64");
  int result = real(path, space);
  if (result == 0) reportFreeBytes(space);
  return result;
}

}  // extern "C"
