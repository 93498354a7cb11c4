#include "platform/linux/store/catalog.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/linux/support/text_encoding.h"
#include "tests/platform/linux/store/store_fixture.h"

namespace earshot::platform::linuxos::store {
namespace {

using earshot::testkit::catalogJson;
using earshot::testkit::CatalogLine;
using earshot::testkit::TemporaryHome;
using earshot::testkit::writeFile;

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

TEST(Catalog, MissingFoldersGiveAnEmptyCatalog) {
  TemporaryHome home;
  EXPECT_TRUE(Catalog::load(home.locations()).entries().empty());
}

}  // namespace
}  // namespace earshot::platform::linuxos::store
