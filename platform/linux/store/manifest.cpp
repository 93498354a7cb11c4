#include "platform/linux/store/manifest.h"

#include <simdjson.h>

#include <cstdio>
#include <ctime>

#include "platform/linux/store/safe_path.h"

namespace earshot::platform::linuxos::store {
namespace {

void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

}  // namespace

std::string Manifest::toJson() const {
  std::string out = "{";
  auto member = [&](const char* key, const std::string& value) {
    appendQuoted(out, key);
    out += ':';
    appendQuoted(out, value);
    out += ',';
  };
  member("locale", locale);
  member("url", url);
  member("sha256", sha256);
  member("installedAt", installedAt);
  member("acousticModel", acousticModel);
  member("languageModel", languageModel);
  member("dictionary", dictionary);
  if (!textEncoding.empty()) member("textEncoding", textEncoding);
  if (!downloads.empty()) {
    appendQuoted(out, "downloads");
    out += ":[";
    for (size_t i = 0; i < downloads.size(); ++i) {
      if (i > 0) out += ',';
      appendQuoted(out, downloads[i]);
    }
    out += "],";
  }
  out.back() = '}';
  out += '\n';
  return out;
}

std::optional<Manifest> Manifest::fromJson(std::string_view json) {
  simdjson::dom::parser parser;
  simdjson::padded_string text(json);
  simdjson::dom::object object;
  if (parser.parse(text).get_object().get(object) != simdjson::SUCCESS) return std::nullopt;
  Manifest manifest;
  for (auto [key, field] : {std::pair{"locale", &manifest.locale},
                            {"url", &manifest.url},
                            {"sha256", &manifest.sha256},
                            {"installedAt", &manifest.installedAt},
                            {"acousticModel", &manifest.acousticModel},
                            {"languageModel", &manifest.languageModel},
                            {"dictionary", &manifest.dictionary}}) {
    std::string_view value;
    if (object[key].get_string().get(value) != simdjson::SUCCESS) return std::nullopt;
    *field = std::string(value);
  }
  for (const std::string* path :
       {&manifest.acousticModel, &manifest.languageModel, &manifest.dictionary}) {
    if (containedPath(*path) != *path) return std::nullopt;
  }
  if (manifest.locale.empty()) return std::nullopt;
  if (simdjson::dom::element encoding; object["textEncoding"].get(encoding) == simdjson::SUCCESS) {
    std::string_view name;
    if (encoding.get_string().get(name) != simdjson::SUCCESS) return std::nullopt;
    manifest.textEncoding = std::string(name);
  }
  if (simdjson::dom::element downloads; object["downloads"].get(downloads) == simdjson::SUCCESS) {
    simdjson::dom::array digests;
    if (downloads.get_array().get(digests) != simdjson::SUCCESS) return std::nullopt;
    for (simdjson::dom::element digest : digests) {
      std::string_view value;
      if (digest.get_string().get(value) != simdjson::SUCCESS) return std::nullopt;
      manifest.downloads.emplace_back(value);
    }
  }
  return manifest;
}

std::string utcTimestamp() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

}  // namespace earshot::platform::linuxos::store
