#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <type_traits>

#include "tests/support/scratch_folder.h"
#include "tools/feed/audio_input.h"

namespace earshot::feed {
namespace {

namespace fs = std::filesystem;

class SoundFiles : public testing::Test {
 protected:
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

  testkit::ScratchFolder scratch_{"feed-audio"};
  const fs::path dir_ = scratch_.path();
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

// Every input that cannot be transcribed says which and why in plain words.
TEST_F(SoundFiles, UnreadableInputsSayWhatIsWrong) {
  std::string text = (dir_ / "notes.txt").string();
  std::ofstream(text) << "hello";
  std::string empty = (dir_ / "empty.wav").string();
  std::ofstream{empty};
  std::string header =
      write("header.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 16000, std::vector<int16_t>{});
  std::string wav =
      write("tone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 16000, std::vector<int16_t>(1600, 7));
  std::string missing = (dir_ / "missing.wav").string();
  std::string directory = dir_.string();
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { openSoundFile(missing); }, missing + ": no such file"},
      {[&] { openSoundFile(directory); }, directory + ": a directory, not an audio file"},
      {[&] { openSoundFile(empty); }, empty + ": the file is empty"},
      {[&] { openSoundFile(text); },
       text + ": not audio that this tool can read (WAV, FLAC, Ogg or MP3)"},
      {[&] { openSoundFile(header); }, header + ": holds no audio"},
      {[&] { openRawFile(wav, 16000, 1); }, wav + ": a WAV file, not raw PCM: leave out --rate"},
      {[&] { openRawFile(missing, 16000, 1); }, missing + ": no such file"},
  };
  for (const auto& [open, message] : cases) {
    try {
      open();
      ADD_FAILURE() << "opened: " << message;
    } catch (const InputError& error) {
      EXPECT_EQ(error.what(), message);
    }
  }
}

// A WAV cut short is read up to its end, and says so once read.
TEST_F(SoundFiles, TruncatedFileIsReadAndNoticed) {
  std::string whole = write("whole.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 16000,
                            std::vector<int16_t>(16000, 100));
  std::string cut = (dir_ / "cut.wav").string();
  fs::copy_file(whole, cut);
  fs::resize_file(cut, 44 + 8000 * 2);
  auto input = openSoundFile(cut);
  EXPECT_EQ(readAll(*input).size(), 8000u);
  EXPECT_EQ(input->notice(), cut +
                                 ": the file is cut short; transcribed the 0.5 s of audio that "
                                 "are there");
  auto complete = openSoundFile(whole);
  EXPECT_EQ(readAll(*complete).size(), 16000u);
  EXPECT_EQ(complete->notice(), "");

  fs::resize_file(cut, 44);
  try {
    openSoundFile(cut);
    ADD_FAILURE() << "opened";
  } catch (const InputError& error) {
    EXPECT_EQ(error.what(), cut + ": cut short before any audio");
  }
}

// Standard input carries a whole sound file, its container told from its
// bytes.
TEST_F(SoundFiles, StreamsAreDetectedByTheirBytes) {
  std::vector<int16_t> samples(4000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t((i * 37) % 2000 - 1000);
  const std::pair<std::string, int> formats[] = {
      {"s.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
      {"s.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
      {"s.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
      {"s.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
  };
  for (const auto& [name, format] : formats) {
    SCOPED_TRACE(name);
    std::string path = write(name, format, 1, 16000, samples);
    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    auto input = openSoundStream(fd, "standard input");
    ::close(fd);
    EXPECT_EQ(input->sampleRate(), 16000);
    std::vector<int16_t> got = readAll(*input);
    // Lossy formats keep the length (give or take a frame of padding).
    EXPECT_NEAR(double(got.size()), double(samples.size()), 1200.0);
    if (name == "s.wav" || name == "s.flac") {
      EXPECT_EQ(got, samples);
    }
  }
  std::string text = (dir_ / "t.txt").string();
  std::ofstream(text) << "not audio";
  for (const std::string& path : {text, (dir_ / "e").string()}) {
    std::ofstream(path, std::ios::app);
    int fd = ::open(path.c_str(), O_RDONLY);
    try {
      openSoundStream(fd, "standard input");
      ADD_FAILURE() << path;
    } catch (const InputError& error) {
      EXPECT_EQ(error.what(), std::string(path == text ? "standard input: not audio that this tool "
                                                         "can read (WAV, FLAC, Ogg or MP3)"
                                                       : "standard input: nothing came"));
    }
    ::close(fd);
  }
}

// Rates earshot does not take are resampled to 16 kHz: the length follows
// the ratio and a tone keeps its pitch.
TEST_F(SoundFiles, OutOfRangeRatesAreResampled) {
  for (int rate : {7000, 200000}) {
    SCOPED_TRACE(rate);
    std::vector<int16_t> tone(static_cast<size_t>(rate));  // one second of 500 Hz
    for (size_t i = 0; i < tone.size(); ++i) {
      tone[i] = int16_t(std::lround(8000 * std::sin(2 * M_PI * 500 * double(i) / rate)));
    }
    auto input = resampled(
        openSoundFile(write("tone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, rate, tone)), 16000);
    EXPECT_EQ(input->sampleRate(), 16000);
    std::vector<int16_t> out = readAll(*input);
    EXPECT_NEAR(double(out.size()), 16000.0, 2.0);
    size_t crossings = 0;
    for (size_t i = 1000; i + 1 < 15000; ++i) crossings += (out[i] < 0) != (out[i + 1] < 0);
    EXPECT_NEAR(double(crossings), 1000.0 * 14000 / 16000, 4.0);  // 2 per period
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
  auto input = openRawInput(fds[0], 48000, 1, -1, true);
  std::vector<int16_t> all;
  int16_t piece[2];
  while (size_t got = input->read(piece)) all.insert(all.end(), piece, piece + got);
  writer.join();
  EXPECT_EQ(all, samples);
  EXPECT_EQ(input->sampleRate(), 48000);
}

// Raw stereo frames are averaged, and a frame torn across reads waits.
TEST(RawInput, ChannelsAreAveraged) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const int16_t frames[] = {100, 300, -1, -2, 32767, 32767, -32768, 32767};
  ASSERT_EQ(::write(fds[1], frames, sizeof frames), ssize_t(sizeof frames));
  ::close(fds[1]);
  auto input = openRawInput(fds[0], 44100, 2, -1, true);
  std::vector<int16_t> all;
  int16_t piece[3];
  while (size_t got = input->read(piece)) all.insert(all.end(), piece, piece + got);
  EXPECT_EQ(all, (std::vector<int16_t>{200, -2, 32767, 0}));
}

// A microphone pipe that never ends must still let go when told to.
TEST(RawInput, WakeDescriptorEndsABlockedRead) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  int wake = ::eventfd(0, 0);
  auto input = openRawInput(fds[0], 16000, 1, wake, false);
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
