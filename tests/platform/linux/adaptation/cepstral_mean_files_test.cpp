#include "platform/linux/adaptation/cepstral_mean_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/platform/linux/stderr_capture.h"
#include "tests/support/files.h"
#include "tests/support/scratch_folder.h"

namespace earshot::platform::linuxos {
namespace {
namespace fs = std::filesystem;

const std::string kModel = "en-US-0123456789abcdef";
const std::vector<float> kMean = {41.25f, -5.29f, -0.125f, 5.09f,  2.48f,  -4.07f,     -1.37f,
                                  -1.78f, -5.08f, -2.05f,  -6.45f, -1.42f, 1.0f / 3.0f};

using testkit::namesIn;
using testkit::readFile;
using testkit::writeFile;

class CepstralMeanFilesTest : public testing::Test {
 protected:
  testkit::ScratchFolder scratch_{"earshot-cmn"};
  const fs::path root_ = scratch_.path();
};

TEST_F(CepstralMeanFilesTest, AMeanComesBackExactlyFromItsModelsFile) {
  CepstralMeanFiles files(root_ / "state/earshot/adaptation");
  EXPECT_EQ(files.recall(kModel), std::nullopt);
  files.remember(kModel, kMean);
  EXPECT_EQ(namesIn(root_ / "state/earshot/adaptation"), std::vector<std::string>{kModel + ".cmn"});
  EXPECT_EQ(files.recall(kModel), kMean);
  // Another model, or the same file read by a second instance.
  EXPECT_EQ(files.recall("en-US-fedcba9876543210"), std::nullopt);
  EXPECT_EQ(CepstralMeanFiles(root_ / "state/earshot/adaptation").recall(kModel), kMean);

  std::vector<float> later(kMean.size(), 1.5f);
  files.remember(kModel, later);
  EXPECT_EQ(files.recall(kModel), later);
  EXPECT_EQ(namesIn(root_ / "state/earshot/adaptation"), std::vector<std::string>{kModel + ".cmn"});

  // With the speech it was learned from, under a profile's and a band's name.
  const KeptMean kept{kMean, 42.125};
  files.keep(kModel + "@kid.1+narrowband", kept);
  EXPECT_EQ(files.recallKept(kModel + "@kid.1+narrowband"), kept);
  EXPECT_EQ(files.recallKept(kModel)->values, later);
}

// State written before the speech amount was kept still counts.
TEST_F(CepstralMeanFilesTest, AFileOfTheFirstFormatIsReadWithoutItsSpeechAmount) {
  CepstralMeanFiles files(root_);
  writeFile(files.fileOf(kModel), "earshot cepstral mean 1\n" + kModel + "\n41 -5.5 0.25\n");
  EXPECT_EQ(files.recallKept(kModel), (KeptMean{{41.0f, -5.5f, 0.25f}, 0.0}));
}

TEST_F(CepstralMeanFilesTest, UnusableFilesAreIgnoredQuietly) {
  CepstralMeanFiles files(root_);
  files.remember(kModel, kMean);
  const std::string valid = readFile(files.fileOf(kModel));
  ASSERT_EQ(valid.substr(0, valid.find('\n')), "earshot cepstral mean 2");
  const std::string header = "earshot cepstral mean 1\n" + kModel + "\n";
  const std::string header2 = "earshot cepstral mean 2\n" + kModel + "\n";
  std::string manyValues = "1";
  for (int i = 0; i < 64; ++i) manyValues += " 1";
  struct Case {
    const char* name;
    std::string contents;
  };
  const std::vector<Case> cases = {
      {"empty", ""},
      {"garbage",
       "\x7f"
       "ELF\x02\x01\x01\n\n\n"},
      {"truncated in the values", valid.substr(0, valid.size() - 9)},
      {"truncated before the values", header},
      {"another format version", "earshot cepstral mean 3\n" + kModel + "\n5\n1 2 3\n"},
      {"the second format without its seconds", header2 + "1 2 3\n"},
      {"negative seconds", header2 + "-1\n1 2 3\n"},
      {"seconds that are not a number", header2 + "nan\n1 2 3\n"},
      {"seconds with more after them", header2 + "5 s\n1 2 3\n"},
      {"implausibly many seconds", header2 + "1e12\n1 2 3\n"},
      {"another model's key", "earshot cepstral mean 1\nen-US-fedcba9876543210\n1 2 3\n"},
      {"not a number", header + "41 -5 x 3\n"},
      {"a comma", header + "41,-5\n"},
      {"two spaces", header + "41  -5\n"},
      {"not a number value", header + "41 nan 3\n"},
      {"an infinite value", header + "41 -inf 3\n"},
      {"an overflowing value", header + "41 1e39 3\n"},
      {"an implausible value", header + "41 -5000 3\n"},
      {"a line too many", valid + "1 2 3\n"},
      {"too many values", header + manyValues + "\n"},
      {"too large", header + std::string(8000, '1') + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(files.fileOf(kModel), c.contents);
    testkit::StderrCapture stderrText;
    EXPECT_EQ(files.recall(kModel), std::nullopt);
    EXPECT_EQ(stderrText.text(), "");
  }
  // A folder where the file should be.
  fs::remove(files.fileOf(kModel));
  fs::create_directory(files.fileOf(kModel));
  EXPECT_EQ(files.recall(kModel), std::nullopt);
}

TEST_F(CepstralMeanFilesTest, NothingIsKeptWhereNothingCanBeWritten) {
  testkit::StderrCapture stderrText;
  // The state folder's place is taken by a file.
  writeFile(root_ / "state", "not a folder");
  CepstralMeanFiles blocked(root_ / "state/earshot/adaptation");
  blocked.remember(kModel, kMean);
  EXPECT_EQ(blocked.recall(kModel), std::nullopt);
  // Values that are not a mean are not written.
  CepstralMeanFiles files(root_ / "writable");
  files.remember(kModel, std::vector<float>{41.0f, std::nanf("")});
  files.remember(kModel, {});
  EXPECT_EQ(files.recall(kModel), std::nullopt);
  EXPECT_EQ(stderrText.text(), "");

  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
  fs::create_directories(root_ / "read-only");
  fs::permissions(root_ / "read-only", fs::perms::owner_read | fs::perms::owner_exec);
  CepstralMeanFiles readOnly(root_ / "read-only");
  readOnly.remember(kModel, kMean);
  EXPECT_EQ(readOnly.recall(kModel), std::nullopt);
  EXPECT_TRUE(namesIn(root_ / "read-only").empty());
  EXPECT_EQ(stderrText.text(), "");
}

// Processes saving the same model at once: every read sees one whole file
// of one of them, and no temporary file is left behind.
TEST_F(CepstralMeanFilesTest, ProcessesSavingAtOnceLeaveOneWholeFile) {
  const int writers = 4, rounds = 100;
  std::vector<pid_t> children;
  for (int w = 0; w < writers; ++w) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      CepstralMeanFiles files(root_);
      std::vector<float> mean(13, float(w + 1));
      for (int r = 0; r < rounds; ++r) files.remember(kModel, mean);
      ::_exit(0);
    }
    children.push_back(pid);
  }
  CepstralMeanFiles reader(root_);
  int seen = 0;
  for (bool running = true; running;) {
    running = false;
    for (pid_t pid : children) running |= ::waitpid(pid, nullptr, WNOHANG) == 0;
    if (auto mean = reader.recall(kModel)) {
      ++seen;
      ASSERT_EQ(mean->size(), 13u);
      EXPECT_TRUE(
          std::all_of(mean->begin(), mean->end(), [&](float v) { return v == mean->front(); }));
    }
  }
  for (pid_t pid : children) ::waitpid(pid, nullptr, 0);
  auto last = reader.recall(kModel);
  ASSERT_TRUE(last.has_value());
  EXPECT_GE(last->front(), 1.0f);
  EXPECT_LE(last->front(), float(writers));
  EXPECT_EQ(namesIn(root_), std::vector<std::string>{kModel + ".cmn"});
  EXPECT_GT(seen, 0);
}

TEST_F(CepstralMeanFilesTest, ForgettingALocaleRemovesOnlyItsFiles) {
  CepstralMeanFiles files(root_);
  files.remember("en-US-0123456789abcdef", kMean);
  files.remember("en-US-fedcba9876543210", kMean);
  files.remember("en-0123456789abcdef", kMean);
  files.remember("en-GB-0123456789abcdef", kMean);
  // Every profile and band of the locale goes, and of no other locale.
  files.remember("en-US-0123456789abcdef@kid", kMean);
  files.remember("en-US-0123456789abcdef@default+narrowband", kMean);
  files.remember("en-US-fedcba9876543210@a.cmn-b+narrowband", kMean);
  files.remember("en-GB-0123456789abcdef@kid", kMean);
  writeFile(root_ / ".en-US-0123456789abcdef.cmn.a1b2c3", "left by a crash");
  writeFile(root_ / ".en-US-0123456789abcdef@kid.cmn.a1b2c3", "left by a crash");
  writeFile(root_ / "notes.txt", "the user's");
  files.forget(Locale::fromIdentifier("en-US"));
  EXPECT_EQ(namesIn(root_),
            (std::vector<std::string>{"en-0123456789abcdef.cmn", "en-GB-0123456789abcdef.cmn",
                                      "en-GB-0123456789abcdef@kid.cmn", "notes.txt"}));
  // A folder that does not exist is nothing to forget.
  CepstralMeanFiles(root_ / "missing").forget(Locale::fromIdentifier("en-US"));
}

}  // namespace
}  // namespace earshot::platform::linuxos
