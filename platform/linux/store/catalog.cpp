#include "platform/linux/store/catalog.h"

#include <fcntl.h>
#include <simdjson.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <system_error>

#include "platform/linux/store/safe_path.h"
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

std::optional<CatalogEntry> parseEntry(simdjson::dom::element element) {
  simdjson::dom::object object;
  if (element.get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
  auto locale = stringMember(object, "locale");
  auto url = stringMember(object, "url");
  auto sha256 = stringMember(object, "sha256");
  auto format = stringMember(object, "format");
  auto acoustic = stringMember(object, "acousticModel");
  auto languageModel = stringMember(object, "languageModel");
  auto dictionary = stringMember(object, "dictionary");
  uint64_t size = 0;
  if (!locale || !url || !sha256 || !format || !acoustic || !languageModel || !dictionary ||
      object["size"].get_uint64().get(size) != simdjson::SUCCESS || size == 0) {
    return std::nullopt;
  }
  CatalogEntry entry;
  entry.locale = Locale::fromIdentifier(*locale);
  auto digest = lowerHexDigest(*sha256);
  auto archive = archiveFormatNamed(*format);
  auto acousticPath = containedPath(*acoustic);
  auto lmPath = containedPath(*languageModel);
  auto dictPath = containedPath(*dictionary);
  if (locale->empty() || entry.locale.canonical().empty() || entry.locale.bcp47() == "und" ||
      !roundTrips(*locale, entry.locale) || !hasAllowedScheme(*url) || !digest || !archive ||
      !acousticPath || !lmPath || !dictPath) {
    return std::nullopt;
  }
  entry.url = *url;
  entry.size = size;
  entry.sha256 = *digest;
  entry.format = *archive;
  entry.acousticModel = *acousticPath;
  entry.languageModel = *lmPath;
  entry.dictionary = *dictPath;
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

namespace {

// The text of a catalog file, or nullopt when it cannot be read or is
// larger than a catalog may be.
std::optional<std::string> readCatalogFile(const std::filesystem::path& file) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || text.size() + static_cast<size_t>(got) > kMaximumCatalogFileBytes) {
      ::close(fd);
      if (got == 0) return text;
      return std::nullopt;
    }
    text.append(buffer, static_cast<size_t>(got));
  }
}

}  // namespace

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
      auto text = readCatalogFile(file);
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
