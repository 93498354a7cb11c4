#include "tools/feed/host_runs.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "tools/feed/child_process.h"
#include "tools/feed/protocol_lines.h"

namespace earshot::feed {
namespace {

// Keeps every audio line well under earshot's limit of 2,000,000 bytes.
constexpr size_t kMaxSamplesPerLine = 600'000;

std::atomic<pid_t> currentChild{-1};

bool isReadable(int fd) {
  pollfd one{fd, POLLIN, 0};
  return ::poll(&one, 1, 0) > 0 && (one.revents & POLLIN);
}

// Sleeps until `deadline`; false if the wake descriptor fired first.
bool sleepUntil(std::chrono::steady_clock::time_point deadline, int wakeFd) {
  for (;;) {
    auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) return true;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    pollfd one{wakeFd, POLLIN, 0};
    int ready = ::poll(&one, 1, int(std::min<long long>(ms, 1000)));
    if (ready > 0) return false;
  }
}

// What the feeder learns from the output side before it sends audio.
enum class Handshake { Ready, Gone, Interrupted };

Handshake awaitReady(int readyFd, int wakeFd) {
  pollfd fds[2] = {{readyFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return Handshake::Gone;
    }
    if (fds[0].revents & (POLLIN | POLLHUP)) {
      char byte;
      return ::read(readyFd, &byte, 1) == 1 ? Handshake::Ready : Handshake::Gone;
    }
    if (fds[1].revents & POLLIN) return Handshake::Interrupted;
  }
}

// The feeder thread's whole job: init, audio in chunks (paced and with
// flushes if asked), stop. Ends early once earshot stops reading.
void feed(ChildProcess& child, AudioInput& audio, const FeedOptions& options, int readyFd,
          int wakeFd) {
  int fd = child.input();
  if (!writeAll(fd, initLine(options.locale))) return child.closeInput();
  Handshake handshake = awaitReady(readyFd, wakeFd);
  if (handshake == Handshake::Gone) return child.closeInput();

  const int rate = audio.sampleRate();
  size_t chunk =
      std::clamp<size_t>(size_t(int64_t(rate) * options.chunkMs / 1000), 1, kMaxSamplesPerLine);
  int64_t flushFrames = 0;
  if (options.flushEverySeconds) {
    flushFrames = std::max<int64_t>(1, std::llround(*options.flushEverySeconds * rate));
  }
  int64_t nextFlush = flushFrames;
  int64_t sent = 0;
  std::vector<int16_t> samples(chunk);
  auto start = std::chrono::steady_clock::now();

  while (handshake == Handshake::Ready && !isReadable(wakeFd)) {
    size_t want = chunk;
    if (flushFrames > 0) want = size_t(std::min<int64_t>(int64_t(want), nextFlush - sent));
    size_t got = audio.read(std::span<int16_t>(samples.data(), want));
    if (got == 0) break;
    if (options.realtime) {
      auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(double(sent + int64_t(got)) / rate));
      sleepUntil(due, wakeFd);
    }
    if (!writeAll(fd, audioLine(std::span<const int16_t>(samples.data(), got), rate))) {
      return child.closeInput();
    }
    sent += int64_t(got);
    if (flushFrames > 0 && sent >= nextFlush) {
      if (!writeAll(fd, flushLine())) return child.closeInput();
      nextFlush += flushFrames;
    }
  }
  writeAll(fd, stopLine());
  child.closeInput();
}

int finishRun(ChildProcess& child, View& view, const RunSettings& settings) {
  std::optional<int> signal;
  int status = child.wait(&signal);
  view.finish();
  if (signal) {
    settings.err << "earshot ended by signal " << *signal << '\n';
  } else if (status != 0 && !view.sawError()) {
    settings.err << "earshot ended with status " << status << " and no error message\n";
  }
  settings.err.flush();
  return status;
}

}  // namespace

pid_t runningChild() {
  return currentChild.load();
}

int runTranscription(const FeedOptions& options, AudioInput& audio, const RunSettings& settings) {
  TranscriptView view(settings.style, settings.out, settings.err, settings.columns);
  ChildProcess child(settings.earshot, {}, /*ownProcessGroup=*/true);
  currentChild = child.pid();

  int readyPipe[2];
  if (::pipe(readyPipe) != 0) throw SpawnError("cannot make a pipe");
  std::thread feeder([&] { feed(child, audio, options, readyPipe[0], settings.wakeFd); });

  LineInput lines(child.output());
  std::string line;
  bool readyTold = false;
  while (lines.next(line)) {
    std::optional<EarshotLine> parsed = view.show(line);
    if (parsed && parsed->type == "ready" && !readyTold) {
      readyTold = writeAll(readyPipe[1], "r");
    }
  }
  // earshot has closed its output: release a feeder that still waits for
  // "ready" or for audio.
  ::close(readyPipe[1]);
  uint64_t one = 1;
  if (::write(settings.wakeFd, &one, sizeof one) < 0) {
    // The feeder still ends: its next write to earshot fails.
  }
  int status = finishRun(child, view, settings);
  feeder.join();
  ::close(readyPipe[0]);
  currentChild = -1;
  return status;
}

int runOneShot(const FeedOptions& options, const RunSettings& settings) {
  std::unique_ptr<View> view;
  std::vector<std::string> arguments;
  switch (options.action) {
    case Action::Locales:
      view = std::make_unique<LocalesView>(settings.style, settings.out, settings.err);
      arguments = {"--locales"};
      break;
    case Action::Install:
      view = std::make_unique<InstallView>(settings.style, settings.out, settings.err);
      arguments = {"--install", options.assetLocale};
      break;
    case Action::Release:
      view = std::make_unique<ReleaseView>(settings.style, settings.out, settings.err);
      arguments = {"--release", options.assetLocale};
      break;
    default:
      return 2;
  }
  // Same process group: a Ctrl-C ends a download as well as this tool.
  ChildProcess child(settings.earshot, arguments, /*ownProcessGroup=*/false);
  child.closeInput();
  LineInput lines(child.output());
  std::string line;
  while (lines.next(line)) view->show(line);
  return finishRun(child, *view, settings);
}

}  // namespace earshot::feed
