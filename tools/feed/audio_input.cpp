#include "tools/feed/audio_input.h"

#include <fcntl.h>
#include <poll.h>
#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

namespace earshot::feed {

void mixToMono(std::span<const float> interleaved, int channels, std::span<int16_t> out) {
  for (size_t frame = 0; frame < out.size(); ++frame) {
    double sum = 0;
    for (int c = 0; c < channels; ++c) sum += interleaved[frame * channels + c];
    // libsndfile scales 16-bit samples by 1/32768, so this undoes it exactly.
    double scaled = std::nearbyint(sum / channels * 32768.0);
    if (scaled > 32767.0) scaled = 32767.0;
    if (scaled < -32768.0) scaled = -32768.0;
    out[frame] = static_cast<int16_t>(scaled);
  }
}

namespace {

const char* const kKnownFormats = "WAV, FLAC, Ogg or MP3";

std::string seconds(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", value);
  return text;
}

// Reads a sound file through libsndfile; `sf_open`'s caller hands over the
// open handle.
class SoundFileInput final : public AudioInput {
 public:
  SoundFileInput(SNDFILE* file, const SF_INFO& info, std::string name)
      : file_(file), info_(info), name_(std::move(name)) {
    // libsndfile reads a WAV cut short up to its end and notes in its log
    // that the header promised more.
    char log[4096] = {};
    sf_command(file_, SFC_GET_LOG_INFO, log, sizeof log);
    std::string_view text(log);
    size_t data = text.find("\ndata : ");
    cutShort_ = data != text.npos && text.find("(should be", data) < text.find('\n', data + 1);
    if (info_.samplerate < kLowestReadableRate || info_.samplerate > kHighestReadableRate) {
      sf_close(file_);
      throw InputError(name_ + ": says its sample rate is " + std::to_string(info_.samplerate) +
                       " Hz; this tool reads " + readableRates() + " Hz");
    }
    if (info_.frames == 0) {
      sf_close(file_);
      throw InputError(name_ + (cutShort_ ? ": cut short before any audio" : ": holds no audio"));
    }
  }
  ~SoundFileInput() override { sf_close(file_); }

  double sampleRate() const override { return info_.samplerate; }

  size_t read(std::span<int16_t> out) override {
    frames_.resize(out.size() * info_.channels);
    sf_count_t got = sf_readf_float(file_, frames_.data(), sf_count_t(out.size()));
    if (got <= 0) {
      if (read_ < info_.frames && info_.frames != SF_COUNT_MAX) cutShort_ = true;
      return 0;
    }
    read_ += got;
    mixToMono(std::span<const float>(frames_.data(), size_t(got) * info_.channels), info_.channels,
              out.first(size_t(got)));
    return size_t(got);
  }

  std::optional<double> lengthSeconds() const override {
    if (info_.frames <= 0 || info_.frames == SF_COUNT_MAX) return std::nullopt;
    return double(info_.frames) / info_.samplerate;
  }

  std::string notice() const override {
    if (!cutShort_) return {};
    return name_ + ": the file is cut short; transcribed the " +
           seconds(double(read_) / info_.samplerate) + " of audio that are there";
  }

 private:
  SNDFILE* file_;
  SF_INFO info_;
  std::string name_;
  bool cutShort_ = false;
  sf_count_t read_ = 0;
  std::vector<float> frames_;
};

SNDFILE* openOrSayWhy(SNDFILE* file, const std::string& name) {
  if (file == nullptr)
    throw InputError(name + ": not audio that this tool can read (" + std::string(kKnownFormats) +
                     ")");
  return file;
}

// What is wrong with `path` before libsndfile sees it, in plain words.
void checkFile(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) throw InputError(path + ": no such file");
    throw InputError(path + ": cannot be read: " + std::strerror(errno));
  }
  if (S_ISDIR(status.st_mode)) throw InputError(path + ": a directory, not an audio file");
  if (S_ISREG(status.st_mode) && status.st_size == 0)
    throw InputError(path + ": the file is empty");
  if (::access(path.c_str(), R_OK) != 0) {
    throw InputError(path + ": cannot be read: " + std::strerror(errno));
  }
}

// libsndfile's virtual I/O over bytes held in memory.
struct MemoryFile {
  std::string bytes;
  sf_count_t at = 0;

