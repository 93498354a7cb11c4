// The real program against the loopback server: install a downloadable
// locale, list it, transcribe in it, release it.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "tests/store/served_models.h"
#include "tests/support/child_process.h"
#include "tests/support/host_audio.h"
#include "tests/support/host_lines.h"

namespace earshot::testing {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// "init" in `locale`, a recording in 0.1 s messages, "stop".
std::string liveInput(const std::string& locale) {
  return initLine(locale) + "\n" + audioLines(recording("goforward.raw"), 16000) + stopLine() +
         "\n";
}

// The channel writes "/" as "\/".
std::string escapedSlashes(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '/' ? std::string("\\/") : std::string(1, c);
  return out;
}

std::vector<std::string> withoutPartials(const std::vector<std::string>& all) {
  std::vector<std::string> kept;
  for (const auto& line : all) {
    if (line.find("\"isFinal\":false") == std::string::npos) kept.push_back(line);
  }
  return kept;
}

class StoreEndToEnd : public ::testing::Test {
 protected:
  // Throttled so that the 28 MB download takes a few progress samples.
  StoreEndToEnd()
      : served_(ServedModels::get()), server_(served_.folder, home_.root() / "log", 12 << 20) {
    writeFile(home_.userCatalogDir() / "mirror.json",
              catalogJson({served_.line("en-GB", served_.englishFile,
                                        server_.url("slow", served_.englishFile))}));
  }
  ProcessRun earshot(const std::vector<std::string>& arguments, const std::string& input = {}) {
    ProcessRun result = runEarshot(arguments, input, home_.environment());
    EXPECT_EQ(result.err, "");
    return result;
  }

