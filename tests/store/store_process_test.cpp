// Installs in separate processes: killed half-way, or two at once.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "platform/linux/store/model_store.h"
#include "tests/store/served_models.h"
#include "tests/support/child_process.h"

namespace earshot::platform::linuxos::store {
namespace {

namespace fs = std::filesystem;
using earshot::testing::catalogJson;
using earshot::testing::ChildProcess;
using earshot::testing::LoopbackServer;
using earshot::testing::runProgram;
using earshot::testing::ServedModels;
using earshot::testing::TemporaryHome;
using earshot::testing::writeFile;

class StoreProcessTest : public ::testing::Test {
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

// Writes that fail (here a file size cap, as a full disk would) while
// downloading or while unpacking: one error, and no entry or temporary
// folder is left.
TEST_F(StoreProcessTest, WriteFailuresLeaveTheStoreAsItWas) {
  struct Case {
    std::string file, reason;
  };
  const std::vector<Case> cases = {
      {served_.smallFile, "cannot write " + partial().string() + ": File too large"},
      {served_.zerosFile, "cannot write \"m/m.lm.bin\": File too large"}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.file);
    catalogAt(server_.url("ok", test.file), test.file);
    auto env = home_.environment();
    env.push_back("STORE_TOOL_FILE_LIMIT=1000000");
    auto run = runProgram(tool("install"), {}, env);
    EXPECT_EQ(run.out,
              "error: Could not install the speech model for en-GB: " + test.reason + "\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(modelFolders().empty());
  }
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
