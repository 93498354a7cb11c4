#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "tests/platform/linux/store/store_fixture.h"

namespace earshot::testkit {

// The archives the loopback server serves, in a temporary folder of the test
// program; each is built when first named (size(), sha256(), line()).
struct ServedModels {
  std::filesystem::path folder;
  // The Debian en-US model repackaged as en-GB (tar.gz).
  std::string englishFile = "en-GB.tar.gz";
  // A small made-up model: parts m/acoustic, m/m.lm.bin (2 MB of noise),
  // m/m.dict.
  std::string smallFile = "small.tar.gz";
  // The small model plus an entry "../evil".
  std::string traversalFile = "traversal.tar";
  // The small model without its dictionary.
  std::string partlessFile = "partless.tar.gz";
  // The small model's parts with a 1 MiB language model of zeros: a small
  // download that unpacks big, within the expansion bound.
  std::string zerosFile = "zeros.tar.gz";
  // The same with 8 MiB of zeros: beyond the bound.
  std::string bombFile = "bomb.tar.gz";
  // The small model plus a "manifest.json" that links to its dictionary.
  std::string manifestLinkFile = "manifest-link.tar.gz";

  // The Debian en-US model published file by file, as served files named
  // "ff-*": the acoustic model's files below "acoustic_model/" with "means"
  // in three parts, and a gzipped ARPA language model of the recording's
  // words ("base_language_model.txt.gz") with their lines of the Debian
  // dictionary, gzipped ("base_dictionary.txt.gz"; the engine takes over a
  // minute to load a dictionary of many words its language model lacks).
  // `urlOf` gives a served file's URL.
  CatalogLine fileByFileLine(const std::string& locale,
                             const std::function<std::string(const std::string&)>& urlOf) const;
  // That language model's text, and that dictionary's.
  static std::string recordingWordsArpa();
  static std::string recordingWordsDictionary();

  mutable std::map<std::string, std::string> digests;  // of the archives built so far

  static const ServedModels& get();
  void ensure(const std::string& file) const;
  uint64_t size(const std::string& file) const;
  std::string sha256(const std::string& file) const;
  // A catalog line for `locale` naming `file` at `url`, with its real size
  // and checksum and the parts of the small model (or of the English one).
  CatalogLine line(const std::string& locale, const std::string& file,
                   const std::string& url) const;
};

}  // namespace earshot::testkit
