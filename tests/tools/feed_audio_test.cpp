#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <thread>
#include <type_traits>

#include "tools/feed/audio_input.h"

namespace earshot::feed {
namespace {

namespace fs = std::filesystem;

class SoundFiles : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/feed-audio-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Writes interleaved `frames` with libsndfile: doubles for float files,
  // shorts as they are (libsndfile scales doubles into 16 bits by 32767).
  template <typename Sample>
  std::string write(const std::string& name, int format, int channels, int rate,
                    const std::vector<Sample>& frames) {
    std::string path = (dir_ / name).string();
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
    if (!file) return path;
    // Float files keep values beyond full scale only without clipping.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_FALSE);
    if constexpr (std::is_same_v<Sample, int16_t>) {
      sf_writef_short(file, frames.data(), sf_count_t(frames.size() / channels));
    } else {
      sf_writef_double(file, frames.data(), sf_count_t(frames.size() / channels));
    }
    sf_close(file);
    return path;
  }

  // All samples, read three at a time so reads end mid-file.
  static std::vector<int16_t> readAll(AudioInput& input) {
    std::vector<int16_t> all;
    int16_t piece[3];
    while (size_t got = input.read(piece)) all.insert(all.end(), piece, piece + got);
    return all;
  }

  fs::path dir_;
};

constexpr double kStep = 1.0 / 32768;

TEST_F(SoundFiles, MonoSixteenBitComesBackExactly) {
  const std::vector<int16_t> samples{0, 1, -1, 12345, -32768, 32767, -2};
  for (int format : {SF_FORMAT_WAV | SF_FORMAT_PCM_16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16}) {
    auto input = openSoundFile(
        write(format & SF_FORMAT_FLAC ? "m.flac" : "m.wav", format, 1, 22050, samples));
    EXPECT_EQ(input->sampleRate(), 22050);
    EXPECT_EQ(readAll(*input), samples) << std::hex << format;
  }
}

TEST_F(SoundFiles, ChannelsAreAveragedRoundedAndClipped) {
  // Three channels; the float file carries peaks beyond full scale.
  const std::vector<double> frames{
      3000 * kStep,
      -3000 * kStep,
      300 * kStep,  // 100
      1 * kStep,
      1 * kStep,
      0,  // 2/3 rounds to 1
      -32768 * kStep,
      -32768 * kStep,
      -32768 * kStep,  // full scale stays
      1.5,
      1.5,
      1.5,  // clipped, not wrapped
      -2.0,
      -2.0,
      -1.0,  // clipped, not wrapped
  };
  auto input = openSoundFile(write("s.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 3, 44100, frames));
  EXPECT_EQ(input->sampleRate(), 44100);
  EXPECT_EQ(readAll(*input), (std::vector<int16_t>{100, 1, -32768, 32767, -32768}));
}

TEST_F(SoundFiles, UnreadableFileNamesItself) {
  std::string path = (dir_ / "not-audio.wav").string();
  FILE* f = std::fopen(path.c_str(), "w");
  std::fputs("hello", f);
  std::fclose(f);
  for (const std::string& bad : {path, (dir_ / "missing.wav").string()}) {
    try {
      openSoundFile(bad);
      ADD_FAILURE() << bad;
    } catch (const InputError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(bad + ": ", 0), 0u) << error.what();
    }
  }
}

// A pipe delivers bytes in pieces that split samples; none may be torn.
TEST(RawInput, SamplesSurviveReadsThatSplitThem) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const std::vector<int16_t> samples{1, -2, 300, -32768, 32767, 0x0102, -5};
  std::string bytes;
  for (int16_t s : samples) {
    bytes += char(uint16_t(s) & 0xff);
    bytes += char(uint16_t(s) >> 8);
  }
  bytes += '\x7f';  // a torn last sample is dropped
  std::thread writer([&] {
    size_t at = 0;
    for (size_t piece = 1; at < bytes.size(); piece = piece % 3 + 1) {
      size_t n = std::min(piece, bytes.size() - at);
      ASSERT_EQ(::write(fds[1], bytes.data() + at, n), ssize_t(n));
      at += n;
      std::this_thread::yield();
    }
    ::close(fds[1]);
  });
  auto input = openRawInput(fds[0], 48000, -1, true);
  std::vector<int16_t> all;
  int16_t piece[2];
  while (size_t got = input->read(piece)) all.insert(all.end(), piece, piece + got);
  writer.join();
  EXPECT_EQ(all, samples);
  EXPECT_EQ(input->sampleRate(), 48000);
}

// A microphone pipe that never ends must still let go when told to.
TEST(RawInput, WakeDescriptorEndsABlockedRead) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  int wake = ::eventfd(0, 0);
  auto input = openRawInput(fds[0], 16000, wake, false);
  std::thread waker([&] {
    uint64_t one = 1;
    ASSERT_EQ(::write(wake, &one, sizeof one), ssize_t(sizeof one));
  });
  int16_t piece[160];
  EXPECT_EQ(input->read(piece), 0u);
  waker.join();
  for (int fd : {fds[0], fds[1], wake}) ::close(fd);
}

}  // namespace
}  // namespace earshot::feed
