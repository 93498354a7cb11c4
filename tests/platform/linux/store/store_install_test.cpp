// The store's installs, failures, reservations and releases, in process,
// against the loopback server, in temporary homes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "platform/linux/store/download.h"
#include "platform/linux/store/model_store.h"
#include "platform/linux/store/store_asset_inventory.h"
#include "platform/linux/store/store_failure.h"
#include "platform/linux/store/store_lock.h"
#include "platform/platform_error.h"
#include "tests/platform/linux/store/served_models.h"

namespace earshot::platform::linuxos::store {
namespace {

namespace fs = std::filesystem;
using namespace earshot::testkit;  // the store tests' fixtures

std::vector<std::string> tags(const std::vector<Locale>& locales) {
  std::vector<std::string> result;
  for (const auto& locale : locales) result.push_back(locale.bcp47());
  return result;
}

class StoreTest : public testing::Test {
 protected:
  StoreTest()
      : served_(ServedModels::get()),
        server_(served_.folder, home_.root() / "requests.log", 1 << 20),
        inventory_(home_.locations(),
                   [](const Locale& locale) { return locale == Locale::fromIdentifier("en-US"); }) {
  }

  void catalog(const std::vector<CatalogLine>& lines) {
    writeFile(home_.userCatalogDir() / "test.json", catalogJson(lines));
  }
  CatalogLine line(const std::string& locale, const std::string& mode, const std::string& file) {
    return served_.line(locale, file, server_.url(mode, file));
  }
  CatalogLine fileByFile(const std::string& locale, const std::string& mode) {
    return served_.fileByFileLine(locale,
                                  [&](const std::string& file) { return server_.url(mode, file); });
  }
  void install(const std::string& locale) {
    auto request = inventory_.assetInstallationRequest(modulesFor(locale));
    ASSERT_TRUE(request);
    request->downloadAndInstall();
  }
  // A complete entry written by hand, as an earlier install would leave it.
  void addEntry(const std::string& tag) {
    fs::path dir = home_.locations().modelsDir() / tag;
    writeFile(dir / "m/acoustic/mdef", "mdef");
    writeFile(dir / "m/m.lm.bin", "lm");
    writeFile(dir / "m/m.dict", "dict");
    Manifest manifest{tag,
                      "https://m.example/" + tag,
                      std::string(64, 'a'),
                      "2024-01-01T00:00:00Z",
                      "m/acoustic",
                      "m/m.lm.bin",
                      "m/m.dict"};
    writeFile(dir / Manifest::kFileName, manifest.toJson());
  }
  // Everything below the models folder, with file sizes.
  std::vector<std::string> modelsSnapshot() const {
    std::vector<std::string> all;
    for (const auto& line : home_.snapshot()) {
      if (line.starts_with("data/earshot/models/")) all.push_back(line);
    }
    return all;
  }
  ModelStore store() const { return ModelStore(home_.locations()); }

