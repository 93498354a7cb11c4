#include "tests/support/test_channel.h"

#include <sys/mman.h>
#include <unistd.h>

#include <stdexcept>

#include "app/apple_speech_helper.h"

namespace earshot::testkit {

TestChannel::TestChannel(std::string input, size_t chunk)
    : inputBytes_(std::move(input)),
      source_(inputBytes_, chunk),
      reader_(source_),
      fd_(::memfd_create("earshot-test-output", 0)),
      output_(fd_) {
  if (fd_ < 0) throw std::runtime_error("memfd_create failed");
}

TestChannel::~TestChannel() {
  ::close(fd_);
}

std::string TestChannel::written() const {
  std::string all;
  char chunk[1 << 16];
  off_t offset = 0;
  for (;;) {
    ssize_t got = ::pread(fd_, chunk, sizeof chunk, offset);
    if (got <= 0) break;
    all.append(chunk, static_cast<size_t>(got));
    offset += got;
  }
  return all;
}

std::vector<std::string> TestChannel::lines() const {
  std::vector<std::string> lines;
  std::string all = written();
  size_t start = 0;
  for (size_t at; (at = all.find('\n', start)) != std::string::npos; start = at + 1) {
    lines.push_back(all.substr(start, at - start));
  }
  if (start < all.size()) lines.push_back(all.substr(start));  // a torn line shows up too
  return lines;
}

ModeOutcome runMode(const std::vector<std::string>& arguments,
                    const platform::scripted::ScriptedPlatform& scripted,
                    const std::string& input) {
  TestChannel channel(input);
  platform::Platform platform = scripted.platform();
  mode::ModeContext context{platform, channel.input(), channel.output()};
  ModeOutcome outcome;
  outcome.status = app::AppleSpeechHelper::execute(arguments, context);
  outcome.lines = channel.lines();
  return outcome;
}

}  // namespace earshot::testkit
