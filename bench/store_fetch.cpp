// Downloads one file the way the model store does (libcurl, SHA-256 and
// size checks as the bytes arrive) and prints the wall time in seconds.
// Used by store_download.sh to compare with the curl program.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "platform/linux/store/download.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s URL SIZE SHA256 OUTPUT\n", argv[0]);
    return 2;
  }
  earshot::platform::linuxos::store::DownloadRequest request{argv[1], std::stoull(argv[2]), argv[3],
                                                             argv[4]};
  ::unlink(argv[4]);  // a fresh download, not a resumed one
  auto start = std::chrono::steady_clock::now();
  try {
    earshot::platform::linuxos::store::download(request, [](uint64_t) {});
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    return 1;
  }
  std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%.4f\n", took.count());
  return 0;
}