  static MemoryFile& of(void* self) { return *static_cast<MemoryFile*>(self); }
  static sf_count_t length(void* self) { return sf_count_t(of(self).bytes.size()); }
  static sf_count_t seek(sf_count_t offset, int whence, void* self) {
    MemoryFile& file = of(self);
    sf_count_t base = whence == SEEK_CUR ? file.at : whence == SEEK_END ? length(self) : 0;
    file.at = std::clamp<sf_count_t>(base + offset, 0, length(self));
    return file.at;
  }
  static sf_count_t read(void* out, sf_count_t count, void* self) {
    MemoryFile& file = of(self);
    sf_count_t got = std::min(count, length(self) - file.at);
    std::memcpy(out, file.bytes.data() + file.at, size_t(got));
    file.at += got;
    return got;
  }
  static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
  static sf_count_t tell(void* self) { return of(self).at; }
};

class StreamInput final : public AudioInput {
 public:
  StreamInput(std::string bytes, const std::string& name) {
    memory_.bytes = std::move(bytes);
    SF_VIRTUAL_IO io{MemoryFile::length, MemoryFile::seek, MemoryFile::read, MemoryFile::write,
                     MemoryFile::tell};
    SF_INFO info{};
    SNDFILE* file = openOrSayWhy(sf_open_virtual(&io, SFM_READ, &info, &memory_), name);
    file_ = std::make_unique<SoundFileInput>(file, info, name);
  }
  double sampleRate() const override { return file_->sampleRate(); }
  size_t read(std::span<int16_t> out) override { return file_->read(out); }
  std::string notice() const override { return file_->notice(); }
  std::optional<double> lengthSeconds() const override { return file_->lengthSeconds(); }

 private:
  MemoryFile memory_;  // read by file_, so declared before it
  std::unique_ptr<SoundFileInput> file_;
};

class RawInput final : public AudioInput {
 public:
  RawInput(int fd, double rate, int channels, int wakeFd, bool ownsFd,
           std::optional<double> length = std::nullopt)
      : fd_(fd),
        rate_(rate),
        channels_(channels),
        wakeFd_(wakeFd),
        ownsFd_(ownsFd),
        length_(length) {}
  ~RawInput() override {
    if (ownsFd_) ::close(fd_);
  }

  double sampleRate() const override { return rate_; }
  std::optional<double> lengthSeconds() const override { return length_; }

  size_t read(std::span<int16_t> out) override {
    // Whole frames only: a torn frame's bytes wait in `pending_`.
    const size_t frameBytes = size_t(channels_) * 2;
    bytes_.resize(out.size() * frameBytes);
    size_t have = pending_.size();
    if (have > 0) std::memcpy(bytes_.data(), pending_.data(), have);
    pending_.clear();
    while (have < bytes_.size() && !ended_) {
      if (!waitForBytes()) {
        ended_ = true;
        break;
      }
      ssize_t got = ::read(fd_, bytes_.data() + have, bytes_.size() - have);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        ended_ = true;
        break;
      }
      have += size_t(got);
    }
    size_t frames = have / frameBytes;
    pending_.assign(bytes_.begin() + long(frames * frameBytes), bytes_.begin() + long(have));
    for (size_t i = 0; i < frames; ++i) {
      int sum = 0;
      for (int c = 0; c < channels_; ++c) {
        const unsigned char* at = bytes_.data() + i * frameBytes + size_t(c) * 2;
        sum += static_cast<int16_t>(uint16_t(at[0]) | uint16_t(at[1]) << 8);
      }
      out[i] = static_cast<int16_t>(std::nearbyint(double(sum) / channels_));
    }
    return frames;
  }

 private:
  // False once the wake descriptor fires.
  bool waitForBytes() {
    if (wakeFd_ < 0) return true;
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0) {
      if (errno != EINTR) return true;
    }
    return (fds[1].revents & POLLIN) == 0;
  }

  int fd_;
  double rate_;
  int channels_, wakeFd_;
  bool ownsFd_;
  std::optional<double> length_;
  bool ended_ = false;
  std::vector<unsigned char> bytes_, pending_;
};

class ResampledInput final : public AudioInput {
 public:
  ResampledInput(std::unique_ptr<AudioInput> input, double rate)
      : input_(std::move(input)), rate_(rate) {
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_error_t error = nullptr;
    soxr_ = soxr_create(input_->sampleRate(), rate_, 1, &error, &io, &quality, nullptr);
    if (error) throw InputError(std::string("cannot resample: ") + error);
  }
  ~ResampledInput() override { soxr_delete(soxr_); }

