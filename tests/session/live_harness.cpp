#include "tests/session/live_harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "app/apple_speech_helper.h"
#include "channel/byte_source.h"
#include "channel/line_reader.h"

namespace earshot::testkit {
namespace {

std::vector<std::string> splitLines(const std::string& all) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = all.find('\n', start)) != std::string::npos; start = at + 1) {
    lines.push_back(all.substr(start, at - start));
  }
  if (start < all.size()) lines.push_back(all.substr(start));  // a torn line shows up too
  return lines;
}

// Collects what the mode writes to a pipe. A thread of its own keeps the
// pipe drained so that writers never stall; reads happen only under the
// mutex, so a caller that drains too sees every byte a write has handed
// over before the call.
class PipeOutput {
 public:
  PipeOutput() {
    if (::pipe(fds_) != 0) throw std::runtime_error("pipe failed");
    ::fcntl(fds_[0], F_SETFL, ::fcntl(fds_[0], F_GETFL) | O_NONBLOCK);
    reader_ = std::thread([this] {
      pollfd wait{fds_[0], POLLIN, 0};
      for (;;) {
        ::poll(&wait, 1, -1);
        std::lock_guard lock(mutex_);
        if (!drainLocked()) break;
      }
    });
  }
  ~PipeOutput() {
    finish();
    ::close(fds_[0]);
  }
  int writer() const { return fds_[1]; }
  // Closes the writing end and returns everything written.
  std::string finish() {
    if (fds_[1] >= 0) ::close(fds_[1]);
    fds_[1] = -1;
    if (reader_.joinable()) reader_.join();
    std::lock_guard lock(mutex_);
    return written_;
  }
  // Complete lines written so far.
  std::vector<std::string> completeLines() {
    std::lock_guard lock(mutex_);
    drainLocked();
    return splitLines(written_.substr(0, written_.rfind('\n') + 1));
  }

 private:
  // Reads what the pipe holds; false once the writing end is closed.
  bool drainLocked() {
    char chunk[1 << 16];
    for (;;) {
      ssize_t got = ::read(fds_[0], chunk, sizeof chunk);
      if (got > 0) {
        written_.append(chunk, static_cast<size_t>(got));
        continue;
      }
      if (got == 0) return false;
      return errno == EAGAIN || errno == EINTR;
    }
  }

  int fds_[2] = {-1, -1};
  std::thread reader_;
  std::mutex mutex_;
  std::string written_;
};

// Serves the scripted lines one per read, holding a line back until its
// condition on the output holds.
class ScriptedInput final : public channel::ByteSource {
 public:
  ScriptedInput(const std::vector<LiveHarness::Line>& lines, PipeOutput& output)
      : lines_(lines), output_(output) {}

  size_t readSome(char* out, size_t capacity) override {
    if (offset_ == 0) {
      if (index_ == lines_.size()) return 0;
      if (lines_[index_].after && !waitFor(lines_[index_].after)) waitsMet_ = false;
      current_ = lines_[index_].text + "\n";
      ++started_;
    }
    size_t count = std::min(capacity, current_.size() - offset_);
    std::memcpy(out, current_.data() + offset_, count);
    offset_ += count;
    if (offset_ == current_.size()) {
      offset_ = 0;
      ++index_;
    }
    return count;
  }

  size_t started() const { return started_; }
  bool waitsMet() const { return waitsMet_; }

 private:
  // A liveness bound only: a condition that never comes true must not hang
  // the suite; the test then fails on waitsMet.
  bool waitFor(const std::function<bool(const std::vector<std::string>&)>& condition) {
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition(output_.completeLines())) {
      if (std::chrono::steady_clock::now() > giveUp) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

  const std::vector<LiveHarness::Line>& lines_;
  PipeOutput& output_;
  size_t index_ = 0;
  size_t offset_ = 0;
  size_t started_ = 0;
  bool waitsMet_ = true;
  std::string current_;
};

}  // namespace

platform::scripted::ScriptedPlatform LiveHarness::defaultPlatform() {
  platform::scripted::ScriptedPlatform scripted;
  scripted.speech->supported = {platform::Locale::fromIdentifier("en-US")};
  scripted.speech->installed = {platform::Locale::fromIdentifier("en-US")};
  return scripted;
}

LiveHarness::Outcome LiveHarness::run(const platform::scripted::ScriptedPlatform& scripted,
                                      const std::vector<Line>& input) {
  Outcome outcome;
  PipeOutput output;
  ScriptedInput source(input, output);
  channel::LineReader reader(source);
  channel::HostOutput host(output.writer());
  platform::Platform platform = scripted.platform();
  mode::ModeContext context{platform, reader, host};
  // Lets logs show how much output was out at each converter call.
  bool noteOutput = !scripted.converters->beforeEachCall;
  if (noteOutput) {
    scripted.converters->beforeEachCall = [&output, log = scripted.log] {
      log->record("written(" + std::to_string(output.completeLines().size()) + ")");
    };
  }
  outcome.status = app::AppleSpeechHelper::execute({"earshot"}, context);
  if (noteOutput) scripted.converters->beforeEachCall = nullptr;
  outcome.linesRead = source.started();
  outcome.waitsMet = source.waitsMet();
  outcome.lines = splitLines(output.finish());
  return outcome;
}

std::vector<std::string> callsMatching(const platform::scripted::CallLog& log,
                                       const std::vector<std::string>& prefixes) {
  std::vector<std::string> matching;
  for (const std::string& call : log.calls()) {
    for (const std::string& prefix : prefixes) {
      if (call.rfind(prefix, 0) == 0) {
        matching.push_back(call);
        break;
      }
    }
  }
  return matching;
}

std::string initWith(const std::string& members) {
  return R"({"type":"init","locale":"en-US",)" + members + "}";
}

void expectInitRefused(const std::string& members, const std::string& error) {
  SCOPED_TRACE(members);
  auto scripted = LiveHarness::defaultPlatform();
  LiveHarness::Outcome outcome = LiveHarness::run(scripted, {{initWith(members), {}}});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.lines, std::vector<std::string>{errorLine(error)});
  EXPECT_EQ(scripted.log->calls(), std::vector<std::string>{"isAvailable"});
}

}  // namespace earshot::testkit
