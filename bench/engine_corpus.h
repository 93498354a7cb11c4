#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace earshot::bench {

// A packaged test recording at 16 kHz with what is said in it.
struct Recording {
  std::string name;
  std::vector<int16_t> samples;
  std::string reference;  // lower-case words separated by spaces
};

inline constexpr const char* kTestData = "/usr/share/pocketsphinx/test/data";

// The recordings of a folder as its transcription file lists them: lines of
// "<s> words </s> (name)" for name.wav, in a file named "transcription" or
// ending in ".transcription".
std::vector<Recording> folderRecordings(const std::string& folder);
// The five librivox recordings with their transcription.
std::vector<Recording> librivoxRecordings();
// goforward.raw, "go forward ten meters".
Recording goForwardRecording();

// Samples of a headerless 16-bit file or of the data chunk of a WAV file.
std::vector<int16_t> readSamples(const std::string& path);

struct WordErrors {
  size_t errors = 0;     // substitutions + insertions + deletions
  size_t reference = 0;  // words in the reference
  double rate() const { return reference == 0 ? 0.0 : double(errors) / double(reference); }
};
WordErrors wordErrors(const std::string& reference, const std::string& hypothesis);

}  // namespace earshot::bench
