#include "tests/platform/linux/stderr_capture.h"

#include <stdio.h>
#include <unistd.h>

namespace earshot::testkit {

StderrCapture::StderrCapture() {
  std::fflush(stderr);
  FILE* file = std::tmpfile();
  file_ = ::dup(fileno(file));
  std::fclose(file);
  saved_ = ::dup(2);
  ::dup2(file_, 2);
}

StderrCapture::~StderrCapture() {
  std::fflush(stderr);
  ::dup2(saved_, 2);
  ::close(saved_);
  ::close(file_);
}

std::string StderrCapture::text() const {
  std::fflush(stderr);
  std::string text;
  char chunk[4096];
  off_t at = 0;
  ssize_t got;
  while ((got = ::pread(file_, chunk, sizeof chunk, at)) > 0) {
    text.append(chunk, static_cast<size_t>(got));
    at += got;
  }
  return text;
}

}  // namespace earshot::testkit
