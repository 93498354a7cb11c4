// Installs in separate processes: killed half-way, or two at once.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/linux/store/model_store.h"
#include "tests/platform/linux/store/served_models.h"
#include "tests/support/child_process.h"

namespace earshot::platform::linuxos::store {
namespace {

namespace fs = std::filesystem;
using namespace earshot::testkit;  // the store tests' fixtures

class StoreProcessTest : public testing::Test {
 protected:
  // Slow enough (256 KiB/s for 2 MiB) that a test can act mid-transfer.
  StoreProcessTest()
      : served_(ServedModels::get()), server_(served_.folder, home_.root() / "log", 256 << 10) {}

  void catalog(const std::string& mode) { catalogAt(server_.url(mode, served_.smallFile)); }
  void catalogAt(const std::string& url, const std::string& file = "small.tar.gz") {
    writeFile(home_.userCatalogDir() / "test.json",
              catalogJson({served_.line("en-GB", file, url)}));
  }
  std::vector<std::string> tool(const std::string& command) const {
    return {STORE_TOOL, command, "en-GB"};
  }
  fs::path partial() const {
    return home_.locations().downloadsDir() / (served_.sha256(served_.smallFile) + ".part");
  }
  uintmax_t partialSize() const {
    std::error_code error;
    uintmax_t size = fs::file_size(partial(), error);
    return error ? 0 : size;
  }
  std::vector<std::string> modelFolders() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(home_.locations().modelsDir(), error)) {
      names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TemporaryHome home_;
  const ServedModels& served_;
  LoopbackServer server_;
};

TEST_F(StoreProcessTest, AKillMidInstallLeavesNothingHalfInstalledAndTheNextInstallWorks) {
  catalog("slow");
  ChildProcess child({.argv = tool("install"), .environment = home_.environment()});
  // Wait (bounded) until part of the file has arrived.
  for (int i = 0; i < 2000 && partialSize() < 100000; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_GE(partialSize(), 100000u);
  ::kill(child.pid(), SIGKILL);
  EXPECT_EQ(child.wait().signal, SIGKILL);
  ModelStore store(home_.locations());
  EXPECT_TRUE(store.reservedLocales().empty());
  EXPECT_TRUE(store.installedLocales().empty());
  // As if a kill had also hit an unpacking: a temporary folder is left.
  writeFile(home_.locations().modelsDir() / ".tmp-en-GB-killed/m/m.lm.bin", "partial");

  catalog("ok");
  auto again = runProgram(tool("install"), {}, home_.environment());
  EXPECT_EQ(again.out, "installed\n");
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(modelFolders(), std::vector<std::string>{"en-GB"});
  EXPECT_TRUE(store.installedModel(Locale::fromIdentifier("en-GB")));
  // The second attempt continued where the first stopped.
  EXPECT_TRUE(server_.requests().back().starts_with("GET /ok/small.tar.gz bytes="))
      << server_.requests().back();
}

TEST_F(StoreProcessTest, TwoInstallsOfOneLocaleDownloadItOnce) {
  catalog("slow");
  ChildProcess first({.argv = tool("install"), .environment = home_.environment()});
  auto second = runProgram(tool("install"), {}, home_.environment());
  EXPECT_EQ(first.wait().status, 0);
  EXPECT_EQ(second.out, "installed\n");
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(modelFolders(), std::vector<std::string>{"en-GB"});
  EXPECT_EQ(server_.requests(), std::vector<std::string>{"GET /slow/small.tar.gz -"});

  auto release = runProgram(tool("release"), {}, home_.environment());
  EXPECT_EQ(release.out, "true\n");
  EXPECT_TRUE(modelFolders().empty());
  EXPECT_EQ(runProgram(tool("release"), {}, home_.environment()).out, "false\n");
}

// Two data homes that share one cache: each install gets its model, one
// download at a time into the cached file.
TEST_F(StoreProcessTest, TwoDataHomesShareOneCache) {
  LoopbackServer faster(served_.folder, home_.root() / "faster.log", 2 << 20);
  catalogAt(faster.url("slow", served_.smallFile));
  auto other = home_.environment();
  for (auto& variable : other) {
    if (variable.starts_with("XDG_DATA_HOME=")) variable += "-other";
  }
  ChildProcess first({.argv = tool("install"), .environment = home_.environment()});
  auto second = runProgram(tool("install"), {}, other);
  EXPECT_EQ(second.out, "installed\n");
  EXPECT_EQ(first.wait().out, "installed\n");
  support::StoreLocations otherHome = home_.locations();
  otherHome.dataHome += "-other";
  for (const auto& locations : {home_.locations(), otherHome}) {
    EXPECT_TRUE(ModelStore(locations).installedModel(Locale::fromIdentifier("en-GB")));
  }
  EXPECT_FALSE(fs::exists(partial()));
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Writes that fail while downloading or while unpacking (a file size cap,
// as a full disk would; an injected I/O error, which libarchive only warns
// about) and a disk without room for the model: one error, and no entry or
// temporary folder is left.
TEST_F(StoreProcessTest, WriteFailuresLeaveTheStoreAsItWas) {
  struct Case {
    std::string file, fault, reason;
  };
  const std::string injector = std::string("LD_PRELOAD=") + STORE_FAULT_INJECTION;
  const std::vector<Case> cases = {
      {served_.smallFile, "STORE_TOOL_FILE_LIMIT=1000000",
       "cannot write " + partial().string() + ": File too large"},
      {served_.zerosFile, "STORE_TOOL_FILE_LIMIT=1000000",
       "cannot write \"m/m.lm.bin\": File too large"},
      {served_.smallFile, "STORE_FAULT_WRITE_EIO=/m/m.lm.bin",
       "cannot write \"m/m.lm.bin\": Input/output error"},
      {served_.smallFile, "STORE_FAULT_FREE_BYTES=1000000",
       "the model needs 2097189 bytes and " + home_.locations().modelsDir().string() +
           " has 1000000 bytes free"}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.fault);
    const bool injected = test.fault.rfind("STORE_FAULT_", 0) == 0;
    // A sanitizer's runtime must be the first library of the process, so a
    // preloaded injector cannot stand before it; the plain build runs these.
    if (injected && kSanitized) continue;
    catalogAt(server_.url("ok", test.file), test.file);
    auto env = home_.environment();
    env.push_back(test.fault);
    if (injected) env.push_back(injector);
    auto run = runProgram(tool("install"), {}, env);
    EXPECT_EQ(run.out,
              "error: Could not install the speech model for en-GB: " + test.reason + "\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(modelFolders().empty());
  }
}

// HTTPS against a certificate authority of the test's own, which the store
// trusts through SSL_CERT_FILE: a good certificate works; one for another
// host, an expired one and an authority the store was not told of are each
// one error line.
TEST_F(StoreProcessTest, HttpsTrustsTheAuthorityOfTheEnvironment) {
  fs::path pki = home_.root() / "pki";
  fs::create_directories(pki);
  auto openssl = [&](const std::string& arguments) {
    std::string command = "cd '" + pki.string() + "' && openssl " + arguments + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  };
  const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  openssl("req -x509 " + key + " -keyout ca.key -out ca.pem -days 2 -subj /CN=earshot-test-ca");
  writeFile(pki / "loopback.ext", "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
  writeFile(pki / "elsewhere.ext", "subjectAltName=DNS:models.example.org\n");
  struct Server {
    std::string name, extension, days;
  };
  const std::vector<Server> servers = {{"good", "loopback.ext", "2"},
                                       {"elsewhere", "elsewhere.ext", "2"},
                                       {"expired", "loopback.ext", "-1"}};
  for (const auto& server : servers) {
    openssl("req " + key + " -keyout " + server.name + ".key -out " + server.name +
            ".csr -subj /CN=" + server.name);
    openssl("x509 -req -in " + server.name + ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -out " +
            server.name + ".pem -days " + server.days + " -extfile " + server.extension);
  }
  auto install = [&](const std::string& name, bool trusted) {
    LoopbackServer https(served_.folder, home_.root() / (name + ".log"), 64 << 20,
                         {pki / (name + ".pem"), pki / (name + ".key")});
    std::string url = https.url("ok", served_.smallFile);
    catalogAt(url);
    auto env = home_.environment();
    if (trusted) env.push_back("SSL_CERT_FILE=" + (pki / "ca.pem").string());
    auto run = runProgram(tool("install"), {}, env);
    EXPECT_TRUE(modelFolders().empty() || run.status == 0);
    return std::pair{run, url};
  };
  const std::string failed =
      "error: Could not install the speech model for en-GB: the download from ";
  const std::string after =
      " failed after 0 bytes of " + std::to_string(served_.size(served_.smallFile)) + " bytes: ";
  {
    auto [run, url] = install("good", false);
    EXPECT_EQ(run.out, failed + url + after +
                           "SSL certificate problem: unable to get local issuer certificate\n");
  }
  {
    auto [run, url] = install("elsewhere", true);
    EXPECT_EQ(run.out, failed + url + after +
                           "SSL: no alternative certificate subject name matches target host name "
                           "'127.0.0.1'\n");
  }
  {
    auto [run, url] = install("expired", true);
    EXPECT_EQ(run.out, failed + url + after + "SSL certificate problem: certificate has expired\n");
  }
  EXPECT_TRUE(modelFolders().empty());
  auto [run, url] = install("good", true);
  EXPECT_EQ(run.out, "installed\n");
  EXPECT_EQ(modelFolders(), std::vector<std::string>{"en-GB"});
}

TEST_F(StoreProcessTest, DownloadsThroughTheProxyOfTheEnvironment) {
  std::string direct = server_.url("ok", served_.smallFile);
  catalogAt("http://models.invalid/ok/small.tar.gz");
  auto env = home_.environment();
  env.push_back("http_proxy=" + direct.substr(0, direct.find("/ok/")));
  auto run = runProgram(tool("install"), {}, env);
  EXPECT_EQ(run.out, "installed\n");
  EXPECT_EQ(modelFolders(), std::vector<std::string>{"en-GB"});
  EXPECT_EQ(server_.requests(),
            std::vector<std::string>{"GET http://models.invalid/ok/small.tar.gz -"});
}

}  // namespace
}  // namespace earshot::platform::linuxos::store
