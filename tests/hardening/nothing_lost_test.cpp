// The built program loses no words at the edges of a session: speech that
// runs right up to "stop", to the end of input or to a "flush" is in the
// finals, and cutting a long recording into sessions at its pauses keeps
// its words.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/host_audio.h"
#include "tests/support/host_lines.h"

namespace earshot::testkit {
namespace {

constexpr size_t kFrame = 160;  // 10 ms at 16 kHz

// Root mean square of each 10 ms frame.
std::vector<double> frameEnergies(const std::vector<int16_t>& samples) {
  std::vector<double> energies;
  for (size_t at = 0; at + kFrame <= samples.size(); at += kFrame) {
    double sum = 0;
    for (size_t i = at; i < at + kFrame; ++i) sum += double(samples[i]) * samples[i];
    energies.push_back(std::sqrt(sum / kFrame));
  }
  return energies;
}

// Frames above 3% of the loudest one count as sound, the rest as pause.
double soundThreshold(const std::vector<double>& energies) {
  return *std::max_element(energies.begin(), energies.end()) * 0.03;
}

// The recording up to the end of its last sound: no pause left at the end.
std::vector<int16_t> withoutTrailingPause(const std::vector<int16_t>& samples) {
  std::vector<double> energies = frameEnergies(samples);
  double threshold = soundThreshold(energies);
  size_t end = energies.size();
  while (end > 0 && energies[end - 1] < threshold) --end;
  return {samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(end * kFrame)};
}

// The middle of every pause of at least 250 ms, in samples.
std::vector<size_t> pauseMiddles(const std::vector<int16_t>& samples) {
  std::vector<double> energies = frameEnergies(samples);
  double threshold = soundThreshold(energies);
  std::vector<size_t> middles;
  size_t quiet = 0;
  for (size_t frame = 0; frame <= energies.size(); ++frame) {
    if (frame < energies.size() && energies[frame] < threshold) {
      ++quiet;
      continue;
    }
    if (quiet >= 25 && frame < energies.size() && frame > quiet) {
      middles.push_back((frame - quiet / 2) * kFrame);
    }
    quiet = 0;
  }
  return middles;
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream stream(text);
  return {std::istream_iterator<std::string>(stream), {}};
}

// The texts of the non-empty finals, in order.
std::vector<std::string> finals(const std::vector<std::string>& lines) {
  std::vector<std::string> texts;
  for (const auto& t : transcripts(lines)) {
    if (t.isFinal && !t.text.empty()) texts.push_back(t.text);
  }
  return texts;
}

std::string joined(const std::vector<std::string>& texts) {
  std::string all;
  for (const auto& text : texts) all += (all.empty() ? "" : " ") + text;
  return all;
}

ProcessRun transcribe(const std::string& input) {
  ChildProcess child({.argv = earshotCommand()});
  child.write(initLine("en-US", kSpokenForm) + "\n" + input);
  ProcessRun exit = child.wait();
  EXPECT_EQ(exit.status, 0);
  EXPECT_EQ(exit.err, "");
  EXPECT_EQ(exit.lines.back(), stoppedLine());
  return exit;
}

const std::string kWords = "go forward ten meters";

struct EdgeCase {
  std::string name;
  double rate;
  std::string end;  // what follows the speech
  friend void PrintTo(const EdgeCase& c, std::ostream* out) { *out << c.name; }
};

class SpeechUpToTheEdge : public testing::TestWithParam<EdgeCase> {};

// The recording is cut right after its last word, so that word is the last
// audio before the session ends; with a flush the same recording follows
// whole in a second session.
TEST_P(SpeechUpToTheEdge, IsInTheFinals) {
  const EdgeCase& c = GetParam();
  std::vector<int16_t> speech =
      resampled(withoutTrailingPause(recording("goforward.raw")), 16000, c.rate);
  std::string input = audioLines(speech, c.rate) + c.end;
  bool flushed = c.end == flushLine() + "\n";
  if (flushed) input += audioLines(recording("goforward.raw"), 16000) + stopLine() + "\n";

  std::vector<std::string> heard = finals(transcribe(input).lines);
  ASSERT_EQ(heard.size(), flushed ? 2u : 1u) << joined(heard);
  // The first session's last final holds its last word.
  std::vector<std::string> first = words(heard.front());
  EXPECT_EQ(first.back(), "meters") << heard.front();
  EXPECT_GE(wordsHeard(kWords, heard.front()), 3u) << heard.front();
}

INSTANTIATE_TEST_SUITE_P(Hardening, SpeechUpToTheEdge,
                         testing::Values(EdgeCase{"Stop16k", 16000, stopLine() + "\n"},
                                         EdgeCase{"EndOfInput16k", 16000, ""},
                                         EdgeCase{"Flush16k", 16000, flushLine() + "\n"},
                                         EdgeCase{"Stop44k", 44100, stopLine() + "\n"},
                                         EdgeCase{"Flush44k", 44100, flushLine() + "\n"}),
                         [](const auto& info) { return info.param.name; });

// Words in the same order in both, over the longer one.
double wordOverlap(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::vector<std::vector<size_t>> common(a.size() + 1, std::vector<size_t>(b.size() + 1, 0));
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      common[i][j] = a[i - 1] == b[j - 1] ? common[i - 1][j - 1] + 1
                                          : std::max(common[i - 1][j], common[i][j - 1]);
    }
  }
  size_t longer = std::max(a.size(), b.size());
  return longer == 0 ? 1.0 : double(common[a.size()][b.size()]) / double(longer);
}

TEST(LongRecording, FlushedAtItsPausesKeepsTheWordsOfOneSession) {
  std::vector<int16_t> book;
  for (const char* id : {"0870", "0880", "0890", "0920", "0930"}) {
    std::vector<int16_t> part =
        recording(std::string("librivox/sense_and_sensibility_01_austen_64kb-") + id + ".wav");
    book.insert(book.end(), part.begin(), part.end());
  }
  std::vector<size_t> pauses = pauseMiddles(book);
  ASSERT_GE(pauses.size(), 3u);

  std::string flushedInput;
  size_t from = 0;
  for (size_t pause : pauses) {
    flushedInput +=
        audioLines({book.begin() + from, book.begin() + pause}, 16000) + flushLine() + "\n";
    from = pause;
  }
  flushedInput += audioLines({book.begin() + from, book.end()}, 16000) + stopLine() + "\n";

  std::vector<std::string> whole = words(joined(finals(transcribe(audioLines(book, 16000)).lines)));
  std::vector<std::string> flushed = words(joined(finals(transcribe(flushedInput).lines)));
  double overlap = wordOverlap(whole, flushed);
  std::cout << "one session: " << whole.size() << " words; " << pauses.size()
            << " flushes: " << flushed.size() << " words; overlap " << overlap << "\n";
  ASSERT_GE(whole.size(), 40u) << "the recording was hardly heard";
  EXPECT_GE(overlap, 0.8) << joined(whole) << "\n" << joined(flushed);
}

}  // namespace
}  // namespace earshot::testkit