  double sampleRate() const override { return rate_; }
  std::string notice() const override { return input_->notice(); }
  std::optional<double> lengthSeconds() const override { return input_->lengthSeconds(); }

  size_t read(std::span<int16_t> out) override {
    size_t done = 0;
    while (done < out.size() && !drained_) {
      if (used_ == in_.size() && !ended_) {
        in_.resize(std::max<size_t>(out.size(), 4096));
        in_.resize(input_->read(in_));
        used_ = 0;
        ended_ = in_.empty();
      }
      size_t took = 0, made = 0;
      // A null input tells libsoxr the input has ended: it gives what it kept back.
      soxr_error_t error =
          soxr_process(soxr_, ended_ ? nullptr : in_.data() + used_, in_.size() - used_, &took,
                       out.data() + done, out.size() - done, &made);
      if (error) throw InputError(std::string("resampling failed: ") + error);
      used_ += took;
      done += made;
      if (ended_ && made == 0) drained_ = true;
    }
    return done;
  }

 private:
  std::unique_ptr<AudioInput> input_;
  double rate_;
  soxr_t soxr_ = nullptr;
  std::vector<int16_t> in_;
  size_t used_ = 0;
  bool ended_ = false, drained_ = false;
};

// The container a sound file's first bytes name, or empty.
std::string containerOf(std::string_view head) {
  const std::pair<std::string_view, const char*> magics[] = {
      {"RIFF", "WAV"}, {"RIFX", "WAV"}, {"RF64", "WAV"}, {"fLaC", "FLAC"},
      {"OggS", "Ogg"}, {"ID3", "MP3"},  {"FORM", "AIFF"}};
  for (const auto& [magic, name] : magics) {
    if (head.substr(0, magic.size()) == magic) return name;
  }
  return {};
}

}  // namespace

std::unique_ptr<AudioInput> openSoundFile(const std::string& path) {
  checkFile(path);
  SF_INFO info{};
  SNDFILE* opened = sf_open(path.c_str(), SFM_READ, &info);
  std::string extension = std::filesystem::path(path).extension().string();
  for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
  if (opened == nullptr && (extension == ".raw" || extension == ".pcm")) {
    throw InputError(path + ": raw PCM has no header to tell its rate: give --rate (and " +
                     "--channels when it is not mono)");
  }
  SNDFILE* file = openOrSayWhy(opened, path);
  return std::make_unique<SoundFileInput>(file, info, path);
}

std::unique_ptr<AudioInput> openSoundStream(int fd, const std::string& name) {
  std::string bytes;
  char chunk[65536];
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw InputError(name + ": cannot be read: " + std::strerror(errno));
    if (got == 0) break;
    bytes.append(chunk, size_t(got));
  }
  if (bytes.empty()) throw InputError(name + ": nothing came");
  return std::make_unique<StreamInput>(std::move(bytes), name);
}

std::unique_ptr<AudioInput> openRawInput(int fd, double sampleRate, int channels, int wakeFd,
                                         bool ownsFd) {
  return std::make_unique<RawInput>(fd, sampleRate, channels, wakeFd, ownsFd);
}

std::unique_ptr<AudioInput> openRawFile(const std::string& path, double sampleRate, int channels) {
  checkFile(path);
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw InputError(path + ": cannot be read: " + std::strerror(errno));
  char head[4] = {};
  ssize_t got = ::pread(fd, head, sizeof head, 0);
  std::string container = containerOf(std::string_view(head, size_t(std::max<ssize_t>(got, 0))));
  if (!container.empty()) {
    ::close(fd);
    throw InputError(path + ": a " + container + " file, not raw PCM: leave out --rate");
  }
  struct stat status {};
  std::optional<double> length;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    length = double(status.st_size) / (2.0 * channels) / sampleRate;
  }
  return std::make_unique<RawInput>(fd, sampleRate, channels, -1, true, length);
}

std::unique_ptr<AudioInput> resampled(std::unique_ptr<AudioInput> input, double rate) {
  return std::make_unique<ResampledInput>(std::move(input), rate);
}

}  // namespace earshot::feed
