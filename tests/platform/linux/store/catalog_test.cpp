#include "platform/linux/store/catalog.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/linux/support/text_encoding.h"
#include "tests/platform/linux/store/store_fixture.h"

namespace earshot::platform::linuxos::store {
namespace {

using namespace earshot::testkit;  // the store tests' fixtures

const std::string digest(64, 'a');

CatalogLine line(const std::string& locale, const std::string& url = "https://m.example/a.tar.gz") {
  return {locale, url, 1234, digest, "tar.gz", "m/acoustic", "m/m.lm.bin", "m/m.dict"};
}

TEST(Catalog, ParsesEveryField) {
  auto entries = Catalog::parse(catalogJson(
      {{"en_gb", "file:///srv/m.zip", 99, std::string(64, 'F'), "zip", "./m/ac/", "m//lm", "d"}}));
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 1u);
  const CatalogEntry& entry = entries->front();
  EXPECT_EQ(entry.locale.bcp47(), "en-GB");
  EXPECT_EQ(entry.url, "file:///srv/m.zip");
  EXPECT_EQ(entry.size, 99u);
  EXPECT_EQ(entry.sha256, std::string(64, 'f'));
  EXPECT_EQ(entry.format, ArchiveFormat::zip);
  EXPECT_EQ(entry.acousticModel, "m/ac");
  EXPECT_EQ(entry.languageModel, "m/lm");
  EXPECT_EQ(entry.dictionary, "d");
}

// A model whose words are not UTF-8 names their encoding; ICU's names and
// aliases are accepted. Without one the words are UTF-8.
TEST(Catalog, ReadsTheModelsTextEncoding) {
  CatalogLine latin1 = line("fr-FR");
  latin1.textEncoding = "ISO-8859-1";
  CatalogLine alias = line("de-DE");
  alias.textEncoding = "latin1";
  auto entries = Catalog::parse(catalogJson({latin1, alias, line("en-GB")}));
  ASSERT_TRUE(entries);
  ASSERT_EQ(entries->size(), 3u);
  EXPECT_EQ((*entries)[0].textEncoding, "ISO-8859-1");
  EXPECT_EQ((*entries)[1].textEncoding, "latin1");
  EXPECT_EQ((*entries)[2].textEncoding, "");
}

TEST(TextToUtf8, ConvertsTheModelsWordsWithIcu) {
  EXPECT_EQ(support::TextToUtf8("ISO-8859-1")("caf\xE9 na\xEFve"), "caf\xC3\xA9 na\xC3\xAFve");
  EXPECT_EQ(support::TextToUtf8("windows-1252")("\x80 \x93x\x94"),
            "\xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D");
  EXPECT_EQ(support::TextToUtf8("")("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_TRUE(support::isKnownTextEncoding("UTF-8"));
  EXPECT_FALSE(support::isKnownTextEncoding(""));
  EXPECT_FALSE(support::isKnownTextEncoding("no-such-code"));
}

TEST(Catalog, AnEmptyListIsValid) {
  auto entries = Catalog::parse(R"({"models": []})");
  ASSERT_TRUE(entries);
  EXPECT_TRUE(entries->empty());
}

// One wrong field spoils the whole file: a half-read catalog would install
// something its author did not mean.
TEST(Catalog, RejectsMalformedFiles) {
  auto with = [](auto change) {
    CatalogLine l = line("en-GB");
    change(l);
    return catalogJson({line("de-DE"), l});
  };
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"not json", "{\"models\": ["},
      {"no models", R"({"entries": []})"},
      {"models not a list", R"({"models": {}})"},
      {"entry not an object", R"({"models": [1]})"},
      {"size missing", R"({"models": [{"locale": "en-GB", "url": "https://x/y", "sha256": ")" +
                           digest +
                           R"(", "format": "tar", "acousticModel": "a", "languageModel": "b",
                              "dictionary": "c"}]})"},
      {"size zero", with([](CatalogLine& l) { l.size = 0; })},
      {"unknown locale", with([](CatalogLine& l) { l.locale = ""; })},
      {"ftp url", with([](CatalogLine& l) { l.url = "ftp://m.example/a.tar.gz"; })},
      {"no scheme", with([](CatalogLine& l) { l.url = "/srv/a.tar.gz"; })},
      {"short digest", with([](CatalogLine& l) { l.sha256 = std::string(63, 'a'); })},
      {"digest not hex", with([](CatalogLine& l) { l.sha256 = std::string(64, 'g'); })},
      {"unknown format", with([](CatalogLine& l) { l.format = "rar"; })},
      {"absolute acoustic path", with([](CatalogLine& l) { l.acousticModel = "/usr/share"; })},
      {"climbing language model", with([](CatalogLine& l) { l.languageModel = "../lm"; })},
      {"empty dictionary", with([](CatalogLine& l) { l.dictionary = ""; })},
      // Locales that would read as another locale.
      {"locale with a path", with([](CatalogLine& l) { l.locale = "en-GB/../../x"; })},
      {"locale with a line feed", with([](CatalogLine& l) { l.locale = "en\\nGB"; })},
      {"locale with a NUL", R"({"models": [{"locale": "en-GB\u0000x", "url": "https://x/y",
                              "size": 1, "sha256": ")" +
                                digest +
                                R"(", "format": "tar", "acousticModel": "a",
                              "languageModel": "b", "dictionary": "c"}]})"},
      {"locale with a codeset", with([](CatalogLine& l) { l.locale = "en_GB.UTF-8"; })},
      {"unknown text encoding", with([](CatalogLine& l) { l.textEncoding = "no-such-code"; })},
      {"text encoding not a string",
       R"({"models": [{"locale": "en-GB", "url": "https://x/y", "size": 1, "sha256": ")" + digest +
           R"(", "format": "tar", "acousticModel": "a", "languageModel": "b",
              "dictionary": "c", "textEncoding": 8859}]})"},
  };
  for (const auto& [name, json] : cases) {
    EXPECT_FALSE(Catalog::parse(json)) << name;
  }
}

