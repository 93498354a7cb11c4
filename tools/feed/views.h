#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "protocol/program_lines.h"

namespace earshot::feed {

using protocol::EarshotLine;
using protocol::parseEarshotLine;

// How earshot's lines reach the person: redrawn in place on a terminal,
// plain lines for pipes and files, or earshot's own lines untouched.
enum class Style { Terminal, Plain, Json };

// Shows earshot's output lines. "error" lines go to `err` in every style;
// the rest is up to the mode's view. Not thread-safe: one reader feeds it.
class View {
 public:
  View(Style style, std::ostream& out, std::ostream& err) : style_(style), out_(out), err_(err) {}
  virtual ~View() = default;

  // One line as earshot wrote it, without its line feed. Returns the
  // parsed line, if it was one.
  std::optional<EarshotLine> show(std::string_view raw);
  // earshot's output has ended.
  virtual void finish() {}

  bool sawError() const { return sawError_; }

  // Turns earshot's error text into the line the person sees; unchanged
  // when unset.
  std::function<std::string(const std::string&)> explainError;
  // Seconds added to transcript times: where the current session starts
  // in its recording.
  void setOffset(double seconds) { offset_ = seconds; }
  // A final with text came without times, so captions or words lack it.
  bool missedTimes() const { return missedTimes_; }
  // The file the lines come from, empty for none (standard input, the
  // microphone): given as "input" on every JSON line this view writes.
  void setInputName(std::string name) { inputName_ = std::move(name); }

 protected:
  virtual void onLine(const EarshotLine& line) = 0;
  // Before anything goes to `err`: a terminal line drawn in place must end.
  virtual void breakLine() {}

  Style style_;
  std::ostream& out_;
  std::ostream& err_;
  double offset_ = 0;
  bool missedTimes_ = false;
  std::string inputName_;

 private:
  bool sawError_ = false;
};

// Live transcription: finals one per line; on a terminal the partial too,
// redrawn in place and cut to the last `columns` - 1 characters.
class TranscriptView final : public View {
 public:
  TranscriptView(Style style, std::ostream& out, std::ostream& err, int columns)
      : View(style, out, err), columns_(columns) {}
  void finish() override;

 protected:
  void onLine(const EarshotLine& line) override;
  void breakLine() override;

 private:
  int columns_;
  bool partialShown_ = false;
};

// Captions from finals, as SRT (numbered from 1) or WebVTT (the header is
// written at once, so a recording without speech still gives a valid file).
class CaptionView final : public View {
 public:
  CaptionView(std::ostream& out, std::ostream& err, bool webVtt);

 protected:
  void onLine(const EarshotLine& line) override;

 private:
  bool webVtt_;
  int cues_ = 0;
};

// One JSON line per word of each final, with "input" when there is a
// file name.
class WordsView final : public View {
 public:
  WordsView(std::ostream& out, std::ostream& err) : View(Style::Plain, out, err) {}

 protected:
  void onLine(const EarshotLine& line) override;
};

// One of earshot's lines with "input" (naming `input`) as its first
// member; unchanged when `input` is empty or the line is not an object.
std::string withInputName(std::string_view line, std::string_view input);

// --locales as a table of locales and what is true of each.
class LocalesView final : public View {
 public:
  using View::View;

 protected:
  void onLine(const EarshotLine& line) override;
};

// --install: a bar redrawn in place on a terminal, a line per whole percent
// otherwise.
class InstallView final : public View {
 public:
  using View::View;
  void finish() override { breakLine(); }

 protected:
  void onLine(const EarshotLine& line) override;
  void breakLine() override;

 private:
  bool barShown_ = false;
  int lastPercent_ = -1;
};

// --release: one sentence on the outcome.
class ReleaseView final : public View {
 public:
  using View::View;

 protected:
  void onLine(const EarshotLine& line) override;
};

// The rows of the --locales table, exposed for its tests.
std::string localesTable(const EarshotLine& locales);

}  // namespace earshot::feed
