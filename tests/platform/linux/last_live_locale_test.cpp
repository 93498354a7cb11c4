#include "platform/linux/last_live_locale.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/scratch_folder.h"

namespace earshot::platform::linuxos {
namespace {
namespace fs = std::filesystem;

using testkit::namesIn;
using testkit::readFile;

TEST(LastLiveLocale, KeepsTheLocaleInAFolderItMakesAndLeavesNothingElse) {
  testkit::ScratchFolder scratch("earshot-last-locale");
  fs::path file = scratch.path() / "state/earshot/last-live-locale";
  LastLiveLocale kept(file);
  EXPECT_EQ(kept.recall(), std::nullopt);
  kept.remember(Locale::fromIdentifier("en_US"));
  EXPECT_EQ(readFile(file), "en-US\n");
  EXPECT_EQ(LastLiveLocale(file).recall(), "en-US");
  kept.remember(Locale::fromIdentifier("de-CH"));
  EXPECT_EQ(LastLiveLocale(file).recall(), "de-CH");
  EXPECT_EQ(namesIn(file.parent_path()), std::vector<std::string>{"last-live-locale"});
}

// The name may hold anything when a process reads it: only one line of a
// locale is taken, and nothing blocks the read or follows a link.
TEST(LastLiveLocale, IgnoresWhatIsNotOneLineOfALocaleAndEverythingButARegularFile) {
  testkit::ScratchFolder scratch("earshot-last-locale");
  fs::path file = scratch.path() / "last-live-locale";
  for (std::string text :
       {std::string(""), std::string("en-US"), std::string("en-US\n\n"),
        std::string("en-US\nde-CH\n"), std::string("en US\n"), std::string("\n"),
        std::string("en-\x01US\n"), std::string(200, 'a') + "\n", std::string("en-US\0\n", 7)}) {
    fs::remove(file);
    std::ofstream(file, std::ios::binary) << text;
    EXPECT_EQ(LastLiveLocale(file).recall(), std::nullopt) << text;
  }

  fs::path real = scratch.path() / "elsewhere";
  std::ofstream(real) << "en-US\n";
  fs::remove(file);
  fs::create_symlink(real, file);
  EXPECT_EQ(LastLiveLocale(file).recall(), std::nullopt) << "a link";
  // Remembering replaces the link, never writes through it.
  LastLiveLocale(file).remember(Locale::fromIdentifier("de-CH"));
  EXPECT_FALSE(fs::is_symlink(file));
  EXPECT_EQ(readFile(file), "de-CH\n");
  EXPECT_EQ(readFile(real), "en-US\n");

  fs::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  EXPECT_EQ(LastLiveLocale(file).recall(), std::nullopt) << "a pipe nobody writes";
  fs::remove(file);
  fs::create_directory(file);
  EXPECT_EQ(LastLiveLocale(file).recall(), std::nullopt) << "a folder";
  LastLiveLocale(file).remember(Locale::fromIdentifier("en-US"));  // quietly not kept
  EXPECT_TRUE(fs::is_directory(file));
}

// Processes that end at once each replace the file whole: a reader finds
// one of their locales, never a mix, and no temporary file stays behind.
TEST(LastLiveLocale, ConcurrentWritersLeaveOneWholeFile) {
  testkit::ScratchFolder scratch("earshot-last-locale");
  fs::path file = scratch.path() / "last-live-locale";
  const std::vector<std::string> locales = {"en-US", "de-CH", "fr-FR", "es-419"};
  std::atomic<bool> writing = true;
  std::vector<std::string> seen;
  std::thread reader([&] {
    while (writing) {
      if (auto found = LastLiveLocale(file).recall()) seen.push_back(*found);
    }
  });
  {
    std::vector<std::jthread> writers;
    for (const std::string& locale : locales) {
      writers.emplace_back([&, locale] {
        for (int i = 0; i < 20; ++i) {
          // A fresh object each time, as a fresh process would be.
          LastLiveLocale(file).remember(Locale::fromIdentifier(i % 2 ? locale : "it-IT"));
        }
      });
    }
  }
  writing = false;
  reader.join();
  for (const std::string& found : seen) {
    EXPECT_TRUE(found == "it-IT" ||
                std::find(locales.begin(), locales.end(), found) != locales.end())
        << found;
  }
  EXPECT_NE(LastLiveLocale(file).recall(), std::nullopt);
  EXPECT_EQ(namesIn(scratch.path()), std::vector<std::string>{"last-live-locale"});
}

}  // namespace
}  // namespace earshot::platform::linuxos
