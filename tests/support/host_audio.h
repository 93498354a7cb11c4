#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace earshot::testkit {

inline const std::string kTestData = "/usr/share/pocketsphinx/test/data/";

// 16 kHz samples of a packaged recording (headerless .raw or .wav, a path
// in the packaged test data or an absolute one).
std::vector<int16_t> recording(const std::string& relativePath);

// The samples at another rate, by linear interpolation: plain on purpose, so
// that what the program hears does not depend on the resampler it uses.
std::vector<int16_t> resampled(const std::vector<int16_t>& samples, double from, double to);

// Speech with its pauses taken out, as from a speaker who never stops: every
// 10 ms block (at 16 kHz) quieter than a tenth of the median block is
// dropped, so voice activity detection never sees an utterance end.
std::vector<int16_t> withoutPauses(const std::vector<int16_t>& samples);

// The host input of a recording: "audio" lines of about 100 ms each, with a
// line feed each.
std::string audioLines(const std::vector<int16_t>& samples, double rate);

struct Transcript {
  std::string text;
  bool isFinal = false;
};
// The transcript lines among `lines`, in order.
std::vector<Transcript> transcripts(const std::vector<std::string>& lines);
// The final texts joined by spaces.
std::string finalText(const std::vector<Transcript>& transcripts);
// How many words of `expected` occur in `text`, whose words count without
// the sentence punctuation after them.
size_t wordsHeard(const std::string& expected, const std::string& text);

}  // namespace earshot::testkit
