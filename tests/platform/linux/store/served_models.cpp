#include "tests/platform/linux/store/served_models.h"

#include <algorithm>
#include <random>
#include <sstream>

namespace earshot::testkit {
namespace fs = std::filesystem;

namespace {

std::vector<ArchiveItem> smallModel() {
  std::mt19937 noise(7);
  std::string lm(2 << 20, '\0');
  for (char& c : lm) c = static_cast<char>(noise());
  using Kind = ArchiveItem::Kind;
  return {{Kind::folder, "m", {}, {}, {}},
          {Kind::folder, "m/acoustic", {}, {}, {}},
          {Kind::file, "m/acoustic/mdef", "mdef", {}, {}},
          {Kind::file, "m/acoustic/feat.params", "-samprate 16000\n", {}, {}},
          {Kind::file, "m/m.lm.bin", lm, {}, {}},
          {Kind::file, "m/m.dict", "hello HH AH L OW\n", {}, {}}};
}

}  // namespace

const ServedModels& ServedModels::get() {
  static const ServedModels models = [] {
    ServedModels built;
    std::string pattern = (fs::temp_directory_path() / "earshot-served-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    built.folder = pattern;
    // Removed when the test program ends.
    static struct Cleanup {
      fs::path folder;
      ~Cleanup() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
      }
    } cleanup{built.folder};
    return built;
  }();
  return models;
}

// Each test runs in a process of its own, so each archive is built when a
// test first names it (the English one takes seconds).
void ServedModels::ensure(const std::string& file) const {
  if (digests.count(file) != 0) return;
  std::vector<ArchiveItem> items = smallModel();
  TestArchiveFormat format = TestArchiveFormat::tarGzip;
  if (file == englishFile) {
    items = repackagedEnglishModel("en-GB", "en-GB");
  } else if (file == traversalFile) {
    items.push_back({ArchiveItem::Kind::file, "../evil", "x", {}, {}});
    format = TestArchiveFormat::tar;
  } else if (file == partlessFile) {
    items.pop_back();
  } else if (file == zerosFile) {
    items[4].contents = std::string(1 << 20, '\0');
  } else if (file == bombFile) {
    items[4].contents = std::string(8 << 20, '\0');
  } else if (file == manifestLinkFile) {
    items.push_back({ArchiveItem::Kind::symlink, "manifest.json", {}, {}, "m/m.dict"});
  } else if (file != smallFile) {
    throw std::runtime_error("no served archive " + file);
  }
  writeArchive(folder / file, format, items);
  digests[file] = sha256Of(folder / file);
}

uint64_t ServedModels::size(const std::string& file) const {
  ensure(file);
  return fs::file_size(folder / file);
}

std::string ServedModels::sha256(const std::string& file) const {
  ensure(file);
  return digests.at(file);
}

CatalogLine ServedModels::line(const std::string& locale, const std::string& file,
                               const std::string& url) const {
  CatalogLine line{locale,   url,          size(file),   sha256(file),
                   "tar.gz", "m/acoustic", "m/m.lm.bin", "m/m.dict"};
  if (file == traversalFile) line.format = "tar";
  if (file == englishFile) {
    line.acousticModel = "en-GB/en-gb";
    line.languageModel = "en-GB/en-gb.lm.bin";
    line.dictionary = "en-GB/cmudict-en-gb.dict";
  }
  return line;
}

std::string ServedModels::recordingWordsArpa() {
  return "\\data\\\nngram 1=6\n\n\\1-grams:\n-0.78 </s>\n-99 <s>\n-0.78 go\n"
         "-0.78 forward\n-0.78 ten\n-0.78 meters\n\n\\end\\\n";
}

std::string ServedModels::recordingWordsDictionary() {
  std::istringstream debian(readFile(systemEnglishModel() / "cmudict-en-us.dict"));
  std::string kept;
  for (std::string line; std::getline(debian, line);) {
    std::string word = line.substr(0, line.find_first_of(" ("));
    if (word == "go" || word == "forward" || word == "ten" || word == "meters") kept += line + "\n";
  }
  return kept;
}

CatalogLine ServedModels::fileByFileLine(
    const std::string& locale, const std::function<std::string(const std::string&)>& urlOf) const {
  fs::path english = systemEnglishModel();
  // Catalog path and contents of each served file.
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<fs::path> acoustic;
  for (const auto& item : fs::directory_iterator(english / "en-us"))
    acoustic.push_back(item.path());
  std::sort(acoustic.begin(), acoustic.end());
  for (const auto& file : acoustic) {
    files.emplace_back("acoustic_model/" + file.filename().string(), readFile(file));
  }
  files.emplace_back("base_dictionary.txt.gz", gzipped(recordingWordsDictionary()));
  files.emplace_back("base_language_model.txt.gz", gzipped(recordingWordsArpa()));

  CatalogLine line{locale,
                   {},
                   0,
                   {},
                   {},
                   "acoustic_model",
                   "base_language_model.txt.gz",
                   "base_dictionary.txt.gz"};
  auto serve = [&](const std::string& name, const std::string& contents) {
    fs::path served = folder / name;
    if (digests.count(name) == 0) {
      writeFile(served, contents);
      digests[name] = sha256Of(served);
    }
    return DownloadLine{urlOf(name), contents.size(), digests[name]};
  };
  for (const auto& [path, contents] : files) {
    std::string name = "ff-" + fs::path(path).filename().string();
    CatalogFileLine file{path, {}, {}};
    if (path == "acoustic_model/means") {
      size_t third = (contents.size() + 2) / 3;
      for (size_t at = 0, part = 0; at < contents.size(); at += third, ++part) {
        file.parts.push_back(
            serve(name + ".part-0" + std::to_string(part), contents.substr(at, third)));
      }
    } else {
      file.whole = serve(name, contents);
    }
    line.files.push_back(file);
  }
  return line;
}

}  // namespace earshot::testkit
