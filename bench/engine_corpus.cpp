#include "engine_corpus.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace earshot::bench {
namespace {

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string word; in >> word;) {
    if (word != "<s>" && word != "</s>") out.push_back(word);
  }
  return out;
}

std::string joined(const std::vector<std::string>& list) {
  std::string text;
  for (const auto& word : list) text += (text.empty() ? "" : " ") + word;
  return text;
}

}  // namespace

std::vector<int16_t> readSamples(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  std::string bytes((std::istreambuf_iterator<char>(file)), {});
  size_t begin = 0, size = bytes.size();
  if (bytes.size() >= 12 && bytes.compare(0, 4, "RIFF") == 0) {
    size_t at = 12;
    size = 0;
    while (at + 8 <= bytes.size()) {
      uint32_t length;
      std::memcpy(&length, bytes.data() + at + 4, 4);
      if (bytes.compare(at, 4, "data") == 0) {
        begin = at + 8;
        size = std::min<size_t>(length, bytes.size() - begin);
        break;
      }
      at += 8 + length + (length & 1);
    }
  }
  std::vector<int16_t> samples(size / 2);
  std::memcpy(samples.data(), bytes.data() + begin, samples.size() * 2);
  return samples;
}

std::vector<Recording> folderRecordings(const std::string& folder) {
  std::filesystem::path list = std::filesystem::path(folder) / "transcription";
  for (const auto& item : std::filesystem::directory_iterator(folder)) {
    if (item.path().extension() == ".transcription") list = item.path();
  }
  std::ifstream transcription(list);
  if (!transcription) throw std::runtime_error("no transcription in " + folder);
  std::vector<Recording> recordings;
  for (std::string line; std::getline(transcription, line);) {
    size_t open = line.rfind('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos) continue;
    Recording recording;
    recording.name = line.substr(open + 1, close - open - 1);
    recording.reference = joined(words(line.substr(0, open)));
    recording.samples = readSamples(folder + "/" + recording.name + ".wav");
    recordings.push_back(std::move(recording));
  }
  return recordings;
}

std::vector<Recording> librivoxRecordings() {
  return folderRecordings(std::string(kTestData) + "/librivox");
}

Recording goForwardRecording() {
  return Recording{"goforward", readSamples(std::string(kTestData) + "/goforward.raw"),
                   "go forward ten meters"};
}

WordErrors wordErrors(const std::string& reference, const std::string& hypothesis) {
  std::vector<std::string> ref = words(reference), hyp = words(hypothesis);
  std::vector<size_t> previous(hyp.size() + 1), current(hyp.size() + 1);
  for (size_t j = 0; j <= hyp.size(); ++j) previous[j] = j;
  for (size_t i = 1; i <= ref.size(); ++i) {
    current[0] = i;
    for (size_t j = 1; j <= hyp.size(); ++j) {
      size_t substitution = previous[j - 1] + (ref[i - 1] == hyp[j - 1] ? 0 : 1);
      current[j] = std::min({substitution, previous[j] + 1, current[j - 1] + 1});
    }
    std::swap(previous, current);
  }
  return WordErrors{previous[hyp.size()], ref.size()};
}

}  // namespace earshot::bench
