// The real program against the loopback server: install a downloadable
// locale, list it, transcribe in it, release it.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "platform/linux/store/manifest.h"
#include "tests/platform/linux/store/served_models.h"
#include "tests/support/child_process.h"
#include "tests/support/host_audio.h"
#include "tests/support/host_lines.h"

namespace earshot::testkit {
namespace {
namespace fs = std::filesystem;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// "init" in `locale`, a recording in 0.1 s messages, "stop".
std::string liveInput(const std::string& locale) {
  return initLine(locale, kSpokenForm) + "\n" + audioLines(recording("goforward.raw"), 16000) +
         stopLine() + "\n";
}

// The channel writes "/" as "\/".
std::string escapedSlashes(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '/' ? std::string("\\/") : std::string(1, c);
  return out;
}

// A catalog entry for an archive on disk, with its real size and checksum.
CatalogLine fileEntry(const std::string& locale, const fs::path& archive, const std::string& format,
                      const std::string& top, const std::string& lowerTag) {
  return {locale,
          "file://" + archive.string(),
          fs::file_size(archive),
          sha256Of(archive),
          format,
          top + "/" + lowerTag,
          top + "/" + lowerTag + ".lm.bin",
          top + "/cmudict-" + lowerTag + ".dict"};
}

// The lines of an install's output that are not progress.
std::vector<std::string> withoutProgress(const std::string& out) {
  std::vector<std::string> kept;
  for (const auto& line : lines(out)) {
    if (line.rfind(R"({"type":"install-progress",)", 0) != 0) kept.push_back(line);
  }
  return kept;
}

std::vector<std::string> withoutPartials(const std::vector<std::string>& all) {
  std::vector<std::string> kept;
  for (const auto& line : all) {
    if (line.find("\"isFinal\":false") == std::string::npos) kept.push_back(line);
  }
  return kept;
}

// An install's lines: progress that rises through at least two fractions
// between 0 and 1, the closing 1 just before "install-done" (a late poller
// line may still follow it).
void expectRisingProgress(const std::string& out, const std::string& locale) {
  auto progress = lines(out);
  ASSERT_GE(progress.size(), 4u) << out;
  const std::string prefix =
      R"({"type":"install-progress","locale":")" + locale + R"(","fraction":)";
  const std::string done = R"({"type":"install-done","locale":")" + locale + R"("})";
  auto doneAt = std::find(progress.begin(), progress.end(), done);
  ASSERT_NE(doneAt, progress.end()) << out;
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
  EXPECT_GE(between, 2) << out;
}

class StoreEndToEnd : public testing::Test {
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

