#include "tools/feed/transcription_run.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "protocol/host_lines.h"
#include "protocol/program_lines.h"
#include "tools/feed/child_outcome.h"
#include "tools/feed/child_process.h"

namespace earshot::feed {
namespace {

using protocol::audioLine;
using protocol::flushLine;
using protocol::initLine;
using protocol::stopLine;

using Clock = std::chrono::steady_clock;

// Keeps every audio line well under earshot's limit of 2,000,000 bytes.
constexpr size_t kMaxSamplesPerLine = 600'000;

std::atomic<pid_t> currentChild{-1};

bool isReadable(int fd) {
  pollfd one{fd, POLLIN, 0};
  return ::poll(&one, 1, 0) > 0 && (one.revents & POLLIN);
}

// Sleeps until `deadline`; false if the wake descriptor fired first.
bool sleepUntil(Clock::time_point deadline, int wakeFd) {
  for (;;) {
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return true;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    pollfd one{wakeFd, POLLIN, 0};
    int ready = ::poll(&one, 1, int(std::min<long long>(ms, 1000)));
    if (ready > 0) return false;
  }
}

// Where the next session's transcripts belong: which input, and where in
// it the session starts.
struct Session {
  size_t input = 0;
  double offset = 0;
};

// The hand-over between the feeder and the reader. The reader says when
// "ready" has come (the feeder sends no audio before); the feeder says,
// before each flush, which session the flush starts, and the reader moves
// there when earshot answers that flush with "flushed". An input that
// begins right after a --flush-every flush needs no flush of its own: its
// move waits for no answer, and the reader makes it before the next line,
// which already belongs to that input.
class RunState {
 public:
  void ready() {
    std::lock_guard lock(mutex_);
    ready_ = true;
    changed_.notify_all();
  }
  // Feeder: false when the run ended instead.
  bool awaitReady(int wakeFd) {
    std::unique_lock lock(mutex_);
    while (!ready_ && !ended_) {
      if (isReadable(wakeFd)) return false;
      changed_.wait_for(lock, std::chrono::milliseconds(50));
    }
    return ready_ && !ended_;
  }
  // Feeder: the flush about to be written starts `next`.
  void flushing(const Session& next) { add({next, true}); }
  // Feeder: the session the last flush started is `next` instead.
  void continueAs(const Session& next) { add({next, false}); }

  // Reader, before each line: the sessions to move to, in order;
  // `flushed` when the line is earshot's answer to a flush.
  std::vector<Session> movesBefore(bool flushed) {
    std::lock_guard lock(mutex_);
    std::vector<Session> due;
    takeUnanswered(due);
    if (flushed && !moves_.empty()) {
      due.push_back(moves_.front().session);
      moves_.pop_front();
      takeUnanswered(due);
    }
    return due;
  }
  // Reader: flushes that earshot never answered.
  bool flushesUnanswered() {
    std::lock_guard lock(mutex_);
    return !moves_.empty();
  }
  void end() {
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
  }

 private:
  struct Move {
    Session session;
    bool awaitsFlushed;
  };
  void add(const Move& move) {
    std::lock_guard lock(mutex_);
    moves_.push_back(move);
  }
  void takeUnanswered(std::vector<Session>& due) {
    while (!moves_.empty() && !moves_.front().awaitsFlushed) {
      due.push_back(moves_.front().session);
      moves_.pop_front();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool ready_ = false;
  bool ended_ = false;
  std::deque<Move> moves_;
};

// The feeder thread's whole job: init, each input's audio in chunks (paced
// and with flushes if asked), stop. Ends early once earshot stops reading.
void feed(ChildProcess& child, std::vector<RunInput>& inputs, const FeedOptions& options,
          const InitExtras& extras, RunState& state, int wakeFd) {
  int fd = child.input();
  if (!writeAll(fd, initLine(options.locale, extras))) return child.closeInput();
  if (!state.awaitReady(wakeFd)) {
    if (!isReadable(wakeFd)) return child.closeInput();
    writeAll(fd, stopLine());
    return child.closeInput();
  }

  auto start = Clock::now();
  double pacedSeconds = 0;  // audio sent before the current input, for --realtime
  bool justFlushed = false;
  for (size_t index = 0; index < inputs.size() && !isReadable(wakeFd); ++index) {
    AudioInput& audio = *inputs[index].audio;
    if (index > 0) {
      if (justFlushed) {
        state.continueAs({index, 0});
      } else {
        state.flushing({index, 0});
        if (!writeAll(fd, flushLine())) return child.closeInput();
      }
    }
    const double rate = audio.sampleRate();
    size_t chunk = std::clamp<size_t>(size_t(std::llround(rate * options.chunkMs / 1000)), 1,
                                      kMaxSamplesPerLine);
    int64_t flushFrames = 0;
    if (options.flushEverySeconds) {
      flushFrames = std::max<int64_t>(1, std::llround(*options.flushEverySeconds * rate));
    }
    int64_t nextFlush = flushFrames;
    int64_t sent = 0;
    std::vector<int16_t> samples(chunk);
    justFlushed = false;
    while (!isReadable(wakeFd)) {
      size_t want = chunk;
      if (flushFrames > 0) want = size_t(std::min<int64_t>(int64_t(want), nextFlush - sent));
      size_t got = audio.read(std::span<int16_t>(samples.data(), want));
      if (got == 0) break;
      if (options.realtime) {
        auto due =
            start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                        pacedSeconds + double(sent + int64_t(got)) / rate));
        sleepUntil(due, wakeFd);
      }
      if (!writeAll(fd, audioLine(std::span<const int16_t>(samples.data(), got), rate))) {
        return child.closeInput();
      }
      sent += int64_t(got);
      justFlushed = false;
      if (flushFrames > 0 && sent >= nextFlush) {
        state.flushing({index, double(sent) / rate});
        if (!writeAll(fd, flushLine())) return child.closeInput();
        justFlushed = true;
        nextFlush += flushFrames;
      }
    }
    pacedSeconds += double(sent) / rate;
  }
  writeAll(fd, stopLine());
  child.closeInput();
}

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", value);
  return text;
}

// A view that shows nothing, for a run that ends before its first input.
class QuietView final : public View {
 public:
  QuietView(std::ostream& out, std::ostream& err) : View(Style::Plain, out, err) {}

