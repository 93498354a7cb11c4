// Speaker adaptation kept between processes: what one process learned about
// the speaker is where the next one starts, and state that cannot be used or
// kept only means starting afresh, quietly.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/host_audio.h"
#include "tests/support/scratch_folder.h"

namespace earshot::testkit {
namespace {
namespace fs = std::filesystem;

const std::string kBook = "librivox/sense_and_sensibility_01_austen_64kb-";
// The clip heard warm and cold, and the speaker's other recordings.
const std::string kClip = kBook + "0930.wav";
const std::string kClipWords = "he might even have been made amiable himself";
const std::vector<std::string> kSameSpeaker = {kBook + "0870.wav", kBook + "0880.wav",
                                               kBook + "0890.wav", kBook + "0920.wav"};

const std::string kInit = "{\"type\":\"init\",\"locale\":\"en-US\",\"textForm\":\"spoken\"}\n";
const std::string kFlush = "{\"type\":\"flush\"}\n";
const std::string kStop = "{\"type\":\"stop\"}\n";

std::string session(const std::vector<std::string>& files, const std::string& init = kInit,
                    double rate = 16000) {
  std::string input = init;
  for (size_t i = 0; i < files.size(); ++i) {
    if (i > 0) input += kFlush;
    std::vector<int16_t> samples = recording(files[i]);
    if (rate == 8000) {
      // Every pair of samples averaged: audio of a narrow band, at 8 kHz.
      for (size_t at = 0; at + 1 < samples.size(); at += 2) {
        samples[at / 2] = static_cast<int16_t>((samples[at] + samples[at + 1]) / 2);
      }
      samples.resize(samples.size() / 2);
    }
    input += audioLines(samples, rate);
  }
  return input + kStop;
}

std::string initWith(const std::string& members) {
  return R"({"type":"init","locale":"en-US",)" + members + "}\n";
}

fs::path adaptationFolder(const fs::path& stateHome) {
  return stateHome / "earshot" / "adaptation";
}

std::vector<fs::path> filesIn(const fs::path& folder) {
  std::vector<fs::path> found;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(folder, error)) found.push_back(item.path());
  return found;
}

// A whole state file: its header, its own key, the seconds of speech it
// was learned from and the thirteen finite values of the engine's cepstral
// mean.
void expectWholeStateFile(const fs::path& file) {
  std::string name = file.filename().string();
  ASSERT_TRUE(name.starts_with("en-US-") && name.ends_with(".cmn") && name.size() == 26) << name;
  std::istringstream in(readFile(file));
  std::string header, key, seconds, values;
  ASSERT_TRUE(std::getline(in, header) && std::getline(in, key) && std::getline(in, seconds) &&
              std::getline(in, values));
  EXPECT_EQ(header, "earshot cepstral mean 2");
  EXPECT_EQ(key + ".cmn", name);
  EXPECT_GT(std::stod(seconds), 2.0);
  std::istringstream numbers(values);
  size_t count = 0;
  for (std::string word; numbers >> word; ++count) {
    float value = NAN;
    std::from_chars(word.data(), word.data() + word.size(), value);
    EXPECT_TRUE(std::isfinite(value)) << word;
  }
  EXPECT_EQ(count, 13u) << values;
  std::string rest;
  EXPECT_FALSE(std::getline(in, rest)) << "more after the values: " << rest;
}

class Adaptation : public testing::Test {
 protected:
  // Runs the program and expects a clean session: status 0, nothing on
  // stderr.
  ProcessRun run(const std::string& input, const fs::path& stateHome = {}) {
    ProcessRun result = runEarshot(
        {}, input,
        stateHome.empty() ? std::nullopt : std::optional(isolatedEnvironment(stateHome)));
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.lines.empty() ? "" : result.lines.back(), R"({"type":"stopped"})");
    return result;
  }
  // The state file a process leaves after hearing the speaker's other
  // recordings.
  fs::path learn(const fs::path& stateHome,
                 const std::vector<std::string>& recordings = kSameSpeaker) {
    run(session(recordings), stateHome);
    auto files = filesIn(adaptationFolder(stateHome));
    EXPECT_EQ(files.size(), 1u);
    return files.empty() ? fs::path() : files.front();
  }

  ScratchFolder scratch_{"earshot-e2e-state"};
  const fs::path root_ = scratch_.path();
};

TEST_F(Adaptation, TheNextProcessStartsFromWhatThisOneLearned) {
  fs::path state = root_ / "state";
  fs::path file = learn(state);
  ASSERT_FALSE(file.empty());
  expectWholeStateFile(file);

  std::string cold = finalText(transcripts(run(session({kClip})).lines));
  std::string warm = finalText(transcripts(run(session({kClip}), state).lines));
  EXPECT_NE(warm, cold);
  EXPECT_GT(wordsHeard(kClipWords, warm), wordsHeard(kClipWords, cold))
      << "cold: " << cold << "\nwarm: " << warm;
}

