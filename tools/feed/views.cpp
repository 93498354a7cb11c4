#include "tools/feed/views.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "protocol/json_text.h"
#include "tools/feed/captions.h"

namespace earshot::feed {
namespace {

constexpr std::string_view kClearLine = "\r\033[K";

bool isContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The last `limit` characters of `text` (UTF-8), led by an ellipsis when
// something was cut.
std::string tailThatFits(std::string_view text, int limit) {
  if (limit <= 0) return std::string(text);
  size_t start = text.size();
  int characters = 0;
  while (start > 0) {
    size_t previous = start - 1;
    while (previous > 0 && isContinuationByte(text[previous])) --previous;
    if (characters == limit - 1 && previous > 0) return "\u2026" + std::string(text.substr(start));
    if (characters == limit) break;
    start = previous;
    ++characters;
  }
  return std::string(text.substr(start));
}

std::string padded(std::string_view text, size_t width) {
  std::string cell(text);
  if (cell.size() < width) cell.append(width - cell.size(), ' ');
  return cell;
}

}  // namespace

std::optional<EarshotLine> View::show(std::string_view raw) {
  std::optional<EarshotLine> line = parseEarshotLine(raw);
  if (style_ == Style::Json) {
    out_ << (line ? withInputName(raw, inputName_) : std::string(raw)) << '\n';
    out_.flush();
  }
  if (!line) return line;
  if (line->type == "error") {
    sawError_ = true;
    breakLine();
    err_ << (explainError ? explainError(line->message) : line->message) << '\n';
    err_.flush();
  } else if (style_ != Style::Json) {
    onLine(*line);
    out_.flush();
  }
  return line;
}

void TranscriptView::onLine(const EarshotLine& line) {
  if (line.type == "status") {
    breakLine();
    err_ << line.message << '\n';
    err_.flush();
  } else if (line.type == "transcript") {
    if (style_ == Style::Terminal) {
      if (line.isFinal && line.text.empty()) return breakLine();
      out_ << kClearLine << tailThatFits(line.text, line.isFinal ? 0 : columns_ - 1);
      partialShown_ = !line.isFinal;
      if (line.isFinal) out_ << '\n';
    } else if (line.isFinal && !line.text.empty()) {
      out_ << line.text << '\n';
    }
  }
}

void TranscriptView::breakLine() {
  if (partialShown_) {
    out_ << kClearLine;
    out_.flush();
    partialShown_ = false;
  }
}

// A partial left on screen was never confirmed by a final: take it away.
void TranscriptView::finish() {
  breakLine();
}

CaptionView::CaptionView(std::ostream& out, std::ostream& err, bool webVtt)
    : View(Style::Plain, out, err), webVtt_(webVtt) {
  if (webVtt_) out_ << kVttHeader;
}

void CaptionView::onLine(const EarshotLine& line) {
  if (line.type != "transcript" || !line.isFinal || line.text.empty()) return;
  std::vector<Cue> cues = cuesOfFinal(line, offset_);
  if (cues.empty()) missedTimes_ = true;
  for (const Cue& cue : cues) out_ << (webVtt_ ? vttBlock(cue) : srtBlock(++cues_, cue));
}

void WordsView::onLine(const EarshotLine& line) {
  if (line.type != "transcript" || !line.isFinal || line.text.empty()) return;
  std::string words = wordLines(line, offset_, inputName_);
  if (words.empty()) missedTimes_ = true;
  out_ << words;
}

std::string withInputName(std::string_view line, std::string_view input) {
  size_t brace = line.find_first_not_of(" \t");
  if (input.empty() || brace == line.npos || line[brace] != '{') return std::string(line);
  size_t next = line.find_first_not_of(" \t\r\n", brace + 1);
  bool empty = next != line.npos && line[next] == '}';
  return std::string(line.substr(0, brace + 1)) + "\"input\":" + protocol::jsonString(input) +
         (empty ? "" : ",") + std::string(line.substr(brace + 1));
}

std::string localesTable(const EarshotLine& locales) {
  if (!locales.available) return "Speech recognition is not available on this machine.\n";
  std::vector<std::string> rows;
  for (const auto* list : {&locales.supported, &locales.installed, &locales.reserved}) {
    for (const std::string& locale : *list) {
      if (std::find(rows.begin(), rows.end(), locale) == rows.end()) rows.push_back(locale);
    }
  }
  auto has = [](const std::vector<std::string>& list, const std::string& locale) {
    return std::find(list.begin(), list.end(), locale) != list.end() ? "yes" : "no";
  };
  size_t width = std::string_view("Locale").size();
  for (const std::string& locale : rows) width = std::max(width, locale.size());
  std::string table = padded("Locale", width) + "  Supported  Installed  Reserved\n";
  for (const std::string& locale : rows) {
    table += padded(locale, width) + "  " + padded(has(locales.supported, locale), 9) + "  " +
             padded(has(locales.installed, locale), 9) + "  " + has(locales.reserved, locale) +
             "\n";
  }
  if (rows.empty()) table += "(no locales)\n";
  table += "Reserved " + std::to_string(locales.reserved.size()) + " of at most " +
           (locales.maxReserved ? std::to_string(*locales.maxReserved) : std::string("?")) + ".\n";
  return table;
}

void LocalesView::onLine(const EarshotLine& line) {
  if (line.type == "locales") out_ << localesTable(line);
}

void InstallView::onLine(const EarshotLine& line) {
  if (line.type == "install-progress") {
    if (std::isnan(line.fraction)) return;
    int percent = static_cast<int>(std::floor(std::clamp(line.fraction, 0.0, 1.0) * 100.0));
    if (style_ == Style::Terminal) {
      constexpr int kBarWidth = 30;
      int filled = percent * kBarWidth / 100;
      out_ << kClearLine << line.locale << " [" << std::string(size_t(filled), '#')
           << std::string(size_t(kBarWidth - filled), '.') << "] " << percent << '%';
      barShown_ = true;
    } else if (percent != lastPercent_) {
      out_ << line.locale << ' ' << percent << "%\n";
    }
    lastPercent_ = percent;
  } else if (line.type == "install-done") {
    breakLine();
    out_ << "Installed " << line.locale << ".\n";
  }
}

void InstallView::breakLine() {
  if (barShown_) {
    out_ << '\n';
    out_.flush();
    barShown_ = false;
  }
}

void ReleaseView::onLine(const EarshotLine& line) {
  if (line.type != "release-done") return;
  if (line.released) {
    out_ << "Released " << line.locale << ".\n";
  } else {
    out_ << line.locale << " was not reserved: nothing to release.\n";
  }
}

}  // namespace earshot::feed
