#include "tests/support/host_audio.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>

#include "tests/support/host_lines.h"

namespace earshot::testkit {

std::vector<int16_t> recording(const std::string& relativePath) {
  std::ifstream file(relativePath.starts_with("/") ? relativePath : kTestData + relativePath,
                     std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), {});
  size_t begin = relativePath.ends_with(".wav") ? 44 : 0;
  std::vector<int16_t> samples((bytes.size() - std::min(begin, bytes.size())) / 2);
  std::memcpy(samples.data(), bytes.data() + begin, samples.size() * 2);
  return samples;
}

std::vector<int16_t> resampled(const std::vector<int16_t>& samples, double from, double to) {
  if (samples.empty()) return {};
  size_t frames = size_t(double(samples.size()) * to / from);
  std::vector<int16_t> out(frames);
  for (size_t i = 0; i < frames; ++i) {
    double at = double(i) * from / to;
    size_t left = std::min(size_t(at), samples.size() - 1);
    size_t right = std::min(left + 1, samples.size() - 1);
    double weight = at - double(left);
    out[i] = int16_t(std::lround(samples[left] * (1 - weight) + samples[right] * weight));
  }
  return out;
}

std::string audioLines(const std::vector<int16_t>& samples, double rate) {
  std::string lines;
  const size_t chunk = size_t(rate / 10);
  for (size_t at = 0; at < samples.size(); at += chunk) {
    size_t count = std::min(chunk, samples.size() - at);
    lines += audioLine({samples.begin() + at, samples.begin() + at + count}, rate) + "\n";
  }
  return lines;
}

std::vector<Transcript> transcripts(const std::vector<std::string>& lines) {
  const std::string prefix = R"({"type":"transcript","text":")";
  std::vector<Transcript> found;
  for (const auto& line : lines) {
    if (line.rfind(prefix, 0) != 0) continue;
    size_t end = line.find('"', prefix.size());
    if (end == std::string::npos) continue;
    Transcript transcript{line.substr(prefix.size(), end - prefix.size()), false};
    std::string rest = line.substr(end);
    if (rest == R"(","isFinal":true})") {
      transcript.isFinal = true;
    } else if (rest != R"(","isFinal":false})") {
      continue;  // not a transcript line the tests understand; they will notice
    }
    found.push_back(transcript);
  }
  return found;
}

std::string finalText(const std::vector<Transcript>& transcripts) {
  std::string text;
  for (const auto& t : transcripts) {
    if (t.isFinal && !t.text.empty()) text += (text.empty() ? "" : " ") + t.text;
  }
  return text;
}

size_t wordsHeard(const std::string& expected, const std::string& text) {
  std::istringstream heardStream(text), expectedStream(expected);
  std::vector<std::string> heard{std::istream_iterator<std::string>(heardStream), {}};
  // Sentence punctuation is not part of a word.
  for (std::string& word : heard) {
    while (!word.empty() && std::string_view(".,?!").find(word.back()) != std::string_view::npos) {
      word.pop_back();
    }
  }
  size_t found = 0;
  for (std::istream_iterator<std::string> word(expectedStream), end; word != end; ++word) {
    if (std::find(heard.begin(), heard.end(), *word) != heard.end()) ++found;
  }
  return found;
}

std::vector<int16_t> withoutPauses(const std::vector<int16_t>& samples) {
  const size_t block = 160;
  std::vector<double> levels;
  for (size_t at = 0; at + block <= samples.size(); at += block) {
    double level = 0;
    for (size_t i = at; i < at + block; ++i) level += double(samples[i]) * samples[i];
    levels.push_back(level);
  }
  if (levels.empty()) return {};
  std::vector<double> sorted = levels;
  std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
  const double quiet = sorted[sorted.size() / 2] / 10;
  std::vector<int16_t> kept;
  for (size_t n = 0; n < levels.size(); ++n) {
    if (levels[n] >= quiet) {
      kept.insert(kept.end(), samples.begin() + long(n * block),
                  samples.begin() + long((n + 1) * block));
    }
  }
  return kept;
}

}  // namespace earshot::testkit
