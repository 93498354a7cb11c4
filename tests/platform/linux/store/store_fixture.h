#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/support/store_locations.h"
#include "platform/speech_transcriber.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"

namespace earshot::testkit {

// A throwaway home: XDG data, config, cache and state folders below a fresh
// temporary folder, so that no test touches the real home.
class TemporaryHome {
 public:
  TemporaryHome();
  ~TemporaryHome();
  TemporaryHome(const TemporaryHome&) = delete;
  TemporaryHome& operator=(const TemporaryHome&) = delete;

  const std::filesystem::path& root() const { return root_; }
  platform::linuxos::support::StoreLocations locations() const;
  // The environment of a child process living in this home.
  std::vector<std::string> environment() const;
  // Every path below the store and cache, with file sizes: equal snapshots
  // mean nothing was changed.
  std::vector<std::string> snapshot() const;
  std::filesystem::path userCatalogDir() const { return root_ / "config/earshot/catalog.d"; }
  std::filesystem::path systemCatalogDir() const { return root_ / "system/earshot/catalog.d"; }
  // Where the program keeps what it learned about the speaker, per model.
  std::filesystem::path adaptationDir() const { return root_ / "state/earshot/adaptation"; }

 private:
  std::filesystem::path root_;
};

// A server's certificate and key in PEM files; empty for plain HTTP.
struct ServerCertificate {
  std::filesystem::path certificate, key;
};

// The loopback server script (see loopback_server.py for its paths),
// serving `root` until stopped or destroyed, over HTTPS when given a
// certificate.
class LoopbackServer {
 public:
  LoopbackServer(const std::filesystem::path& root, const std::filesystem::path& log,
                 int bytesPerSecond = 1 << 20, const ServerCertificate& tls = {});
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  std::string url(const std::string& mode, const std::string& file) const;
  // One line per request: "GET /ok/a.tar.gz bytes=100-".
  std::vector<std::string> requests() const;

 private:
  std::unique_ptr<ChildProcess> server_;
  int port_ = 0;
  std::filesystem::path log_;
  std::string scheme_;
};

// One member of an archive made by the tests.
struct ArchiveItem {
  enum class Kind { file, folder, symlink, hardlink, device, fifo };
  Kind kind = Kind::file;
  std::string name;
  std::string contents;          // for a file without a source
  std::filesystem::path source;  // a file on disk to copy in
  std::string target;            // for links
};

enum class TestArchiveFormat { tar, tarGzip, tarXz, zip };

void writeArchive(const std::filesystem::path& out, TestArchiveFormat format,
                  const std::vector<ArchiveItem>& items);

// The engine's Debian en-US model laid out as another locale's model:
// "<top>/<tag lower-case>/" acoustic folder, "<top>/<tag>.lm.bin",
// "<top>/cmudict-<tag>.dict", where <top> is `top`.
std::vector<ArchiveItem> repackagedEnglishModel(const std::string& top, const std::string& tag);
std::filesystem::path systemEnglishModel();

// One download of a catalog entry.
struct DownloadLine {
  std::string url;
  uint64_t size = 0;
  std::string sha256;
};
// One file of a model published file by file: one download, or parts (then
// `whole.size` and `whole.sha256` are written only when set, without a URL).
struct CatalogFileLine {
  std::string path;
  DownloadLine whole;
  std::vector<DownloadLine> parts = {};
};

// One catalog entry in the catalog's own JSON form: an archive, or, with
// `files`, a model published file by file (then url, size, sha256 and
// format are not written).
struct CatalogLine {
  std::string locale, url;
  uint64_t size = 0;
  std::string sha256, format = "tar.gz";
  std::string acousticModel, languageModel, dictionary;
  std::string textEncoding = {};  // written only when set
  std::vector<CatalogFileLine> files = {};
};
std::string catalogJson(const std::vector<CatalogLine>& entries);
// `data` compressed with gzip.
std::string gzipped(const std::string& data);
std::string sha256Of(const std::filesystem::path& file);

// A transcriber that only names a locale: what an installation request
// needs of its modules.
platform::ModuleList modulesFor(const std::string& locale);

}  // namespace earshot::testkit