  TemporaryHome home_;
  const ServedModels& served_;
  LoopbackServer server_;
};

TEST_F(StoreEndToEnd, InstallListTranscribeRelease) {
  const std::string nothingInstalled =
      R"({"type":"locales","available":true,"supported":["en-US","en-GB"],)"
      R"("installed":["en-US"],"reserved":[],"maxReserved":5})";
  EXPECT_EQ(lines(earshot({"--locales"}).out), std::vector<std::string>{nothingInstalled});

  ProcessRun install = earshot({"--install", "en_GB"});
  EXPECT_EQ(install.status, 0);
  auto progress = lines(install.out);
  ASSERT_GE(progress.size(), 4u) << install.out;
  // Poller lines rise; the closing 1.0 comes before "install-done"; a late
  // poller line may still follow it.
  const std::string prefix = R"({"type":"install-progress","locale":"en-GB","fraction":)";
  const std::string done = R"({"type":"install-done","locale":"en-GB"})";
  auto doneAt = std::find(progress.begin(), progress.end(), done);
  ASSERT_NE(doneAt, progress.end()) << install.out;
  EXPECT_EQ(*(doneAt - 1), prefix + "1}");
  double last = -1;
  int between = 0;
  for (auto it = progress.begin(); it != doneAt; ++it) {
    ASSERT_EQ(it->rfind(prefix, 0), 0u) << *it;
    double fraction = std::stod(it->substr(prefix.size()));
    EXPECT_GE(fraction, last);
    last = fraction;
    between += fraction > 0 && fraction < 1;
  }
  EXPECT_GE(between, 2) << install.out;

  EXPECT_EQ(lines(earshot({"--locales"}).out),
            std::vector<std::string>{
                R"({"type":"locales","available":true,"supported":["en-GB","en-US"],)"
                R"("installed":["en-GB","en-US"],"reserved":["en-GB"],"maxReserved":5})"});

  const std::vector<std::string> transcript = {
      R"({"type":"ready","locale":"en-GB","sampleRate":16000})",
      R"({"type":"transcript","text":"go forward ten meters","isFinal":true})",
      R"({"type":"stopped"})"};
  ProcessRun live = earshot({}, liveInput("en-GB"));
  EXPECT_EQ(live.status, 0);
  EXPECT_EQ(withoutPartials(lines(live.out)), transcript);

  // Releasing a locale also forgets what was learned about the speaker with
  // its model, and nothing of other locales.
  writeFile(home_.adaptationDir() / "en-GB-0123456789abcdef.cmn", "en-GB's");
  writeFile(home_.adaptationDir() / "en-US-0123456789abcdef.cmn", "en-US's");
  EXPECT_EQ(
      lines(earshot({"--release", "en-GB"}).out),
      std::vector<std::string>{R"({"type":"release-done","locale":"en-GB","released":true})"});
  std::vector<std::string> kept;
  for (const auto& item : std::filesystem::directory_iterator(home_.adaptationDir())) {
    kept.push_back(item.path().filename().string());
  }
  EXPECT_EQ(kept, std::vector<std::string>{"en-US-0123456789abcdef.cmn"});
  EXPECT_EQ(lines(earshot({"--locales"}).out), std::vector<std::string>{nothingInstalled});
  EXPECT_EQ(
      lines(earshot({"--release", "en-GB"}).out),
      std::vector<std::string>{R"({"type":"release-done","locale":"en-GB","released":false})"});

  // Live transcription in a locale that is not installed downloads it first,
  // after one "status" line.
  live = earshot({}, liveInput("en-GB"));
  EXPECT_EQ(live.status, 0);
  auto withStatus = transcript;
  withStatus.insert(withStatus.begin(),
                    "{\"type\":\"status\",\"phase\":\"asset-download\",\"message\":\"Downloading "
                    "Apple speech model for en-GB\u2026\"}");
  EXPECT_EQ(withoutPartials(lines(live.out)), withStatus);
}

// A release takes the model from later processes only: a session that
// runs in the locale goes on with the model it loaded, past a flush.
TEST_F(StoreEndToEnd, AReleaseLeavesARunningSessionItsModel) {
  ASSERT_EQ(earshot({"--install", "en-GB"}).status, 0);
  ChildProcess live(
      {.argv = earshotCommand(), .environment = home_.environment(), .readOutput = false});
  ASSERT_TRUE(live.write(initLine("en-GB") + "\n"));
  EXPECT_EQ(live.readLine(), readyLine("en-GB"));
  const std::string audio = audioLines(recording("goforward.raw"), 16000);
  ASSERT_TRUE(live.write(audio));
  EXPECT_EQ(
      lines(earshot({"--release", "en-GB"}).out),
      std::vector<std::string>{R"({"type":"release-done","locale":"en-GB","released":true})"});
  ASSERT_TRUE(live.write(flushLine() + "\n" + audio + stopLine() + "\n"));
  live.readOutput();
  ProcessRun run = live.wait();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const std::string final = transcriptLine("go forward ten meters", true);
  EXPECT_EQ(withoutPartials(lines(run.out)),
            (std::vector<std::string>{final, final, stoppedLine()}));
  // Later processes find it gone.
  EXPECT_EQ(
      lines(earshot({"--locales"}).out).at(0).find(R"("installed":["en-US"])") != std::string::npos,
      true);
}

TEST_F(StoreEndToEnd, AFailedDownloadIsOneErrorLine) {
  writeFile(home_.userCatalogDir() / "mirror.json",
            catalogJson({served_.line("en-GB", served_.englishFile,
                                      server_.url("missing", served_.englishFile))}));
  ProcessRun install = earshot({"--install", "en-GB"});
  EXPECT_EQ(install.status, 1);
  // The cancelled progress poller may still get a line out before the
  // process exits, even after the error; nothing else is written.
  const std::string error =
      R"({"type":"error","message":"Could not install the speech model for en-GB: )"
      R"(the server answered HTTP 404 for )" +
      escapedSlashes(server_.url("missing", served_.englishFile)) + "\"}";
  int errors = 0;
  for (const auto& line : lines(install.out)) {
    if (line == error) {
      ++errors;
    } else {
      EXPECT_EQ(line.rfind(R"({"type":"install-progress","locale":"en-GB","fraction":)", 0), 0u)
          << line;
    }
  }
  EXPECT_EQ(errors, 1) << install.out;
}

}  // namespace
}  // namespace earshot::testing