  TemporaryHome home_;
  const ServedModels& served_;
  LoopbackServer server_;
  StoreAssetInventory inventory_;
};

TEST_F(StoreTest, InstallsTheRepackagedEnglishModelAndReservesIt) {
  catalog({line("en-GB", "ok", served_.englishFile)});
  EXPECT_TRUE(inventory_.reservedLocales().empty());
  EXPECT_EQ(inventory_.maximumReservedLocales(), kMaximumReservedLocales);

  install("en_GB");

  auto model = store().installedModel(Locale::fromIdentifier("en-GB"));
  ASSERT_TRUE(model);
  fs::path english = earshot::testkit::systemEnglishModel();
  EXPECT_EQ(readFile(model->languageModel), readFile(english / "en-us.lm.bin"));
  EXPECT_EQ(readFile(model->dictionary), readFile(english / "cmudict-en-us.dict"));
  EXPECT_EQ(readFile(model->acousticModel / "mdef"), readFile(english / "en-us/mdef"));
  EXPECT_EQ(tags(inventory_.reservedLocales()), std::vector<std::string>{"en-GB"});
  EXPECT_EQ(tags(store().installedLocales()), std::vector<std::string>{"en-GB"});

  auto manifest = store().entry(Locale::fromIdentifier("en-GB"))->manifest;
  EXPECT_EQ(manifest.url, server_.url("ok", served_.englishFile));
  EXPECT_EQ(manifest.sha256, served_.sha256(served_.englishFile));
  EXPECT_EQ(manifest.installedAt.size(), std::string("2024-01-01T00:00:00Z").size());

  // Installed now: nothing more to do, and the download cache is empty.
  EXPECT_FALSE(inventory_.assetInstallationRequest(modulesFor("en-GB")));
  EXPECT_TRUE(fs::is_empty(home_.locations().downloadsDir()));
  EXPECT_EQ(server_.requests().size(), 1u);
}

TEST_F(StoreTest, ProgressRisesToOne) {
  catalog({line("en-GB", "slow", served_.smallFile)});
  auto request = inventory_.assetInstallationRequest(modulesFor("en-GB"));
  ASSERT_TRUE(request);
  auto progress = request->progress();
  EXPECT_EQ(progress->fractionCompleted(), 0.0);
  std::atomic<bool> done = false;
  std::vector<double> samples;
  std::thread poller([&] {
    while (!done.load()) {
      samples.push_back(progress->fractionCompleted());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  request->downloadAndInstall();
  done = true;
  poller.join();
  samples.push_back(progress->fractionCompleted());
  EXPECT_TRUE(std::is_sorted(samples.begin(), samples.end()));
  EXPECT_TRUE(std::any_of(samples.begin(), samples.end(), [](double f) { return f > 0 && f < 1; }));
  EXPECT_EQ(samples.back(), 1.0);
}

struct FailureCase {
  std::string name;
  std::string mode, file;
  void (*change)(CatalogLine&);
  // The description after "Could not install the speech model for en-GB: ";
  // {url} stands for the entry's URL. Compared in full unless it ends in "*".
  std::string reason;
};

class FailureTest : public StoreTest, public testing::WithParamInterface<FailureCase> {};

TEST_P(FailureTest, IsOneClearErrorAndLeavesTheStoreAsItWas) {
  const FailureCase& test = GetParam();
  CatalogLine entry = line("en-GB", test.mode, test.file);
  if (test.change) test.change(entry);
  catalog({entry});
  addEntry("de-DE");
  auto before = modelsSnapshot();

  auto request = inventory_.assetInstallationRequest(modulesFor("en-GB"));
  ASSERT_TRUE(request);
  std::string expected = test.reason;
  if (auto at = expected.find("{url}"); at != std::string::npos) {
    expected.replace(at, 5, entry.url);
  }
  if (auto at = expected.find("{sha}"); at != std::string::npos) {
    expected.replace(at, 5, served_.sha256(test.file));
  }
  expected = "Could not install the speech model for en-GB: " + expected;
  try {
    request->downloadAndInstall();
    FAIL() << "installed";
  } catch (const PlatformError& error) {
    std::string what = error.what();
    if (expected.ends_with("*")) {
      EXPECT_EQ(what.substr(0, expected.size() - 1), expected.substr(0, expected.size() - 1));
    } else {
      EXPECT_EQ(what, expected);
    }
  }
  EXPECT_EQ(modelsSnapshot(), before);
  EXPECT_EQ(tags(inventory_.reservedLocales()), std::vector<std::string>{"de-DE"});
  EXPECT_FALSE(store().installedModel(Locale::fromIdentifier("en-GB")));
}

const std::string wrongDigest(64, '0');

INSTANTIATE_TEST_SUITE_P(
    Table, FailureTest,
    testing::Values(
        FailureCase{
            "checksum", "ok", "small.tar.gz", [](CatalogLine& l) { l.sha256 = wrongDigest; },
            "the download from {url} has SHA-256 {sha} where the catalog gives " + wrongDigest},
        FailureCase{"not_found", "missing", "small.tar.gz", nullptr,
                    "the server answered HTTP 404 for {url}"},
        FailureCase{"truncated", "truncated", "small.tar.gz", nullptr,
                    "the download from {url} failed after 1*"},
        FailureCase{"server_gone", "die", "small.tar.gz", nullptr,
                    "the download from {url} failed after 1*"},
        FailureCase{"nobody_listening", "ok", "small.tar.gz",
                    [](CatalogLine& l) { l.url = "http://127.0.0.1:1/small.tar.gz"; },
                    "the download from {url} failed after 0 bytes of *"},
        FailureCase{"larger_than_listed", "ok", "small.tar.gz",
                    [](CatalogLine& l) { l.size -= 1000; },
                    "the download from {url} is larger than the *"},
        FailureCase{"smaller_than_listed", "ok", "small.tar.gz",
                    [](CatalogLine& l) { l.size += 1000; },
                    "the download from {url} ended after *"},
        // A server may not send the download to a local file.
        FailureCase{"redirect_to_file", "tofile", "small.tar.gz", nullptr,
                    "the download from {url} failed after 0 bytes of *"},
        FailureCase{"traversal", "ok", "traversal.tar", nullptr,
                    "the archive entry \"../evil\" leaves the model folder"},
        FailureCase{"missing_part", "ok", "partless.tar.gz", nullptr,
                    "the archive has no dictionary \"m/m.dict\""},
        FailureCase{"wrong_format", "ok", "small.tar.gz", [](CatalogLine& l) { l.format = "zip"; },
                    "the archive *"},
        // The store's own manifest is out of the archive's reach.
        FailureCase{"manifest_link", "ok", "manifest-link.tar.gz", nullptr,
                    "the archive entry \"manifest.json\" has a name the store keeps for itself"},
        // A 9 KB download that would unpack to 8 MiB.
        FailureCase{"expansion", "ok", "bomb.tar.gz", nullptr,
                    "the archive unpacks to more than *"}),
    [](const auto& info) { return info.param.name; });

// The download stops at its deadline, which grows with the size; what
// arrived is kept for the next attempt.
TEST_F(StoreTest, ADownloadEndsAtItsDeadline) {
  EXPECT_EQ(downloadDeadline(0), std::chrono::seconds(60));
  EXPECT_EQ(downloadDeadline(28559013), std::chrono::milliseconds(60000 + 871551));
  fs::path partial = home_.root() / "cache/d.part";
  DownloadRequest request{server_.url("slow", served_.smallFile), served_.size(served_.smallFile),
                          served_.sha256(served_.smallFile), partial,
                          std::chrono::milliseconds(300)};
  auto started = std::chrono::steady_clock::now();
  try {
    download(request, [](uint64_t) {});
    FAIL() << "downloaded";
  } catch (const StoreFailure& failure) {
    EXPECT_TRUE(std::string(failure.what())
                    .starts_with("the download from " + request.url + " failed after "))
        << failure.what();
    EXPECT_NE(std::string(failure.what()).find("timed out"), std::string::npos) << failure.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_GT(fs::file_size(partial), 0u);
}

// A fifo (or device) behind a file:// URL would block the read forever.
TEST_F(StoreTest, AFileUrlMustNameARegularFile) {
  fs::path fifo = home_.root() / "model.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  CatalogLine entry = line("en-GB", "ok", served_.smallFile);
  entry.url = "file://" + fifo.string();
  catalog({entry});
  try {
    install("en-GB");
    FAIL() << "installed";
  } catch (const PlatformError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Could not install the speech model for en-GB: the download from " + entry.url +
                  " is not a regular file");
  }
}

// Downloads run outside the store lock, so a release goes on meanwhile; the
// store lock is taken only to unpack and publish, and while the install
// waits for it, it says so and its progress stays where it is.
TEST_F(StoreTest, DownloadsDoNotHoldTheStoreLock) {
  addEntry("de-DE");
  catalog({line("en-GB", "slow", served_.smallFile)});
  auto request = inventory_.assetInstallationRequest(modulesFor("en-GB"));
  ASSERT_TRUE(request);
  auto progress = request->progress();
  std::atomic<bool> finished = false;
  std::thread installing([&] {
    request->downloadAndInstall();
    finished = true;
  });
  fs::path partial =
      home_.locations().downloadsDir() / (served_.sha256(served_.smallFile) + ".part");
  auto wait = [](auto condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
  };
  ASSERT_TRUE(wait([&] { return progress->fractionCompleted() > 0.05; }));
  EXPECT_TRUE(inventory_.release(Locale::fromIdentifier("de-DE")));
  EXPECT_LT(progress->fractionCompleted(), 1.0);
  {
    StoreLock held(home_.locations().lockFile());
    // Downloaded in full; nothing is unpacked while the lock is held.
    ASSERT_TRUE(wait([&] {
      std::error_code error;
      return fs::file_size(partial, error) == served_.size(served_.smallFile);
    }));
    double fraction = progress->fractionCompleted();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(progress->fractionCompleted(), fraction);
    EXPECT_FALSE(finished.load());
    EXPECT_FALSE(store().installedModel(Locale::fromIdentifier("en-GB")));
  }
  installing.join();
  EXPECT_EQ(progress->fractionCompleted(), 1.0);
  EXPECT_EQ(tags(inventory_.reservedLocales()), std::vector<std::string>{"en-GB"});
  EXPECT_FALSE(fs::exists(partial));
}

// A process killed between publishing and deleting its download left the
// verified archive in the cache: the next change of the store deletes it.
TEST_F(StoreTest, AVerifiedDownloadLeftAfterPublishingGoesAtTheNextChange) {
  catalog({line("en-GB", "ok", served_.smallFile)});
  install("en-GB");
  fs::path partial =
      home_.locations().downloadsDir() / (served_.sha256(served_.smallFile) + ".part");
  fs::copy_file(served_.folder / served_.smallFile, partial);
  fs::path other = home_.locations().downloadsDir() / (std::string(64, 'b') + ".part");
  writeFile(other, "another download, half done");
  addEntry("fr-FR");
  EXPECT_TRUE(inventory_.release(Locale::fromIdentifier("fr-FR")));
  EXPECT_FALSE(fs::exists(partial));
  EXPECT_TRUE(fs::exists(other));
}

TEST_F(StoreTest, TheReservationLimitStopsAnInstallBeforeAnyDownload) {
  catalog({line("en-GB", "ok", served_.smallFile)});
  const std::vector<std::string> reserved = {"de-DE", "es-ES", "fr-FR", "it-IT", "nl-NL"};
  ASSERT_EQ(static_cast<int64_t>(reserved.size()), kMaximumReservedLocales);
  for (size_t i = 0; i + 1 < reserved.size(); ++i) addEntry(reserved[i]);
  // One place left when the request is made; another process takes it
  // before the download starts.
  auto request = inventory_.assetInstallationRequest(modulesFor("en-GB"));
  ASSERT_TRUE(request);
  addEntry(reserved.back());
  auto before = home_.snapshot();
  const std::string expected =
      "Cannot install the speech model for en-GB: the limit of 5 reserved locales is reached "
      "(reserved: de-DE, es-ES, fr-FR, it-IT, nl-NL). Release one of them first.";
  try {
    request->downloadAndInstall();
    FAIL();
  } catch (const PlatformError& error) {
    EXPECT_EQ(std::string(error.what()), expected);
  }
  try {
    inventory_.assetInstallationRequest(modulesFor("en-GB"));
    FAIL();
  } catch (const PlatformError& error) {
    EXPECT_EQ(std::string(error.what()), expected);
  }
  EXPECT_TRUE(server_.requests().empty());
  auto after = home_.snapshot();
  std::erase_if(after,
                [](const std::string& p) { return p.starts_with("data/earshot/store.lock"); });
  std::erase_if(before,
                [](const std::string& p) { return p.starts_with("data/earshot/store.lock"); });
  EXPECT_EQ(after, before);

  // Releasing one makes room.
  EXPECT_TRUE(inventory_.release(Locale::fromIdentifier("it-IT")));
  install("en-GB");
  EXPECT_EQ(tags(inventory_.reservedLocales()),
            (std::vector<std::string>{"de-DE", "en-GB", "es-ES", "fr-FR", "nl-NL"}));
}

// A short download is kept and continued with a range request; a server
// that ignores the range sends the whole file again, which works as well.
TEST_F(StoreTest, ResumesAnInterruptedDownload) {
  for (const std::string mode : {"ok", "norange"}) {
    SCOPED_TRACE(mode);
    catalog({line("en-GB", "truncated", served_.smallFile)});
    EXPECT_THROW(install("en-GB"), PlatformError);
    uint64_t half = served_.size(served_.smallFile) / 2;
    fs::path partial =
        home_.locations().downloadsDir() / (served_.sha256(served_.smallFile) + ".part");
    ASSERT_EQ(fs::file_size(partial), half);

    catalog({line("en-GB", mode, served_.smallFile)});
    auto request = inventory_.assetInstallationRequest(modulesFor("en-GB"));
    ASSERT_TRUE(request);
    request->downloadAndInstall();
    EXPECT_EQ(request->progress()->fractionCompleted(), 1.0);
    EXPECT_TRUE(store().installedModel(Locale::fromIdentifier("en-GB")));
    EXPECT_EQ(server_.requests().back(),
              "GET /" + mode + "/small.tar.gz bytes=" + std::to_string(half) + "-");
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_TRUE(inventory_.release(Locale::fromIdentifier("en-GB")));
  }
}

TEST_F(StoreTest, FollowsRedirectsAndReadsFileUrls) {
  const std::string fileUrl = "file://" + (served_.folder / served_.smallFile).string();
  for (const std::string& url : {server_.url("redirect", served_.smallFile), fileUrl}) {
    SCOPED_TRACE(url);
    CatalogLine entry = line("en-GB", "ok", served_.smallFile);
    entry.url = url;
    catalog({entry});
    install("en-GB");
    EXPECT_TRUE(store().installedModel(Locale::fromIdentifier("en-GB")));
    EXPECT_TRUE(inventory_.release(Locale::fromIdentifier("en-GB")));
  }
}

TEST_F(StoreTest, ReleaseDropsTheReservationAndDeletesTheModel) {
  // Nothing there: false, and the store is not even created.
  EXPECT_FALSE(inventory_.release(Locale::fromIdentifier("en-GB")));
  EXPECT_FALSE(fs::exists(home_.locations().storeRoot()));

  catalog({line("en-GB", "ok", served_.smallFile)});
  install("en-GB");
  addEntry("fr-FR");
  EXPECT_TRUE(inventory_.release(Locale::fromIdentifier("en_GB")));
  EXPECT_EQ(tags(inventory_.reservedLocales()), std::vector<std::string>{"fr-FR"});
  EXPECT_EQ(tags(store().installedLocales()), std::vector<std::string>{"fr-FR"});
  std::vector<std::string> left;
  for (const auto& item : fs::directory_iterator(home_.locations().modelsDir())) {
    left.push_back(item.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"fr-FR"});

  EXPECT_FALSE(inventory_.release(Locale::fromIdentifier("en-GB")));
  EXPECT_FALSE(inventory_.release(Locale::fromIdentifier("en-US")));  // a system model
}

TEST_F(StoreTest, WhatNeedsNoDownloadOrCannotBeDownloaded) {
  EXPECT_FALSE(inventory_.assetInstallationRequest(modulesFor("en-US")));
  EXPECT_FALSE(inventory_.assetInstallationRequest({}));
  try {
    inventory_.assetInstallationRequest(modulesFor("pt-BR"));
    FAIL();
  } catch (const PlatformError& error) {
    EXPECT_EQ(std::string(error.what()),
              "No downloadable speech model for pt-BR is listed in the model catalog.");
  }
}

// Only a folder with its manifest and all its parts is installed; what an
// interrupted install or release left behind goes at the next install.
TEST_F(StoreTest, IncompleteFoldersAreNotInstalledAndGetReplaced) {
  fs::path models = home_.locations().modelsDir();
  writeFile(models / ".tmp-en-GB-abc123/m/m.lm.bin", "half");
  writeFile(models / ".tmp-old-fr-FR-xyz789/m/m.dict", "half");
  writeFile(models / "en-GB/m/m.lm.bin", "no manifest");
  addEntry("it-IT");
  fs::remove(models / "it-IT/m/m.dict");
  EXPECT_TRUE(store().installedLocales().empty());
  EXPECT_EQ(tags(store().reservedLocales()), std::vector<std::string>{"it-IT"});

  catalog({line("en-GB", "ok", served_.smallFile)});
  install("en-GB");
  std::vector<std::string> left;
  for (const auto& item : fs::directory_iterator(models)) {
    left.push_back(item.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"en-GB", "it-IT"}));
  EXPECT_EQ(fs::file_size(models / "en-GB/m/m.lm.bin"), 2u << 20);
}

// A model published file by file: parts joined, gzip removed, every file
// where the catalog puts it, nothing left in the download cache. Without
// the engine's converter (none in this test) the ARPA language model stays
// text.
TEST_F(StoreTest, InstallsAModelOfSeveralFiles) {
  catalog({fileByFile("en-IN", "ok")});
  auto request = inventory_.assetInstallationRequest(modulesFor("en-IN"));
  ASSERT_TRUE(request);
  request->downloadAndInstall();
  EXPECT_EQ(request->progress()->fractionCompleted(), 1.0);

  auto entry = store().entry(Locale::fromIdentifier("en-IN"));
  ASSERT_TRUE(entry);
  EXPECT_TRUE(entry->complete());
  EXPECT_EQ(entry->manifest.acousticModel, "acoustic_model");
  EXPECT_EQ(entry->manifest.languageModel, "base_language_model.txt");
  EXPECT_EQ(entry->manifest.dictionary, "base_dictionary.txt");
  EXPECT_EQ(entry->manifest.downloads.size(), 12u);  // 7 files, "means" in 3 parts, 2 more
  fs::path english = earshot::testkit::systemEnglishModel();
  EXPECT_EQ(readFile(entry->dir / "acoustic_model/means"), readFile(english / "en-us/means"));
  EXPECT_EQ(readFile(entry->dir / "base_dictionary.txt"), ServedModels::recordingWordsDictionary());
  EXPECT_EQ(readFile(entry->dir / "base_language_model.txt"), ServedModels::recordingWordsArpa());
  EXPECT_FALSE(fs::exists(entry->dir / "base_dictionary.txt.gz"));
  EXPECT_TRUE(fs::is_empty(home_.locations().downloadsDir()));

  // Its downloads left in the cache by a process killed after publishing go
  // at the next change of the store.
  fs::path left = home_.locations().downloadsDir() / (entry->manifest.downloads[3] + ".part");
  writeFile(left, "verified before");
  addEntry("fr-FR");
  EXPECT_TRUE(inventory_.release(Locale::fromIdentifier("fr-FR")));
  EXPECT_FALSE(fs::exists(left));
  EXPECT_TRUE(inventory_.release(Locale::fromIdentifier("en-IN")));
  EXPECT_FALSE(fs::exists(home_.locations().modelsDir() / "en-IN"));
}

struct FileByFileFailure {
  std::string name;
  void (*change)(CatalogLine&);
  // The description after "Could not install the speech model for en-GB: ",
  // up to its end or to a "*".
  std::string reason;
};

class FileByFileFailureTest : public StoreTest,
                              public testing::WithParamInterface<FileByFileFailure> {};

size_t fileAt(const CatalogLine& entry, const std::string& path) {
  for (size_t i = 0; i < entry.files.size(); ++i) {
    if (entry.files[i].path == path) return i;
  }
  throw std::runtime_error("no file " + path);
}

// Whichever file or part is wrong, the install is one clear error and
// publishes nothing.
TEST_P(FileByFileFailureTest, IsOneClearErrorAndPublishesNothing) {
  CatalogLine entry = fileByFile("en-GB", "ok");
  GetParam().change(entry);
  catalog({entry});
  addEntry("de-DE");
  auto before = modelsSnapshot();
  auto request = inventory_.assetInstallationRequest(modulesFor("en-GB"));
  ASSERT_TRUE(request);
  try {
    request->downloadAndInstall();
    FAIL() << "installed";
  } catch (const PlatformError& error) {
    std::string expected = "Could not install the speech model for en-GB: " + GetParam().reason;
    std::string what = error.what();
    // The pieces between the stars, in order.
    size_t at = 0;
    for (size_t from = 0, star = 0; star != std::string::npos; from = star + 1) {
      star = expected.find('*', from);
      std::string piece = expected.substr(from, star == std::string::npos ? star : star - from);
      size_t found =
          from == 0 ? (what.starts_with(piece) ? 0 : std::string::npos) : what.find(piece, at);
      ASSERT_NE(found, std::string::npos) << what << "\nhas no " << piece;
      at = found + piece.size();
    }
    if (!expected.ends_with("*")) {
      EXPECT_EQ(at, what.size()) << what;
    }
  }
  EXPECT_EQ(modelsSnapshot(), before);
  EXPECT_FALSE(store().installedModel(Locale::fromIdentifier("en-GB")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileByFileFailureTest,
    testing::Values(
        FileByFileFailure{
            "file_checksum",
            [](CatalogLine& l) {
              l.files[fileAt(l, "acoustic_model/mdef")].whole.sha256 = wrongDigest;
            },
            "the download from *ff-mdef has SHA-256 * where the catalog gives " + wrongDigest},
        FileByFileFailure{"part_checksum",
                          [](CatalogLine& l) {
                            l.files[fileAt(l, "acoustic_model/means")].parts[1].sha256 =
                                wrongDigest;
                          },
                          "the download from *ff-means.part-01 has SHA-256 * where the catalog "
                          "gives " +
                              wrongDigest},
        FileByFileFailure{"joined_checksum",
                          [](CatalogLine& l) {
                            l.files[fileAt(l, "acoustic_model/means")].whole.sha256 = wrongDigest;
                          },
                          "\"acoustic_model/means\" joined from its parts has SHA-256 * where the "
                          "catalog gives " +
                              wrongDigest},
        FileByFileFailure{"not_gzip",
                          [](CatalogLine& l) {
                            l.files[fileAt(l, "acoustic_model/noisedict")].path =
                                "acoustic_model/noisedict.gz";
                          },
                          "\"acoustic_model/noisedict.gz\" is named .gz but is not gzip data"},
        // A dictionary that is not text: a binary part of the acoustic model.
        FileByFileFailure{"dictionary_not_text",
                          [](CatalogLine& l) {
                            CatalogFileLine& dictionary =
                                l.files[fileAt(l, "base_dictionary.txt.gz")];
                            dictionary.whole = l.files[fileAt(l, "acoustic_model/sendump")].whole;
                            dictionary.path = l.dictionary = "base_dictionary.txt";
                          },
                          "the dictionary \"base_dictionary.txt\" is not UTF-8 text: *"}),
    [](const auto& info) { return info.param.name; });

// An interrupted file is continued where it stopped, and the files that
// were complete are not fetched again.
TEST_F(StoreTest, ResumesAnInterruptedFileOfAModel) {
  CatalogLine entry = fileByFile("en-GB", "ok");
  CatalogFileLine& dictionary = entry.files[fileAt(entry, "base_dictionary.txt.gz")];
  std::string name = fs::path(dictionary.whole.url).filename().string();
  dictionary.whole.url = server_.url("truncated", name);
  catalog({entry});
  EXPECT_THROW(install("en-GB"), PlatformError);
  fs::path partial = home_.locations().downloadsDir() / (dictionary.whole.sha256 + ".part");
  uint64_t half = dictionary.whole.size / 2;
  ASSERT_EQ(fs::file_size(partial), half);
  size_t requestsBefore = server_.requests().size();

  dictionary.whole.url = server_.url("ok", name);
  catalog({entry});
  install("en-GB");
  EXPECT_TRUE(store().installedModel(Locale::fromIdentifier("en-GB")));
  std::vector<std::string> requests = server_.requests();
  // The language model after it had not been fetched yet.
  EXPECT_EQ(std::vector<std::string>(requests.begin() + requestsBefore, requests.end()),
            (std::vector<std::string>{"GET /ok/" + name + " bytes=" + std::to_string(half) + "-",
                                      "GET /ok/ff-base_language_model.txt.gz -"}));
  EXPECT_TRUE(fs::is_empty(home_.locations().downloadsDir()));
}

// Archives are published under names that do not say their compression:
// an xz archive named ".tar.gz" unpacks.
TEST_F(StoreTest, ReadsTheCompressionOfAnArchiveFromItsContent) {
  fs::path archive = home_.root() / "xz-named.tar.gz";
  earshot::testkit::writeArchive(
      archive, earshot::testkit::TestArchiveFormat::tarXz,
      {{earshot::testkit::ArchiveItem::Kind::file, "m/acoustic/mdef", "mdef", {}, {}},
       {earshot::testkit::ArchiveItem::Kind::file, "m/m.lm.bin", "lm", {}, {}},
       {earshot::testkit::ArchiveItem::Kind::file, "m/m.dict", "hello HH AH L OW\n", {}, {}}});
  ASSERT_EQ(readFile(archive).substr(0, 5),
            "\xFD"
            "7zXZ");
  CatalogLine entry{"en-GB",
                    "file://" + archive.string(),
                    fs::file_size(archive),
                    earshot::testkit::sha256Of(archive),
                    "tar.gz",
                    "m/acoustic",
                    "m/m.lm.bin",
                    "m/m.dict"};
  catalog({entry});
  install("en-GB");
  auto model = store().installedModel(Locale::fromIdentifier("en-GB"));
  ASSERT_TRUE(model);
  EXPECT_EQ(readFile(model->dictionary), "hello HH AH L OW\n");
}

}  // namespace
}  // namespace earshot::platform::linuxos::store