 protected:
  void onLine(const EarshotLine&) override {}
};

}  // namespace

pid_t runningChild() {
  return currentChild.load();
}

int runTranscription(const FeedOptions& options, const InitExtras& extras,
                     std::vector<RunInput>& inputs, const RunSettings& settings,
                     ProgressLine* progress) {
  ChildProcess child(settings.earshot, {}, /*ownProcessGroup=*/true);
  currentChild = child.pid();
  RunState state;
  InitExtras asked = extras;
  asked.acknowledgeFlush = true;  // how the reader knows where each session ends
  std::thread feeder([&] { feed(child, inputs, options, asked, state, settings.wakeFd); });

  auto explain = [&](const std::string& message) {
    return explainEarshotError(message, settings.earshot);
  };
  std::unique_ptr<View> view = std::make_unique<QuietView>(settings.out, settings.err);
  view->explainError = explain;
  // Whether the current input gave any words: a silent one is worth a word.
  bool heard = false;
  auto sayIfSilent = [&](size_t input) {
    if (!heard) settings.err << "earshot-feed: " << inputs[input].name << ": no speech heard\n";
    heard = false;
  };
  double offset = 0;  // where the current session starts in its input
  auto moveTo = [&](const Session& session, bool newInput) {
    if (newInput) {
      view->finish();
      view = inputs[session.input].makeView();
      view->explainError = explain;
      if (progress) {
        progress->start(inputs[session.input].name, inputs[session.input].audio->lengthSeconds());
      }
    }
    view->setOffset(session.offset);
    offset = session.offset;
  };

  LineInput lines(child.output());
  std::string line;
  bool ready = false, timedOut = false;
  bool readyLimited = true;  // until a model download starts
  Clock::time_point readyDeadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(options.readyTimeoutSeconds));
  size_t input = 0;
  for (;;) {
    int timeout = ready && progress ? 250 : -1;
    if (!ready && readyLimited) {
      auto left = std::chrono::ceil<std::chrono::milliseconds>(readyDeadline - Clock::now());
      timeout = int(std::clamp<long long>(left.count(), 0, 1000));
    }
    LineInput::Got got = lines.next(line, timeout);
    if (got == LineInput::Got::End) break;
    if (got == LineInput::Got::Timeout) {
      if (ready && progress) progress->tick();
      if (!ready && readyLimited && Clock::now() >= readyDeadline) {
        timedOut = true;
        ::kill(child.pid(), SIGKILL);
        break;
      }
      continue;
    }
    std::optional<EarshotLine> parsed = parseEarshotLine(line);
    bool flushed = ready && parsed && parsed->type == "flushed";
    if (ready) {
      for (const Session& next : state.movesBefore(flushed)) {
        if (next.input != input) sayIfSilent(input);
        moveTo(next, next.input != input);
        input = next.input;
      }
    }
    if (flushed) continue;  // this tool's bookkeeping, not something to show
    if (parsed && parsed->type == "ready" && !ready) {
      ready = true;
      moveTo({0, 0}, true);
      state.ready();
    } else if (parsed && parsed->type == "status") {
      readyLimited = false;  // a model download takes as long as it takes
    } else if (parsed && parsed->type == "transcript" && !parsed->text.empty()) {
      heard = true;
    }
    if (progress && parsed && parsed->end) progress->heard(offset + *parsed->end);
    view->show(line);
    if (ready && progress) progress->tick();
  }
  if (progress) progress->clear();
  // earshot has closed its output: release a feeder that still waits.
  state.end();
  int status = finishRun(child, *view, settings.err, timedOut);
  if (ready && status == 0) sayIfSilent(input);
  feeder.join();
  currentChild = -1;
  if (timedOut) {
    settings.err << "earshot-feed: " << settings.earshot << " did not start within "
                 << seconds(options.readyTimeoutSeconds)
                 << " (no \"ready\" line); is it earshot? --ready-timeout sets the limit\n";
    return 1;
  }
  for (const RunInput& each : inputs) {
    std::string notice = each.audio->notice();
    if (!notice.empty()) settings.err << "earshot-feed: " << notice << '\n';
  }
  if (view->missedTimes()) {
    settings.err << "earshot-feed: this earshot gave no word times, so captions and words are "
                    "missing\n";
  }
  if (status == 0 && state.flushesUnanswered()) {
    settings.err << "earshot-feed: this earshot does not answer \"flush\", so lines after the "
                    "first flush may stand under the wrong input or time\n";
  }
  settings.err.flush();
  return status;
}

}  // namespace earshot::feed
