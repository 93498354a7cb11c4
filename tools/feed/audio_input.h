#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace earshot::feed {

// The input cannot be read; what() names the file and the reason.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Mono signed 16-bit audio at one rate, read front to back.
class AudioInput {
 public:
  virtual ~AudioInput() = default;
  virtual int sampleRate() const = 0;
  // Fills `out` and returns its size, or fewer samples at the end of the
  // input; 0 means the end. May block (standard input).
  virtual size_t read(std::span<int16_t> out) = 0;
};

// A sound file that libsndfile reads (WAV, FLAC, Ogg, MP3, ...); several
// channels are averaged into one. Throws InputError.
std::unique_ptr<AudioInput> openSoundFile(const std::string& path);

// Headerless s16le mono from `fd`. While it waits for bytes it also watches
// `wakeFd` (-1: none): once that is readable the input counts as ended, so
// a blocked read of a microphone pipe can be called off.
std::unique_ptr<AudioInput> openRawInput(int fd, int sampleRate, int wakeFd, bool ownsFd);

// Interleaved frames of `channels` samples in [-1, 1] averaged to int16,
// rounded to nearest, clipped at full scale.
void mixToMono(std::span<const float> interleaved, int channels, std::span<int16_t> out);

}  // namespace earshot::feed
