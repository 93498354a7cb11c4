#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>

namespace earshot::feed {

// "a.wav  45%  0:12 elapsed, about 0:15 left": what the progress line says
// of an input `fraction` heard after `elapsed` seconds. The time left
// appears once it can be told (a twentieth heard and two seconds gone).
// At most `columns` - 1 characters (0: no limit): the name is cut first,
// from its start.
std::string progressText(const std::string& name, double fraction, double elapsed, int columns = 0);

// A progress line redrawn in place on a terminal (standard error). The
// tool's messages go through stream(): anything written there first takes
// the line away, so each message stands on a line of its own, and the next
// tick draws it again. Not thread-safe: the run's reader owns it.
class ProgressLine {
 public:
  // `columns`: the terminal's width, so that the line never wraps (a
  // wrapped line could not be taken away).
  ProgressLine(std::ostream& terminal, int columns);
  ~ProgressLine();

  std::ostream& stream() { return *stream_; }

  // The input now being heard and its length (nullopt: unknown, so no
  // line for it).
  void start(const std::string& name, std::optional<double> seconds);
  // Heard up to `seconds` into the current input.
  void heard(double seconds);
  // Redraws when something changed or a second has passed.
  void tick();
  // Takes the line away for good.
  void clear();

 private:
  class ClearingBuffer;
  using Clock = std::chrono::steady_clock;

  std::ostream& terminal_;
  int columns_;
  std::unique_ptr<ClearingBuffer> buffer_;
  std::unique_ptr<std::ostream> stream_;
  std::string name_;
  std::optional<double> length_;
  double heard_ = 0;
  Clock::time_point started_{}, drawnAt_{};
  std::string drawn_;
};

}  // namespace earshot::feed
