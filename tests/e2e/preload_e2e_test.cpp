// The live mode loads the model of the user's last live session while the
// host is still writing "init": what the host sees is the same whatever the
// state folder holds.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/host_audio.h"
#include "tests/support/scratch_folder.h"

namespace earshot::testkit {
namespace {
namespace fs = std::filesystem;

const std::string kStop = "{\"type\":\"stop\"}\n";

fs::path lastLocaleFile(const fs::path& stateHome) {
  return stateHome / "earshot" / "last-live-locale";
}

// What a state folder may hold where the last locale is kept.
enum class Kept { nothing, sameLocale, otherLocale, garbage, pipe };

void prepare(const fs::path& stateHome, Kept kept) {
  fs::path file = lastLocaleFile(stateHome);
  fs::create_directories(file.parent_path());
  switch (kept) {
    case Kept::nothing:
      break;
    case Kept::sameLocale:
      std::ofstream(file) << "en-US\n";
      break;
    case Kept::otherLocale:
      std::ofstream(file) << "xx-YY\n";
      break;
    case Kept::garbage:
      std::ofstream(file, std::ios::binary) << std::string("\xff\x00\n", 3);
      break;
    case Kept::pipe:
      ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
      break;
  }
}

TEST(Preload, TheHostSeesTheSameWhateverTheLastLocaleFileHolds) {
  const std::string speech = audioLines(recording("goforward.raw"), 16000);
  // The preloaded model, the same model with phrases (preload dropped), and
  // a locale no model has (the preload's failure is not the session's).
  for (const std::string init :
       {"{\"type\":\"init\",\"locale\":\"en-US\"}\n",
        "{\"type\":\"init\",\"locale\":\"en-US\",\"contextualStrings\":[\"ten meters\"]}\n",
        "{\"type\":\"init\",\"locale\":\"xx-YY\"}\n"}) {
    std::vector<std::string> expected;
    for (Kept kept :
         {Kept::nothing, Kept::sameLocale, Kept::otherLocale, Kept::garbage, Kept::pipe}) {
      ScratchFolder state("earshot-preload-e2e");
      prepare(state.path(), kept);
      ProcessRun run = runEarshot({}, init + speech + kStop, isolatedEnvironment(state.path()));
      if (kept == Kept::nothing) {
        expected = run.lines;
        ASSERT_FALSE(expected.empty());
      } else {
        EXPECT_EQ(run.lines, expected) << init << " kept " << int(kept);
      }
      EXPECT_EQ(run.err, "");
      bool ready = !run.lines.empty() && run.lines.front().find("\"ready\"") != std::string::npos;
      EXPECT_EQ(run.status, ready ? 0 : 1);
      if (ready) {
        // The session's locale is kept for the next process.
        EXPECT_EQ(readFile(lastLocaleFile(state.path())), "en-US\n");
      }
    }
  }
}

}  // namespace
}  // namespace earshot::testkit
