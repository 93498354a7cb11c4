#include "tests/platform/linux/store/store_fixture.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "platform/linux/support/sha256.h"

namespace earshot::testkit {
namespace fs = std::filesystem;

namespace {

class EmptyResults final : public platform::TranscriptionResults {
 public:
  std::optional<platform::TranscriptionResult> next() override { return std::nullopt; }
};

class NamingTranscriber final : public platform::SpeechTranscriber {
 public:
  explicit NamingTranscriber(platform::Locale locale) : locale_(std::move(locale)) {}
  const platform::Locale& locale() const override { return locale_; }
  platform::TranscriptionResults& results() override { return results_; }

 private:
  platform::Locale locale_;
  EmptyResults results_;
};

}  // namespace

TemporaryHome::TemporaryHome() {
  std::string pattern = (fs::temp_directory_path() / "earshot-store-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  for (const char* dir : {"data", "config", "cache", "system"}) fs::create_directories(root_ / dir);
}

TemporaryHome::~TemporaryHome() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

platform::linuxos::support::StoreLocations TemporaryHome::locations() const {
  return platform::linuxos::support::StoreLocations::below(root_);
}

std::vector<std::string> TemporaryHome::environment() const {
  std::vector<std::string> env = {
      "HOME=" + root_.string(),
      "XDG_DATA_HOME=" + (root_ / "data").string(),
      "XDG_CONFIG_HOME=" + (root_ / "config").string(),
      "XDG_CACHE_HOME=" + (root_ / "cache").string(),
      "XDG_STATE_HOME=" + (root_ / "state").string(),
      "XDG_DATA_DIRS=" + (root_ / "system").string(),
      "PATH=/usr/bin:/bin",
      "LANG=C.UTF-8",
      "no_proxy=127.0.0.1,localhost",
  };
  return env;
}

std::vector<std::string> TemporaryHome::snapshot() const {
  std::vector<std::string> paths;
  for (const char* dir : {"data", "cache"}) {
    std::error_code error;
    for (fs::recursive_directory_iterator walk(root_ / dir, error), end; !error && walk != end;
         walk.increment(error)) {
      std::string line = fs::relative(walk->path(), root_).string();
      if (walk->is_regular_file(error)) line += " " + std::to_string(walk->file_size(error));
      paths.push_back(line);
    }
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

LoopbackServer::LoopbackServer(const fs::path& root, const fs::path& log, int bytesPerSecond,
                               const ServerCertificate& tls)
    : log_(log), scheme_(tls.certificate.empty() ? "http" : "https") {
  std::vector<std::string> argv = {"/usr/bin/python3", EARSHOT_LOOPBACK_SERVER,
                                   root.string(),      log.string(),
                                   "--lifetime",       "600",
                                   "--rate",           std::to_string(bytesPerSecond)};
  if (!tls.certificate.empty()) {
    argv.insert(argv.end(), {"--certificate", tls.certificate.string(), "--key", tls.key.string()});
  }
  server_ = std::make_unique<ChildProcess>(
      ChildProcess::Options{.argv = std::move(argv), .readOutput = false});
  // Its first line is the port it listens on.
  port_ = std::atoi(server_->readLine().c_str());
  if (port_ <= 0) throw std::runtime_error("the loopback server did not start");
}

// The server leaves when its input closes; what is left is killed.
LoopbackServer::~LoopbackServer() = default;

std::string LoopbackServer::url(const std::string& mode, const std::string& file) const {
  return scheme_ + "://127.0.0.1:" + std::to_string(port_) + "/" + mode + "/" + file;
}

std::vector<std::string> LoopbackServer::requests() const {
  std::vector<std::string> lines;
  std::ifstream in(log_);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void writeArchive(const fs::path& out, TestArchiveFormat format,
                  const std::vector<ArchiveItem>& items) {
  archive* writer = archive_write_new();
  if (format == TestArchiveFormat::zip) {
    archive_write_set_format_zip(writer);
  } else {
    archive_write_set_format_pax_restricted(writer);
    if (format == TestArchiveFormat::tarGzip) {
      archive_write_add_filter_gzip(writer);
      archive_write_set_filter_option(writer, "gzip", "compression-level", "1");
    } else if (format == TestArchiveFormat::tarXz) {
      archive_write_add_filter_xz(writer);
      archive_write_set_filter_option(writer, "xz", "compression-level", "1");
    }
  }
  if (archive_write_open_filename(writer, out.c_str()) != ARCHIVE_OK) {
    throw std::runtime_error("cannot write " + out.string());
  }
  for (const auto& item : items) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, item.name.c_str());
    archive_entry_set_mtime(entry, 1700000000, 0);
    std::string data = item.contents;
    if (!item.source.empty()) data = readFile(item.source);
    switch (item.kind) {
      case ArchiveItem::Kind::file:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
        break;
      case ArchiveItem::Kind::folder:
        archive_entry_set_filetype(entry, AE_IFDIR);
        archive_entry_set_perm(entry, 0755);
        break;
      case ArchiveItem::Kind::symlink:
        archive_entry_set_filetype(entry, AE_IFLNK);
        archive_entry_set_perm(entry, 0777);
        archive_entry_set_symlink(entry, item.target.c_str());
        break;
      case ArchiveItem::Kind::hardlink:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_hardlink(entry, item.target.c_str());
        break;
      case ArchiveItem::Kind::device:
        archive_entry_set_filetype(entry, AE_IFCHR);
        archive_entry_set_perm(entry, 0666);
        archive_entry_set_rdev(entry, makedev(1, 3));
        break;
      case ArchiveItem::Kind::fifo:
        archive_entry_set_filetype(entry, AE_IFIFO);
        archive_entry_set_perm(entry, 0644);
        break;
    }
    archive_write_header(writer, entry);
    if (item.kind == ArchiveItem::Kind::file && !data.empty()) {
      archive_write_data(writer, data.data(), data.size());
    }
    archive_entry_free(entry);
  }
  archive_write_close(writer);
  archive_write_free(writer);
}

fs::path systemEnglishModel() {
  return "/usr/share/pocketsphinx/model/en-us";
}

std::vector<ArchiveItem> repackagedEnglishModel(const std::string& top, const std::string& tag) {
  std::string lower = tag;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  fs::path model = systemEnglishModel();
  std::vector<ArchiveItem> items = {{ArchiveItem::Kind::folder, top, {}, {}, {}},
                                    {ArchiveItem::Kind::folder, top + "/" + lower, {}, {}, {}}};
  std::vector<fs::path> acoustic;
  for (const auto& item : fs::directory_iterator(model / "en-us")) acoustic.push_back(item.path());
  std::sort(acoustic.begin(), acoustic.end());
  for (const auto& file : acoustic) {
    items.push_back({ArchiveItem::Kind::file,
                     top + "/" + lower + "/" + file.filename().string(),
                     {},
                     file,
                     {}});
  }
  items.push_back(
      {ArchiveItem::Kind::file, top + "/" + lower + ".lm.bin", {}, model / "en-us.lm.bin", {}});
  items.push_back({ArchiveItem::Kind::file,
                   top + "/cmudict-" + lower + ".dict",
                   {},
                   model / "cmudict-en-us.dict",
                   {}});
  return items;
}

namespace {

std::string downloadJson(const DownloadLine& d) {
  std::string json;
  if (!d.url.empty()) json += "\"url\": \"" + d.url + "\", ";
  if (d.size != 0) json += "\"size\": " + std::to_string(d.size) + ", ";
  if (!d.sha256.empty()) json += "\"sha256\": \"" + d.sha256 + "\", ";
  return json;
}

std::string filesJson(const std::vector<CatalogFileLine>& files) {
  std::string json = "\"files\": [";
  for (size_t i = 0; i < files.size(); ++i) {
    const auto& f = files[i];
    json += (i ? ",\n  " : "\n  ");
    json += "{" + downloadJson(f.whole);
    if (!f.parts.empty()) {
      json += "\"parts\": [";
      for (size_t p = 0; p < f.parts.size(); ++p) {
        std::string part = downloadJson(f.parts[p]);
        json += (p ? ", {" : "{") + part.substr(0, part.size() - 2) + "}";
      }
      json += "], ";
    }
    json += "\"path\": \"" + f.path + "\"}";
  }
  return json + "]";
}

}  // namespace

std::string catalogJson(const std::vector<CatalogLine>& entries) {
  std::string json = "{\"models\": [";
  for (size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    json += (i ? ",\n" : "\n");
    std::string source =
        e.files.empty() ? "\"url\": \"" + e.url + "\", \"size\": " + std::to_string(e.size) +
                              ", \"sha256\": \"" + e.sha256 + "\", \"format\": \"" + e.format + "\""
                        : filesJson(e.files);
    json += "{\"locale\": \"" + e.locale + "\", " + source + ", \"acousticModel\": \"" +
            e.acousticModel + "\", \"languageModel\": \"" + e.languageModel +
            "\", \"dictionary\": \"" + e.dictionary + "\"" +
            (e.textEncoding.empty() ? "" : ", \"textEncoding\": \"" + e.textEncoding + "\"") + "}";
  }
  return json + "\n]}\n";
}

std::string gzipped(const std::string& data) {
  archive* writer = archive_write_new();
  archive_write_set_format_raw(writer);
  archive_write_add_filter_gzip(writer);
  std::string out(data.size() + (64 << 10), '\0');
  size_t used = 0;
  archive_write_open_memory(writer, out.data(), out.size(), &used);
  archive_entry* entry = archive_entry_new();
  archive_entry_set_pathname(entry, "data");
  archive_entry_set_filetype(entry, AE_IFREG);
  archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
  bool written = archive_write_header(writer, entry) == ARCHIVE_OK &&
                 archive_write_data(writer, data.data(), data.size()) ==
                     static_cast<la_ssize_t>(data.size()) &&
                 archive_write_close(writer) == ARCHIVE_OK;
  archive_entry_free(entry);
  archive_write_free(writer);
  if (!written) throw std::runtime_error("cannot gzip");
  out.resize(used);
  return out;
}

std::string sha256Of(const fs::path& file) {
  platform::linuxos::support::Sha256 hash;
  std::string data = readFile(file);
  hash.update(data.data(), data.size());
  return hash.hexDigest();
}

platform::ModuleList modulesFor(const std::string& locale) {
  return {std::make_shared<NamingTranscriber>(platform::Locale::fromIdentifier(locale))};
}

}  // namespace earshot::testkit