// User files beat system files, the first of $XDG_DATA_DIRS beats the
// later ones, later file names beat earlier ones, and a broken file is
// skipped without spoiling the others.
TEST(Catalog, MergesTheFoldersByImportance) {
  TemporaryHome home;
  support::StoreLocations locations = home.locations();
  locations.dataDirs = {home.root() / "first", home.root() / "second"};
  auto catalogIn = [&](const char* dir) { return home.root() / dir / "earshot/catalog.d"; };
  writeFile(catalogIn("second") / "a.json",
            catalogJson({line("de-DE", "https://second/de"), line("fr-FR", "https://second/fr"),
                         line("it-IT", "https://second/it")}));
  writeFile(catalogIn("first") / "a.json", catalogJson({line("fr-FR", "https://first/fr")}));
  writeFile(catalogIn("first") / "b.json", catalogJson({line("it-IT", "https://first/it-b")}));
  writeFile(catalogIn("first") / "c.json", "{ broken");
  writeFile(catalogIn("first") / "d.txt", catalogJson({line("es-ES")}));
  writeFile(home.userCatalogDir() / "z.json", catalogJson({line("de_DE", "https://user/de")}));

  Catalog catalog = Catalog::load(locations);
  std::vector<std::string> seen;
  for (const auto& entry : catalog.entries())
    seen.push_back(entry.locale.bcp47() + " " + entry.url);
  EXPECT_EQ(seen, (std::vector<std::string>{"de-DE https://user/de", "fr-FR https://first/fr",
                                            "it-IT https://first/it-b"}));
}

// A file above the size or entry limit is skipped like a malformed one.
TEST(Catalog, SkipsFilesOverTheLimits) {
  std::vector<CatalogLine> many;
  for (size_t i = 0; i <= kMaximumCatalogEntries; ++i) {
    many.push_back(line("en-GB", "https://m.example/" + std::to_string(i)));
  }
  EXPECT_FALSE(Catalog::parse(catalogJson(many)));
  many.pop_back();
  EXPECT_TRUE(Catalog::parse(catalogJson(many)));

  TemporaryHome home;
  std::string small = catalogJson({line("de-DE")});
  std::string padded = small;
  padded.insert(1, kMaximumCatalogFileBytes - small.size(), ' ');
  writeFile(home.userCatalogDir() / "a.json", padded);
  ASSERT_EQ(Catalog::load(home.locations()).entries().size(), 1u);
  padded.insert(1, " ");
  writeFile(home.userCatalogDir() / "a.json", padded);
  EXPECT_TRUE(Catalog::load(home.locations()).entries().empty());
}

