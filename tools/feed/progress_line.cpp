#include "tools/feed/progress_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace earshot::feed {
namespace {

constexpr std::string_view kClearLine = "\r\033[K";

std::string clock(double seconds) {
  long long whole = std::llround(std::max(0.0, seconds));
  char text[32];
  if (whole >= 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                  whole % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
  }
  return text;
}

}  // namespace

std::string progressText(const std::string& name, double fraction, double elapsed, int columns) {
  fraction = std::clamp(fraction, 0.0, 1.0);
  std::string state =
      "  " + std::to_string(int(std::floor(fraction * 100))) + "%  " + clock(elapsed) + " elapsed";
  if (fraction >= 0.05 && elapsed >= 2 && fraction < 1) {
    state += ", about " + clock(elapsed * (1 - fraction) / fraction) + " left";
  }
  if (columns <= 0) return name + state;
  // Characters, not bytes: a UTF-8 name is cut between characters.
  std::vector<size_t> starts;
  for (size_t i = 0; i < name.size(); ++i) {
    if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80) starts.push_back(i);
  }
  size_t room = size_t(columns - 1) > state.size() ? size_t(columns - 1) - state.size() : 0;
  if (starts.size() <= room) return name + state;
  if (room < 2) return state.substr(2, size_t(std::max(columns - 1, 0)));
  return "\u2026" + name.substr(starts[starts.size() - (room - 1)]) + state;
}

// Passes everything on to the terminal, taking the drawn line away first.
class ProgressLine::ClearingBuffer final : public std::streambuf {
 public:
  ClearingBuffer(ProgressLine& line, std::streambuf* target) : line_(line), target_(target) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    line_.clear();
    return target_->sputc(traits_type::to_char_type(c));
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    line_.clear();
    return target_->sputn(text, count);
  }
  int sync() override { return target_->pubsync(); }

 private:
  ProgressLine& line_;
  std::streambuf* target_;
};

ProgressLine::ProgressLine(std::ostream& terminal, int columns)
    : terminal_(terminal),
      columns_(columns),
      buffer_(std::make_unique<ClearingBuffer>(*this, terminal.rdbuf())),
      stream_(std::make_unique<std::ostream>(buffer_.get())) {}

ProgressLine::~ProgressLine() {
  clear();
}

void ProgressLine::start(const std::string& name, std::optional<double> seconds) {
  name_ = name;
  length_ = seconds && *seconds > 0 ? seconds : std::nullopt;
  heard_ = 0;
  started_ = Clock::now();
  drawnAt_ = {};
  tick();
}

void ProgressLine::heard(double seconds) {
  heard_ = std::max(heard_, seconds);
}

void ProgressLine::tick() {
  if (!length_) return clear();
  auto now = Clock::now();
  double elapsed = std::chrono::duration<double>(now - started_).count();
  std::string text = progressText(name_, heard_ / *length_, elapsed, columns_);
  if (text == drawn_ && now - drawnAt_ < std::chrono::seconds(1)) return;
  terminal_ << kClearLine << text;
  terminal_.flush();
  drawn_ = text;
  drawnAt_ = now;
}

void ProgressLine::clear() {
  if (drawn_.empty()) return;
  terminal_ << kClearLine;
  terminal_.flush();
  drawn_.clear();
}

}  // namespace earshot::feed