  // A live session in `locale` on goforward.raw hears `text` as its one final.
  void expectHeard(const std::string& locale, const std::string& text) {
    ProcessRun live = earshot({}, liveInput(locale));
    EXPECT_EQ(live.status, 0);
    EXPECT_EQ(withoutPartials(lines(live.out)),
              (std::vector<std::string>{
                  R"({"type":"ready","locale":")" + locale + R"(","sampleRate":16000})",
                  transcriptLine(text, true), stoppedLine()}));
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
  expectRisingProgress(install.out, "en-GB");

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
  // its model, under every profile and band, and nothing of other locales.
  writeFile(home_.adaptationDir() / "en-GB-0123456789abcdef.cmn", "en-GB's");
  writeFile(home_.adaptationDir() / "en-GB-0123456789abcdef@kid.cmn", "en-GB's kid's");
  writeFile(home_.adaptationDir() / "en-GB-0123456789abcdef@default+narrowband.cmn", "phone");
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
  ASSERT_TRUE(live.write(initLine("en-GB", kSpokenForm) + "\n"));
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

// Error texts carry bytes from archive member names and file paths; a text
// that is not UTF-8 is repaired (U+FFFD), never the reason to drop the line.
TEST_F(StoreEndToEnd, AnErrorTextThatIsNotUtf8IsStillOneErrorLine) {
  fs::path archive = home_.root() / "odd-name.tar";
  writeArchive(archive, TestArchiveFormat::tar,
               {{ArchiveItem::Kind::file, "../\xff-evil", "x", {}, {}}});
  writeFile(home_.userCatalogDir() / "mirror.json",
            catalogJson({fileEntry("en-GB", archive, "tar", "m", "en-gb")}));
  ProcessRun install = earshot({"--install", "en-GB"});
  EXPECT_EQ(install.status, 1);
  EXPECT_EQ(withoutProgress(install.out),
            std::vector<std::string>{
                errorLine("Could not install the speech model for en-GB: the archive entry "
                          "\"../\xEF\xBF\xBD-evil\" leaves the model folder")});

  std::vector<std::string> environment = home_.environment();
  for (auto& variable : environment) {
    if (variable.starts_with("XDG_DATA_HOME=")) variable = "XDG_DATA_HOME=/dev/null/\xff";
  }
  install = runEarshot({"--install", "en-GB"}, {}, environment);
  EXPECT_EQ(install.status, 1);
  EXPECT_EQ(install.err, "");
  EXPECT_EQ(withoutProgress(install.out),
            std::vector<std::string>{
                errorLine("Could not install the speech model for en-GB: cannot create "
                          "/dev/null/\xEF\xBF\xBD/earshot: Not a directory")});
}

// A model whose words are ISO-8859-1 (its dictionary and language model),
// declared so in its catalog entry: the host gets the words in UTF-8.
TEST_F(StoreEndToEnd, WordsOfAModelInAnotherEncodingReachTheHostInUtf8) {
  std::vector<ArchiveItem> items = repackagedEnglishModel("fr-FR", "fr-FR");
  items.resize(items.size() - 2);            // the English language model and dictionary
  const std::string forward = "f\xF6rward";  // "förward" in ISO-8859-1
  items.push_back({ArchiveItem::Kind::file,
                   "fr-FR/fr-fr.lm",
                   "\\data\\\nngram 1=6\n\n\\1-grams:\n-0.78 </s>\n-99 <s>\n-0.78 go\n-0.78 " +
                       forward + "\n-0.78 ten\n-0.78 meters\n\n\\end\\\n",
                   {},
                   {}});
  items.push_back({ArchiveItem::Kind::file,
                   "fr-FR/fr-fr.dict",
                   "go G OW\n" + forward + " F AO R W ER D\nten T EH N\nmeters M IY T ER Z\n",
                   {},
                   {}});
  fs::path archive = home_.root() / "latin1.tar.gz";
  writeArchive(archive, TestArchiveFormat::tarGzip, items);
  CatalogLine entry = fileEntry("fr-FR", archive, "tar.gz", "fr-FR", "fr-fr");
  entry.languageModel = "fr-FR/fr-fr.lm";
  entry.dictionary = "fr-FR/fr-fr.dict";
  entry.textEncoding = "ISO-8859-1";
  writeFile(home_.userCatalogDir() / "mirror.json", catalogJson({entry}));
  ProcessRun install = earshot({"--install", "fr-FR"});
  ASSERT_EQ(install.status, 0) << install.out;

  expectHeard("fr-FR", "go f\xC3\xB6rward ten meters");
}

// A model published file by file, with its dictionary and its ARPA
// language model gzipped and a file in parts: installed with rising
// progress, the language model converted to the engine's binary form,
// transcribing in its locale, released.
TEST_F(StoreEndToEnd, InstallsTranscribesAndReleasesAModelOfSeveralFiles) {
  // Slow enough for a few progress samples of its 9 MB.
  LoopbackServer slow(served_.folder, home_.root() / "slow-log", 3 << 20);
  writeFile(home_.userCatalogDir() / "files.json",
            catalogJson({served_.fileByFileLine(
                "en-IN", [&](const std::string& file) { return slow.url("slow", file); })}));
  ProcessRun install = earshot({"--install", "en-IN"});
  EXPECT_EQ(install.status, 0);
  expectRisingProgress(install.out, "en-IN");

  fs::path entry = home_.root() / "data/earshot/models/en-IN";
  auto manifest = platform::linuxos::store::Manifest::fromJson(
      readFile(entry / platform::linuxos::store::Manifest::kFileName));
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->languageModel, "base_language_model.lm.bin");
  EXPECT_EQ(manifest->dictionary, "base_dictionary.txt");
  EXPECT_TRUE(readFile(entry / manifest->languageModel).starts_with("Trie Language Model"));
  EXPECT_FALSE(fs::exists(entry / "base_language_model.txt"));
  EXPECT_EQ(readFile(entry / "acoustic_model/means"),
            readFile(systemEnglishModel() / "en-us/means"));

  expectHeard("en-IN", "go forward ten meters");

  EXPECT_EQ(
      lines(earshot({"--release", "en-IN"}).out),
      std::vector<std::string>{R"({"type":"release-done","locale":"en-IN","released":true})"});
  EXPECT_FALSE(fs::exists(entry));
}

// Words beyond ASCII in UTF-8, through the gzipped dictionary, the
// converted language model and the engine, reach the host unchanged.
TEST_F(StoreEndToEnd, WordsOfAnotherScriptReachTheHostInUtf8) {
  const std::string forward = "f\xC3\xB6rward", ten = "zehn",
                    meters = "\xD0\xBC\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2";
  std::map<std::string, std::string> replaced = {
      {"base_dictionary.txt.gz", gzipped("go G OW\n" + forward + " F AO R W ER D\n" + ten +
                                         " T EH N\n" + meters + " M IY T ER Z\n")},
      {"base_language_model.txt.gz",
       gzipped("\\data\\\nngram 1=6\n\n\\1-grams:\n-0.78 </s>\n-99 <s>\n-0.78 go\n-0.78 " +
               forward + "\n-0.78 " + ten + "\n-0.78 " + meters + "\n\n\\end\\\n")}};
  CatalogLine entry = served_.fileByFileLine(
      "de-DE", [&](const std::string& file) { return server_.url("ok", file); });
  for (auto& file : entry.files) {
    auto found = replaced.find(file.path);
    if (found == replaced.end()) continue;
    std::string name = "utf8-" + file.path;
    writeFile(served_.folder / name, found->second);
    file.whole = {server_.url("ok", name), found->second.size(), sha256Of(served_.folder / name)};
  }
  writeFile(home_.userCatalogDir() / "files.json", catalogJson({entry}));
  ProcessRun install = earshot({"--install", "de-DE"});
  ASSERT_EQ(install.status, 0) << install.out;
  expectHeard("de-DE", "go " + forward + " " + ten + " " + meters);
}

// An LDA matrix in the engine's file form ("s3" header, byte order mark,
// then 1 x rows x columns floats): the identity of `rows`.
std::string featureTransform(int32_t rows) {
  std::string file = "s3\nversion 0.1\nendhdr\n";
  auto add = [&](const auto& value) {
    file.append(reinterpret_cast<const char*>(&value), sizeof value);
  };
  add(uint32_t{0x11223344});
  for (int32_t dimension : {1, rows, rows}) add(dimension);
  add(rows * rows);
  for (int32_t i = 0; i < rows * rows; ++i) add(i % (rows + 1) == 0 ? 1.0f : 0.0f);
  return file;
}

// A `feature_transform` in the acoustic model folder is the engine's to
// read (as it reads `mdef`). The Debian model splits its features into
// three streams, which no LDA matrix fits, so a transform placed in it fails
// the install's trial load, with the engine's reason, and nothing is
// published.
TEST_F(StoreEndToEnd, TheEngineReadsTheAcousticModelsFeatureTransform) {
  const std::string name = "ff-feature_transform";
  writeFile(served_.folder / name, featureTransform(39));
  CatalogLine entry = served_.fileByFileLine(
      "en-IN", [&](const std::string& file) { return server_.url("ok", file); });
  entry.files.push_back({"acoustic_model/feature_transform",
                         {server_.url("ok", name), fs::file_size(served_.folder / name),
                          sha256Of(served_.folder / name)}});
  writeFile(home_.userCatalogDir() / "files.json", catalogJson({entry}));
  ProcessRun install = earshot({"--install", "en-IN"});
  EXPECT_EQ(install.status, 1);
  EXPECT_EQ(withoutProgress(install.out),
            std::vector<std::string>{errorLine(
                "Could not install the speech model for en-IN: the model does not load: Speech "
                "model for en-IN could not be loaded: ERROR: \"acmod.c\", line 120: Failed to "
                "read acoustic model")});
  EXPECT_FALSE(fs::exists(home_.root() / "data/earshot/models/en-IN"));
}

// The shipped catalog's locales are all offered.
TEST_F(StoreEndToEnd, TheDefaultCatalogsLocalesAreSupported) {
  writeFile(home_.systemCatalogDir() / "default.json", readFile(EARSHOT_DEFAULT_CATALOG));
  std::vector<std::string> out = lines(earshot({"--locales"}).out);
  ASSERT_EQ(out.size(), 1u);
  std::string supported = out[0].substr(out[0].find(R"("supported":[)"));
  supported = supported.substr(0, supported.find(']'));
  for (const std::string locale : {"de-DE", "el-GR", "es-ES", "fr-FR", "hi-IN", "it-IT", "nl-NL",
                                   "pt-BR", "ru-RU", "zh-CN", "en-US", "en-GB"}) {
    EXPECT_NE(supported.find("\"" + locale + "\""), std::string::npos) << locale << " " << out[0];
  }
  EXPECT_NE(out[0].find(R"("installed":["en-US"])"), std::string::npos) << out[0];
}

struct BrokenModelCase {
  std::string name;
  std::string file;      // in the acoustic model folder
  std::string contents;  // its new contents
  std::string reason;    // why the model does not load
  friend void PrintTo(const BrokenModelCase& c, std::ostream* out) { *out << c.name; }
};

// Models the engine cannot load: it used to exit (a model definition it
// cannot parse) or assert (a sample rate of 1e300) and take the process with
// it. Each is refused by --install, and, placed in the store by hand, fails
// a live session with one error line.
class BrokenModel : public StoreEndToEnd, public testing::WithParamInterface<BrokenModelCase> {
 protected:
  std::vector<ArchiveItem> brokenModel() const {
    std::vector<ArchiveItem> items = repackagedEnglishModel("m", "en-GB");
    for (auto& item : items) {
      if (item.name == "m/en-gb/" + GetParam().file) {
        item.source.clear();
        item.contents = GetParam().contents;
      }
    }
    return items;
  }
};

TEST_P(BrokenModel, FailsItsInstall) {
  fs::path archive = home_.root() / "broken.tar.gz";
  writeArchive(archive, TestArchiveFormat::tarGzip, brokenModel());
  writeFile(home_.userCatalogDir() / "mirror.json",
            catalogJson({fileEntry("en-GB", archive, "tar.gz", "m", "en-gb")}));
  ProcessRun install = earshot({"--install", "en-GB"});
  EXPECT_EQ(install.status, 1);
  EXPECT_EQ(install.signal, 0);
  EXPECT_EQ(withoutProgress(install.out),
            std::vector<std::string>{
                errorLine("Could not install the speech model for en-GB: the model does not load: "
                          "Speech model for en-GB could not be loaded: " +
                          GetParam().reason)});
  EXPECT_FALSE(fs::exists(home_.root() / "data/earshot/models/en-GB"));
}

TEST_P(BrokenModel, FailsALiveSessionWithOneErrorLine) {
  fs::path entry = home_.root() / "data/earshot/models/en-GB";
  for (const ArchiveItem& item : brokenModel()) {
    if (item.kind == ArchiveItem::Kind::folder) {
      fs::create_directories(entry / item.name);
    } else if (!item.source.empty()) {
      fs::copy_file(item.source, entry / item.name);
    } else {
      writeFile(entry / item.name, item.contents);
    }
  }
  platform::linuxos::store::Manifest manifest{
      "en-GB",   "file:///broken", std::string(64, 'a'),  "2026-01-01T00:00:00Z",
      "m/en-gb", "m/en-gb.lm.bin", "m/cmudict-en-gb.dict"};
  writeFile(entry / platform::linuxos::store::Manifest::kFileName, manifest.toJson());

  ProcessRun live = earshot({}, liveInput("en-GB"));
  EXPECT_EQ(live.status, 1);
  EXPECT_EQ(live.signal, 0);
  EXPECT_EQ(lines(live.out),
            std::vector<std::string>{
                errorLine("Speech model for en-GB could not be loaded: " + GetParam().reason)});
}

INSTANTIATE_TEST_SUITE_P(
    Hardening, BrokenModel,
    testing::Values(BrokenModelCase{"GarbageModelDefinition", "mdef", "garbage\n",
                                    "the acoustic model's mdef is not a model definition."},
                    BrokenModelCase{"TextModelDefinitionCutShort", "mdef",
                                    "0.3\nnot a model definition\n",
                                    "Error in header: not a model definition"},
                    BrokenModelCase{"SampleRateOf1e300", "feat.params", "-samprate 1e300\n",
                                    "the feature parameter -samprate 1e300 is out of range."},
                    BrokenModelCase{"WindowLongerThanTheTransform", "feat.params",
                                    "-samprate 16000\n-nfft 256\n",
                                    "the analysis window is longer than -nfft."}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace earshot::testkit
