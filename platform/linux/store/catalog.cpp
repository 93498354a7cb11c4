#include "platform/linux/store/catalog.h"

#include <simdjson.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <system_error>

#include "platform/linux/store/manifest.h"
#include "platform/linux/store/safe_path.h"
#include "platform/linux/support/regular_file.h"
#include "platform/linux/support/sha256.h"
#include "platform/linux/support/text_encoding.h"

namespace earshot::platform::linuxos::store {
namespace {

std::optional<std::string> stringMember(simdjson::dom::object object, const char* key) {
  std::string_view value;
  if (object[key].get_string().get(value) != simdjson::SUCCESS) return std::nullopt;
  return std::string(value);
}

bool hasAllowedScheme(std::string_view url) {
  size_t colon = url.find("://");
  if (colon == std::string_view::npos) return false;
  std::string scheme(url.substr(0, colon));
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return (scheme == "https" || scheme == "http" || scheme == "file") && url.size() > colon + 3 &&
         url.find_first_of(" \t\r\n") == std::string_view::npos;
}

std::optional<std::string> lowerHexDigest(std::string_view text) {
  if (text.size() != 64) return std::nullopt;
  std::string digest;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    digest += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return digest;
}

// Whether `identifier` is written as a language tag (BCP 47, or POSIX with
// "_"): subtags of 1 to 8 ASCII letters and digits, the first 2 to 8
// letters. Anything else ("en-GB/../x", "en\nGB", "en_GB.UTF-8") would be
// reduced to some other locale.
bool wellFormedTag(std::string_view identifier) {
  size_t index = 0;
  while (true) {
    size_t end = identifier.find_first_of("-_");
    std::string_view subtag = identifier.substr(0, end);
    if (subtag.empty() || subtag.size() > 8) return false;
    for (char c : subtag) {
      bool letter =
          std::isalpha(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80;
      bool digit = c >= '0' && c <= '9';
      if (!(letter || (digit && index > 0))) return false;
    }
    if (index == 0 && subtag.size() < 2) return false;
    if (end == std::string_view::npos) return true;
    identifier = identifier.substr(end + 1);
    ++index;
  }
}

// Whether the store's name for the locale reads back as the same locale.
bool roundTrips(std::string_view identifier, const Locale& locale) {
  return wellFormedTag(identifier) && Locale::fromIdentifier(locale.bcp47()) == locale;
}

bool hasMember(simdjson::dom::object object, const char* key) {
  simdjson::dom::element ignored;
  return object[key].get(ignored) == simdjson::SUCCESS;
}

std::optional<Download> parseDownload(simdjson::dom::object object) {
  auto url = stringMember(object, "url");
  auto sha256 = stringMember(object, "sha256");
  uint64_t size = 0;
  if (!url || !sha256 || object["size"].get_uint64().get(size) != simdjson::SUCCESS || size == 0) {
    return std::nullopt;
  }
  auto digest = lowerHexDigest(*sha256);
  if (!hasAllowedScheme(*url) || !digest || size > kMaximumEntryBytes) return std::nullopt;
  return Download{*url, size, *digest};
}

// One file of a model published file by file: a download of its own, or
// its parts (then its own size and checksum are optional, and checked when
// given).
std::optional<CatalogFile> parseFile(simdjson::dom::element element) {
  simdjson::dom::object object;
  if (element.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
  auto path = stringMember(object, "path");
  std::optional<std::string> contained = path ? containedPath(*path) : std::nullopt;
  if (!contained) return std::nullopt;
  CatalogFile file{*contained, {}, 0, {}};
  if (!hasMember(object, "parts")) {
    auto whole = parseDownload(object);
    if (!whole) return std::nullopt;
    file.parts.push_back(*whole);
    file.size = whole->size;
    file.sha256 = whole->sha256;
    return file;
  }
  simdjson::dom::array parts;
  if (hasMember(object, "url") || object["parts"].get_array().get(parts) != simdjson::SUCCESS ||
      parts.size() == 0 || parts.size() > kMaximumEntryDownloads) {
    return std::nullopt;
  }
  for (simdjson::dom::element item : parts) {
    simdjson::dom::object part;
    if (item.get_object().get(part) != simdjson::SUCCESS) return std::nullopt;
    auto download = parseDownload(part);
    if (!download) return std::nullopt;
    file.size += download->size;
    if (file.size > kMaximumEntryBytes) return std::nullopt;
    file.parts.push_back(*download);
  }
  if (hasMember(object, "size")) {
    uint64_t size = 0;
    if (object["size"].get_uint64().get(size) != simdjson::SUCCESS || size != file.size) {
      return std::nullopt;
    }
  }
  if (hasMember(object, "sha256")) {
    auto sha256 = stringMember(object, "sha256");
    auto digest = sha256 ? lowerHexDigest(*sha256) : std::nullopt;
    if (!digest) return std::nullopt;
    file.sha256 = *digest;
  }
  return file;
}

// The files of a model published file by file, checked as a whole: each
// prepared path once, no file where another needs a folder, none the
// store's manifest, and the three parts among them.
bool parseFiles(simdjson::dom::object object, CatalogEntry& entry) {
  simdjson::dom::array files;
  if (object["files"].get_array().get(files) != simdjson::SUCCESS || files.size() == 0) {
    return false;
  }
  // A model is either one archive or a list of files.
  for (const char* key : {"url", "size", "sha256", "format"}) {
    if (hasMember(object, key)) return false;
  }
  size_t downloads = 0;
  uint64_t bytes = 0;
  std::set<std::string> prepared;
  for (simdjson::dom::element element : files) {
    auto file = parseFile(element);
    if (!file) return false;
    downloads += file->parts.size();
    bytes += file->size;
    if (downloads > kMaximumEntryDownloads || bytes > kMaximumEntryBytes) return false;
    if (!prepared.insert(preparedPath(file->path)).second) return false;
    entry.files.push_back(std::move(*file));
  }
  if (prepared.count(Manifest::kFileName) != 0) return false;
  for (const std::string& path : prepared) {
    for (size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      if (prepared.count(path.substr(0, slash)) != 0) return false;
    }
  }
  auto listed = [&](const std::string& path) {
    return std::any_of(entry.files.begin(), entry.files.end(),
                       [&](const CatalogFile& file) { return file.path == path; });
  };
  bool acoustic = std::any_of(entry.files.begin(), entry.files.end(), [&](const CatalogFile& f) {
    return f.path.starts_with(entry.acousticModel + "/");
  });
  return acoustic && listed(entry.languageModel) && listed(entry.dictionary);
}

std::optional<CatalogEntry> parseEntry(simdjson::dom::element element) {
  simdjson::dom::object object;
  if (element.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
  auto locale = stringMember(object, "locale");
  auto acoustic = stringMember(object, "acousticModel");
  auto languageModel = stringMember(object, "languageModel");
  auto dictionary = stringMember(object, "dictionary");
  if (!locale || !acoustic || !languageModel || !dictionary) return std::nullopt;
  CatalogEntry entry;
  entry.locale = Locale::fromIdentifier(*locale);
  auto acousticPath = containedPath(*acoustic);
  auto lmPath = containedPath(*languageModel);
  auto dictPath = containedPath(*dictionary);
  if (locale->empty() || entry.locale.canonical().empty() || entry.locale.bcp47() == "und" ||
      !roundTrips(*locale, entry.locale) || !acousticPath || !lmPath || !dictPath) {
    return std::nullopt;
  }
  entry.acousticModel = *acousticPath;
  entry.languageModel = *lmPath;
  entry.dictionary = *dictPath;
  if (hasMember(object, "files")) {
    if (!parseFiles(object, entry)) return std::nullopt;
  } else {
    auto archive = parseDownload(object);
    auto format = stringMember(object, "format");
    auto named = format ? archiveFormatNamed(*format) : std::nullopt;
    if (!archive || !named) return std::nullopt;
    entry.url = archive->url;
    entry.size = archive->size;
    entry.sha256 = archive->sha256;
    entry.format = *named;
  }
  // Optional; a model whose words are not UTF-8 says what they are.
  if (simdjson::dom::element encoding; object["textEncoding"].get(encoding) == simdjson::SUCCESS) {
    std::string_view name;
    if (encoding.get_string().get(name) != simdjson::SUCCESS ||
        !support::isKnownTextEncoding(name)) {
      return std::nullopt;
    }
    entry.textEncoding = std::string(name);
  }
  return entry;
}

}  // namespace

std::string preparedPath(const std::string& path) {
  if (path.size() > 3 && path.ends_with(".gz") && path[path.size() - 4] != '/') {
    return path.substr(0, path.size() - 3);
  }
  return path;
}

std::vector<Download> CatalogEntry::downloads() const {
  if (!fileByFile()) return {Download{url, size, sha256}};
  std::vector<Download> all;
  std::set<std::string> seen;
  for (const auto& file : files) {
    for (const auto& part : file.parts) {
      if (seen.insert(part.sha256).second) all.push_back(part);
    }
  }
  return all;
}

uint64_t CatalogEntry::downloadSize() const {
  uint64_t total = 0;
  for (const auto& download : downloads()) total += download.size;
  return total;
}

std::string CatalogEntry::identity() const {
  if (!fileByFile()) return sha256;
  support::Sha256 hash;
  auto add = [&](const std::string& text) { hash.update(text.data(), text.size()); };
  for (const auto& file : files) {
    add(file.path + "\t" + std::to_string(file.size) + "\t" + file.sha256 + "\n");
    for (const auto& part : file.parts) {
      add("\t" + std::to_string(part.size) + "\t" + part.sha256 + "\n");
    }
  }
  return hash.hexDigest();
}

std::optional<std::vector<CatalogEntry>> Catalog::parse(std::string_view json) {
  simdjson::dom::parser parser;
  simdjson::padded_string text(json);
  simdjson::dom::element root;
  simdjson::dom::array models;
  if (parser.parse(text).get(root) != simdjson::SUCCESS ||
      root["models"].get_array().get(models) != simdjson::SUCCESS) {
    return std::nullopt;
  }
  if (models.size() > kMaximumCatalogEntries) return std::nullopt;
  std::vector<CatalogEntry> entries;
  for (simdjson::dom::element element : models) {
    auto entry = parseEntry(element);
    if (!entry) return std::nullopt;
    entries.push_back(std::move(*entry));
  }
  return entries;
}

Catalog Catalog::load(const support::StoreLocations& locations) {
  // By canonical identifier: a later entry for a locale replaces an earlier.
  std::map<std::string, CatalogEntry> merged;
  for (const auto& dir : locations.catalogDirs()) {
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& item : std::filesystem::directory_iterator(dir, error)) {
      if (item.path().extension() == ".json" && item.is_regular_file(error)) {
        files.push_back(item.path());
      }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      auto text = support::readRegularFile(file, kMaximumCatalogFileBytes);
      if (!text) continue;
      auto entries = parse(*text);
      if (!entries) continue;
      for (auto& entry : *entries) {
        std::string key = entry.locale.canonical();
        merged.insert_or_assign(std::move(key), std::move(entry));
      }
    }
  }
  std::vector<std::pair<std::string, CatalogEntry>> tagged;
  tagged.reserve(merged.size());
  for (auto& [key, entry] : merged) tagged.emplace_back(entry.locale.bcp47(), std::move(entry));
  std::sort(tagged.begin(), tagged.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  Catalog catalog;
  catalog.entries_.reserve(tagged.size());
  for (auto& [tag, entry] : tagged) catalog.entries_.push_back(std::move(entry));
  return catalog;
}

const CatalogEntry* Catalog::find(const Locale& locale) const {
  for (const auto& entry : entries_) {
    if (entry.locale == locale) return &entry;
  }
  return nullptr;
}

}  // namespace earshot::platform::linuxos::store