TEST(Catalog, AcceptsTagsInEitherForm) {
  for (const std::string tag : {"en-GB", "en_GB", "EN-gb", "zh-Hant-TW", "fr"}) {
    EXPECT_TRUE(Catalog::parse(catalogJson({line(tag)}))) << tag;
  }
}

DownloadLine download(const std::string& name, char digit = 'b', uint64_t size = 10) {
  return {"https://m.example/" + name, size, std::string(64, digit)};
}

// A model of three files: the acoustic model's definition in two parts,
// a gzipped language model and a dictionary.
CatalogLine fileByFile() {
  CatalogLine entry{"de-DE", {}, 0, {}, {}, "am", "lm.txt.gz", "dict.gz"};
  entry.files = {CatalogFileLine{"am/mdef", {}, {download("mdef.0", 'c'), download("mdef.1", 'd')}},
                 CatalogFileLine{"lm.txt.gz", download("lm", 'e', 30)},
                 CatalogFileLine{"dict.gz", download("dict", 'f', 5)}};
  return entry;
}

TEST(Catalog, ReadsAModelOfSeveralFiles) {
  auto entries = Catalog::parse(catalogJson({fileByFile()}));
  ASSERT_TRUE(entries);
  const CatalogEntry& entry = entries->front();
  ASSERT_TRUE(entry.fileByFile());
  ASSERT_EQ(entry.files.size(), 3u);
  EXPECT_EQ(entry.files[0].path, "am/mdef");
  EXPECT_EQ(entry.files[0].parts.size(), 2u);
  EXPECT_EQ(entry.files[0].size, 20u);
  EXPECT_EQ(entry.files[0].sha256, "");  // only the parts have one
  EXPECT_EQ(entry.files[1].sha256, std::string(64, 'e'));
  EXPECT_EQ(entry.downloadSize(), 55u);
  EXPECT_EQ(entry.downloads().size(), 4u);
  EXPECT_EQ(preparedPath(entry.languageModel), "lm.txt");
  EXPECT_EQ(entry.identity().size(), 64u);

  // The same content listed twice is downloaded once.
  CatalogLine shared = fileByFile();
  shared.files[2].whole = download("lm-again", 'e', 30);
  auto twice = Catalog::parse(catalogJson({shared}));
  ASSERT_TRUE(twice);
  EXPECT_EQ(twice->front().downloads().size(), 3u);
  EXPECT_NE(twice->front().identity(), entry.identity());

  // A joined file's own size and checksum are checked when given.
  CatalogLine checked = fileByFile();
  checked.files[0].whole = {"", 20, std::string(64, 'A')};
  auto withSum = Catalog::parse(catalogJson({checked}));
  ASSERT_TRUE(withSum);
  EXPECT_EQ(withSum->front().files[0].sha256, std::string(64, 'a'));
}