TEST_F(Adaptation, UnusableStateGivesTheColdTranscriptQuietly) {
  const fs::path learned = learn(root_ / "learned", {kBook + "0870.wav"});
  ASSERT_FALSE(learned.empty());
  const std::string valid = readFile(learned);
  const std::string name = learned.filename().string();
  const std::string key = name.substr(0, name.size() - 4);
  const std::string header = "earshot cepstral mean 1\n" + key + "\n";
  const std::string twelve = "41 -5.29 -0.12 5.09 2.48 -4.07 -1.37 -1.78 -5.08 -2.05 -6.45 -1.42";
  const ProcessRun cold = run(session({kClip}));

  struct Case {
    const char* name;
    std::string contents;
  };
  const std::vector<Case> cases = {
      {"corrupt", std::string("\0\xff\xfe garbage\n", 12)},
      {"truncated", valid.substr(0, valid.size() / 2)},
      {"twelve values", header + twelve + "\n"},
      {"fourteen values", header + twelve + " 1.17 0\n"},
      {"not a number", header + twelve + " nan\n"},
      {"infinite", header + twelve + " inf\n"},
      {"implausible", header + twelve + " 1e30\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path state = root_ / c.name;
    fs::create_directories(adaptationFolder(state));
    std::ofstream(adaptationFolder(state) / name, std::ios::binary) << c.contents;
    ProcessRun warm = run(session({kClip}), state);
    EXPECT_EQ(warm.lines, cold.lines);
  }
}

// A state file that is no regular file is not read at all: a FIFO used to
// hang the program before "ready", a link to /dev/stdin made it read the
// host's own audio lines, and a link to another user's file is not theirs
// to hand over.
TEST_F(Adaptation, StateThatIsNoRegularFileIsIgnored) {
  const fs::path learned = learn(root_ / "learned", {kBook + "0870.wav"});
  ASSERT_FALSE(learned.empty());
  const fs::path name = learned.filename();
  const ProcessRun cold = run(session({kClip}));

  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
  };
  const std::vector<Case> cases = {
      {"fifo", [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }},
      {"link to stdin", [](const fs::path& file) { fs::create_symlink("/dev/stdin", file); }},
      {"link to a learned file",
       [&learned](const fs::path& file) { fs::create_symlink(learned, file); }},
      {"link to zero", [](const fs::path& file) { fs::create_symlink("/dev/zero", file); }},
      {"folder", [](const fs::path& file) { fs::create_directory(file); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path state = root_ / c.name;
    fs::create_directories(adaptationFolder(state));
    c.make(adaptationFolder(state) / name);
    EXPECT_EQ(run(session({kClip}), state).lines, cold.lines);
  }
}

TEST_F(Adaptation, AStateFolderThatCannotBeWrittenOnlyMeansNoMemory) {
  const ProcessRun cold = run(session({kClip}));
  // Where the state folder should be, a file.
  std::ofstream(root_ / "taken") << "not a folder";
  EXPECT_EQ(run(session({kClip}), root_ / "taken").lines, cold.lines);
  EXPECT_EQ(readFile(root_ / "taken"), "not a folder");

  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
  fs::create_directories(root_ / "read-only");
  fs::permissions(root_ / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(run(session(kSameSpeaker), root_ / "read-only").lines.back(), R"({"type":"stopped"})");
  EXPECT_TRUE(filesIn(root_ / "read-only").empty());
}

// "off" gives the same lines in every run and neither reads nor writes
// state; "session" writes none either.
TEST_F(Adaptation, OffGivesTheSameLinesEveryRunAndNothingIsKept) {
  fs::path state = root_ / "state";
  fs::path file = learn(state);
  ASSERT_FALSE(file.empty());
  const std::string learned = readFile(file);
  const std::string off =
      session({kClip, kBook + "0880.wav"}, initWith(R"("speakerAdaptation":"off")"));
  const ProcessRun first = run(off, state);
  const ProcessRun second = run(off, state);
  EXPECT_EQ(first.lines, second.lines);
  EXPECT_GT(first.lines.size(), 4u);
  // The learned state was not read: a home without it gives the same.
  EXPECT_EQ(run(off, root_ / "empty").lines, first.lines);
  run(session(kSameSpeaker, initWith(R"("speakerAdaptation":"session")")), state);
  EXPECT_EQ(filesIn(adaptationFolder(state)), std::vector<fs::path>{file});
  EXPECT_EQ(readFile(file), learned);
  EXPECT_TRUE(filesIn(adaptationFolder(root_ / "empty")).empty());
}

// What a home learned from audio of a narrow band (8 kHz), or under another
// profile, leaves a default wideband session as it would be fresh.
TEST_F(Adaptation, OtherBandsAndProfilesLeaveASessionAsItWasFresh) {
  const std::string clip = session({kBook + "0880.wav"});
  const ProcessRun fresh = run(clip);
  fs::path state = root_ / "home";
  const std::vector<std::string> others = {kBook + "0870.wav", kBook + "0890.wav",
                                           kBook + "0920.wav", kClip};
  run(session(others, kInit, 8000), state);
  run(session(others, initWith(R"("speakerProfile":"kid")")), state);
  const std::vector<std::string> names = namesIn(adaptationFolder(state));
  ASSERT_EQ(names.size(), 2u);
  EXPECT_TRUE(names[0].ends_with("@default+narrowband.cmn")) << names[0];
  EXPECT_TRUE(names[1].ends_with("@kid.cmn")) << names[1];
  EXPECT_EQ(run(clip, state).lines, fresh.lines);
}

TEST_F(Adaptation, ProcessesEndingTogetherLeaveOneWholeFile) {
  fs::path state = root_ / "shared";
  for (int round = 0; round < 3; ++round) {
    std::thread other([&] { run(session({kBook + "0920.wav"}), state); });
    run(session({kBook + "0870.wav"}), state);
    other.join();
    auto files = filesIn(adaptationFolder(state));
    ASSERT_EQ(files.size(), 1u) << "round " << round;
    expectWholeStateFile(files.front());
  }
}

}  // namespace
}  // namespace earshot::testkit
