#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "protocol/rates.h"

namespace earshot::feed {

// The input cannot be read; what() names it and says why in plain words.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Mono signed 16-bit audio at one rate, read front to back.
class AudioInput {
 public:
  virtual ~AudioInput() = default;
  virtual double sampleRate() const = 0;
  // Fills `out` and returns its size, or fewer samples at the end of the
  // input; 0 means the end. May block (standard input, a microphone).
  virtual size_t read(std::span<int16_t> out) = 0;
  // Something the person should know about this input that did not stop
  // it, such as a file cut short; empty when all is well. Complete once
  // read() has returned 0.
  virtual std::string notice() const { return {}; }
  // How long the input lasts, when that is known before it is read (a
  // file); nullopt for a stream or a microphone.
  virtual std::optional<double> lengthSeconds() const { return std::nullopt; }
};

// A sound file that libsndfile reads (WAV, FLAC, Ogg, MP3, ...); several
// channels are averaged into one. `name` is how messages call it. Throws
// InputError for a missing, empty, unreadable or silent-by-construction
// file (a header without samples).
std::unique_ptr<AudioInput> openSoundFile(const std::string& path);

// A whole sound file on `fd` (standard input), its container told from its
// bytes. Reads `fd` to its end first. Throws InputError.
std::unique_ptr<AudioInput> openSoundStream(int fd, const std::string& name);

// Headerless s16le PCM from `fd`, `channels` interleaved and averaged.
// While it waits for bytes it also watches `wakeFd` (-1: none): once that
// is readable the input counts as ended, so a blocked read of a pipe can
// be called off.
std::unique_ptr<AudioInput> openRawInput(int fd, double sampleRate, int channels, int wakeFd,
                                         bool ownsFd);

// A raw PCM file; refuses one that starts like a sound file, whose header
// would be read as samples. Throws InputError.
std::unique_ptr<AudioInput> openRawFile(const std::string& path, double sampleRate, int channels);

// `input` converted to `rate` with libsoxr, for rates earshot does not take.
std::unique_ptr<AudioInput> resampled(std::unique_ptr<AudioInput> input, double rate);

// The rates earshot accepts; others go through resampled().
using protocol::kHighestRate;
using protocol::kLowestRate;
// The rates this tool reads at all: beyond them a rate is a mistake (a
// header claiming 1 Hz would be resampled for hours), refused by name.
constexpr double kLowestReadableRate = 4000, kHighestReadableRate = 768000;
inline std::string readableRates() {
  return "4000 to 768000";
}

// Interleaved frames of `channels` samples in [-1, 1] averaged to int16,
// rounded to nearest, clipped at full scale.
void mixToMono(std::span<const float> interleaved, int channels, std::span<int16_t> out);

}  // namespace earshot::feed