TEST(Catalog, RejectsMalformedModelsOfSeveralFiles) {
  auto with = [](auto change) {
    CatalogLine l = fileByFile();
    change(l);
    return catalogJson({line("fr-FR"), l});
  };
  ASSERT_TRUE(Catalog::parse(with([](CatalogLine&) {})));
  auto withArchiveMember = [&](const std::string& member) {
    std::string json = with([](CatalogLine&) {});
    return json.insert(json.find("\"files\""), member + ", ");
  };
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"no files", R"({"models": [{"locale": "de-DE", "files": [], "acousticModel": "am",
                      "languageModel": "lm", "dictionary": "d"}]})"},
      {"files and an archive url", withArchiveMember("\"url\": \"https://m.example/a\"")},
      {"files and an archive format", withArchiveMember("\"format\": \"tar\"")},
      {"a file without a checksum", with([](CatalogLine& l) { l.files[1].whole.sha256.clear(); })},
      {"a file of size zero", with([](CatalogLine& l) { l.files[1].whole.size = 0; })},
      {"a file with an ftp url",
       with([](CatalogLine& l) { l.files[1].whole.url = "ftp://m.example/lm"; })},
      {"a file with both a url and parts",
       with([](CatalogLine& l) { l.files[0].whole.url = "https://m.example/mdef"; })},
      {"a part without a checksum",
       with([](CatalogLine& l) { l.files[0].parts[1].sha256.clear(); })},
      {"parts whose sizes do not add up", with([](CatalogLine& l) { l.files[0].whole.size = 21; })},
      {"a climbing path", with([](CatalogLine& l) { l.files[2].path = "../dict.gz"; })},
      {"an absolute path", with([](CatalogLine& l) { l.files[2].path = "/dict.gz"; })},
      {"two files of one prepared name", with([](CatalogLine& l) {
         l.files.push_back({"dict", download("dict2", 'a')});
       })},
      {"a file where a folder is needed", with([](CatalogLine& l) {
         l.files.push_back({"am", download("am", 'a')});
       })},
      {"the store's manifest", with([](CatalogLine& l) {
         l.files.push_back({"manifest.json.gz", download("m", 'a')});
       })},
      {"a language model not among the files",
       with([](CatalogLine& l) { l.languageModel = "lm.txt"; })},
      {"a dictionary not among the files", with([](CatalogLine& l) { l.dictionary = "d"; })},
      {"an acoustic model folder without files",
       with([](CatalogLine& l) { l.acousticModel = "other"; })},
      {"more bytes than a model may have",
       with([](CatalogLine& l) { l.files[1].whole.size = kMaximumEntryBytes; })},
  };
  for (const auto& [name, json] : cases) {
    EXPECT_FALSE(Catalog::parse(json)) << name;
  }
}

// The catalog the program ships: every entry valid, every locale written
// as the store names it, each download with its published size and
// checksum, and the licence and source of each model (which the store
// itself does not read).
TEST(Catalog, TheDefaultCatalogIsValid) {
  std::string text = earshot::testkit::readFile(EARSHOT_DEFAULT_CATALOG);
  auto entries = Catalog::parse(text);
  ASSERT_TRUE(entries);
  size_t listed = 0;
  for (size_t at = text.find("\"locale\""); at != std::string::npos;
       at = text.find("\"locale\"", at + 1)) {
    ++listed;
  }
  EXPECT_EQ(entries->size(), listed);
  EXPECT_GE(entries->size(), 10u);
  for (const auto& entry : *entries) {
    SCOPED_TRACE(entry.locale.bcp47());
    EXPECT_NE(text.find("\"locale\": \"" + entry.locale.bcp47() + "\""), std::string::npos);
    EXPECT_EQ(Locale::fromIdentifier(entry.locale.bcp47()), entry.locale);
    EXPECT_TRUE(entry.fileByFile());
    for (const auto& download : entry.downloads()) {
      EXPECT_TRUE(download.url.starts_with("https://github.com/synesthesiam/")) << download.url;
      // Pinned to a commit, never to a branch that moves.
      EXPECT_EQ(download.url.find("/master/"), std::string::npos) << download.url;
    }
  }
  EXPECT_EQ(text.find("\"ca-ES\""), std::string::npos);
  EXPECT_EQ(text.find("\"en-US\""), std::string::npos);  // from the Debian package
  size_t licences = 0, sources = 0;
  for (size_t at = text.find("\"license\""); at != std::string::npos;
       at = text.find("\"license\"", at + 1)) {
    ++licences;
  }
  for (size_t at = text.find("\"source\""); at != std::string::npos;
       at = text.find("\"source\"", at + 1)) {
    ++sources;
  }
  EXPECT_EQ(licences, listed);
  EXPECT_EQ(sources, listed);
}

TEST(Catalog, MissingFoldersGiveAnEmptyCatalog) {
  TemporaryHome home;
  EXPECT_TRUE(Catalog::load(home.locations()).entries().empty());
}

}  // namespace
}  // namespace earshot::platform::linuxos::store
