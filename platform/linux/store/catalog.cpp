#include "platform/linux/store/catalog.h"

#include <simdjson.h>

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/linux/store/safe_path.h"

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
      !hasAllowedScheme(*url) || !digest || !archive || !acousticPath || !lmPath || !dictPath) {
    return std::nullopt;
  }
  entry.url = *url;
  entry.size = size;
  entry.sha256 = *digest;
  entry.format = *archive;
  entry.acousticModel = *acousticPath;
  entry.languageModel = *lmPath;
  entry.dictionary = *dictPath;
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
  std::vector<CatalogEntry> entries;
  for (simdjson::dom::element element : models) {
    auto entry = parseEntry(element);
    if (!entry) return std::nullopt;
    entries.push_back(std::move(*entry));
  }
  return entries;
}

Catalog Catalog::load(const StoreLocations& locations) {
  Catalog catalog;
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
      simdjson::padded_string text;
      if (simdjson::padded_string::load(file.string()).get(text) != simdjson::SUCCESS) continue;
      auto entries = parse(std::string_view(text.data(), text.size()));
      if (!entries) continue;
      for (auto& entry : *entries) catalog.add(std::move(entry));
    }
  }
  return catalog;
}

void Catalog::add(CatalogEntry entry) {
  auto same = std::find_if(entries_.begin(), entries_.end(),
                           [&](const CatalogEntry& e) { return e.locale == entry.locale; });
  if (same != entries_.end()) {
    *same = std::move(entry);
    return;
  }
  std::string tag = entry.locale.bcp47();
  auto after = std::find_if(entries_.begin(), entries_.end(),
                            [&](const CatalogEntry& e) { return e.locale.bcp47() > tag; });
  entries_.insert(after, std::move(entry));
}

const CatalogEntry* Catalog::find(const Locale& locale) const {
  for (const auto& entry : entries_) {
    if (entry.locale == locale) return &entry;
  }
  return nullptr;
}

}  // namespace earshot::platform::linuxos::store
