#include "tools/feed/audio_input.h"

#include <poll.h>
#include <sndfile.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
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

class SoundFileInput final : public AudioInput {
 public:
  explicit SoundFileInput(const std::string& path) {
    file_ = sf_open(path.c_str(), SFM_READ, &info_);
    if (file_ == nullptr) throw InputError(path + ": " + sf_strerror(nullptr));
    if (info_.channels < 1 || info_.samplerate < 1) {
      sf_close(file_);
      throw InputError(path + ": no audio channels");
    }
  }
  ~SoundFileInput() override { sf_close(file_); }

  int sampleRate() const override { return info_.samplerate; }

  size_t read(std::span<int16_t> out) override {
    frames_.resize(out.size() * info_.channels);
    sf_count_t got = sf_readf_float(file_, frames_.data(), sf_count_t(out.size()));
    if (got <= 0) return 0;
    mixToMono(std::span<const float>(frames_.data(), size_t(got) * info_.channels), info_.channels,
              out.first(size_t(got)));
    return size_t(got);
  }

 private:
  SF_INFO info_{};
  SNDFILE* file_ = nullptr;
  std::vector<float> frames_;
};

class RawInput final : public AudioInput {
 public:
  RawInput(int fd, int rate, int wakeFd, bool ownsFd)
      : fd_(fd), rate_(rate), wakeFd_(wakeFd), ownsFd_(ownsFd) {}
  ~RawInput() override {
    if (ownsFd_) ::close(fd_);
  }

  int sampleRate() const override { return rate_; }

  size_t read(std::span<int16_t> out) override {
    // Whole samples only: an odd byte waits in `pending_` for its partner.
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    size_t want = out.size() * 2;
    size_t have = 0;
    if (hasPending_) {
      bytes[have++] = pending_;
      hasPending_ = false;
    }
    while (have < want && !ended_) {
      if (!waitForBytes()) {
        ended_ = true;
        break;
      }
      ssize_t got = ::read(fd_, bytes + have, want - have);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        ended_ = true;
        break;
      }
      have += size_t(got);
    }
    if (have % 2 == 1) {
      pending_ = bytes[--have];
      hasPending_ = true;
    }
    size_t samples = have / 2;
    for (size_t i = 0; i < samples; ++i) {
      out[i] = static_cast<int16_t>(uint16_t(bytes[2 * i]) | uint16_t(bytes[2 * i + 1]) << 8);
    }
    return samples;
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

  int fd_, rate_, wakeFd_;
  bool ownsFd_;
  bool ended_ = false;
  bool hasPending_ = false;
  unsigned char pending_ = 0;
};

}  // namespace

std::unique_ptr<AudioInput> openSoundFile(const std::string& path) {
  return std::make_unique<SoundFileInput>(path);
}

std::unique_ptr<AudioInput> openRawInput(int fd, int sampleRate, int wakeFd, bool ownsFd) {
  return std::make_unique<RawInput>(fd, sampleRate, wakeFd, ownsFd);
}

}  // namespace earshot::feed
