#pragma once

#include <string>

namespace earshot::testkit {

// Redirects file descriptor 2 into a temporary file for its lifetime, so a
// test can see whatever a library wrote to stderr.
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  // What was written so far.
  std::string text() const;

 private:
  int saved_;
  int file_;
};

}  // namespace earshot::testkit
