#include "tests/store/served_models.h"

#include <random>

namespace earshot::testing {
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
    writeArchive(built.folder / built.englishFile, TestArchiveFormat::tarGzip,
                 repackagedEnglishModel("en-GB", "en-GB"));
    writeArchive(built.folder / built.smallFile, TestArchiveFormat::tarGzip, smallModel());
    auto traversal = smallModel();
    traversal.push_back({ArchiveItem::Kind::file, "../evil", "x", {}, {}});
    writeArchive(built.folder / built.traversalFile, TestArchiveFormat::tar, traversal);
    auto partless = smallModel();
    partless.pop_back();
    writeArchive(built.folder / built.partlessFile, TestArchiveFormat::tarGzip, partless);
    auto zeros = smallModel();
    zeros[4].contents = std::string(4 << 20, '\0');
    writeArchive(built.folder / built.zerosFile, TestArchiveFormat::tarGzip, zeros);
    for (const auto& file : {built.englishFile, built.smallFile, built.traversalFile,
                             built.partlessFile, built.zerosFile}) {
      built.digests[file] = sha256Of(built.folder / file);
    }
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

uint64_t ServedModels::size(const std::string& file) const {
  return fs::file_size(folder / file);
}

std::string ServedModels::sha256(const std::string& file) const {
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

}  // namespace earshot::testing
