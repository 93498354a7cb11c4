#include "platform/linux/store/archive_extract.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/linux/store/store_failure.h"
#include "tests/platform/linux/store/store_fixture.h"

namespace earshot::platform::linuxos::store {
namespace {

namespace fs = std::filesystem;
using namespace earshot::testkit;  // the store tests' fixtures
using Kind = ArchiveItem::Kind;

// Extracts into <home>/work/into; <home>/work/outside is where a hostile
// archive would like to write.
class ExtractTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(into());
    fs::create_directories(work() / "outside");
  }
  fs::path work() const { return home_.root() / "work"; }
  fs::path into() const { return work() / "into"; }
  fs::path archive() const { return home_.root() / "model.archive"; }
  void extract(ArchiveFormat format) { extractArchive(archive(), format, fs::canonical(into())); }

  TemporaryHome home_;
};

TEST_F(ExtractTest, UnpacksFilesFoldersAndInnerLinks) {
  for (auto [format, written] : {std::pair{ArchiveFormat::tarGzip, TestArchiveFormat::tarGzip},
                                 {ArchiveFormat::tar, TestArchiveFormat::tar},
                                 {ArchiveFormat::zip, TestArchiveFormat::zip}}) {
    fs::remove_all(into());
    fs::create_directories(into());
    writeArchive(archive(), written,
                 {{Kind::folder, "./m", {}, {}, {}},
                  {Kind::file, "m/ac/mdef", "acoustic", {}, {}},
                  {Kind::file, "m/lm.bin", std::string(300000, 'x'), {}, {}},
                  {Kind::symlink, "m/ac/lm", {}, {}, "../lm.bin"},
                  {Kind::hardlink, "m/lm-copy", {}, {}, "m/lm.bin"}});
    extract(format);
    EXPECT_EQ(readFile(into() / "m/ac/mdef"), "acoustic");
    EXPECT_EQ(fs::file_size(into() / "m/ac/lm"), 300000u);
    EXPECT_TRUE(fs::is_symlink(into() / "m/ac/lm"));
    if (format != ArchiveFormat::zip) {
      EXPECT_EQ(fs::file_size(into() / "m/lm-copy"), 300000u);
    }
  }
}

struct HostileCase {
  std::string name;
  std::vector<ArchiveItem> items;
  std::string complaint;
};

class HostileArchiveTest : public ExtractTest, public testing::WithParamInterface<HostileCase> {};

TEST_P(HostileArchiveTest, IsRefusedAndWritesNothingOutside) {
  writeArchive(archive(), TestArchiveFormat::tar, GetParam().items);
  try {
    extract(ArchiveFormat::tar);
    FAIL() << "extracted " << GetParam().name;
  } catch (const StoreFailure& failure) {
    EXPECT_EQ(std::string(failure.what()), GetParam().complaint);
  }
  EXPECT_TRUE(fs::is_empty(work() / "outside"));
  EXPECT_FALSE(fs::exists(work() / "evil"));
  EXPECT_FALSE(fs::exists(home_.root() / "evil"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileArchiveTest,
    testing::Values(
        HostileCase{"dotdot",
                    {{Kind::file, "m/ok", "fine", {}, {}}, {Kind::file, "../evil", "x", {}, {}}},
                    "the archive entry \"../evil\" leaves the model folder"},
        HostileCase{"deep dotdot",
                    {{Kind::file, "m/../../outside/evil", "x", {}, {}}},
                    "the archive entry \"m/../../outside/evil\" leaves the model folder"},
        HostileCase{"absolute",
                    {{Kind::file, "/tmp/evil", "x", {}, {}}},
                    "the archive entry \"/tmp/evil\" leaves the model folder"},
        HostileCase{"device",
                    {{Kind::device, "m/null", {}, {}, {}}},
                    "the archive entry \"m/null\" is a device, fifo or socket"},
        HostileCase{"fifo",
                    {{Kind::fifo, "m/pipe", {}, {}, {}}},
                    "the archive entry \"m/pipe\" is a device, fifo or socket"},
        HostileCase{"symlink out",
                    {{Kind::symlink, "m/out", {}, {}, "../../outside"}},
                    "the archive entry \"m/out\" links to a place outside the model folder"},
        HostileCase{"absolute symlink",
                    {{Kind::symlink, "m/etc", {}, {}, "/etc"}},
                    "the archive entry \"m/etc\" links to a place outside the model folder"},
        // Each link looks harmless on its own; together they climb out.
        HostileCase{"chained symlinks",
                    {{Kind::folder, "d", {}, {}, {}},
                     {Kind::symlink, "d/up", {}, {}, ".."},
                     {Kind::symlink, "escape", {}, {}, "d/up/.."}},
                    "the archive entry \"escape\" links to a place outside the model folder"},
        HostileCase{"write through a symlink",
                    {{Kind::folder, "d", {}, {}, {}},
                     {Kind::symlink, "d/here", {}, {}, "."},
                     {Kind::file, "d/here/../../evil", "x", {}, {}}},
                    "the archive entry \"d/here/../../evil\" leaves the model folder"},
        HostileCase{"hardlink out",
                    {{Kind::hardlink, "m/passwd", {}, {}, "../../etc/passwd"}},
                    "the archive entry \"m/passwd\" links to a file outside the model folder"}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      return name;
    });

TEST_F(ExtractTest, DamagedArchiveIsAClearFailure) {
  writeArchive(archive(), TestArchiveFormat::tarGzip,
               {{Kind::file, "m/lm.bin", std::string(200000, 'y'), {}, {}}});
  std::string bytes = readFile(archive());
  earshot::testkit::writeFile(archive(), bytes.substr(0, bytes.size() / 2));
  try {
    extract(ArchiveFormat::tarGzip);
    FAIL();
  } catch (const StoreFailure& failure) {
    EXPECT_EQ(std::string(failure.what()).rfind("the archive is damaged: ", 0), 0u)
        << failure.what();
  }
}

TEST_F(ExtractTest, WrongFormatIsAClearFailure) {
  writeArchive(archive(), TestArchiveFormat::zip, {{Kind::file, "m/a", "a", {}, {}}});
  EXPECT_THROW(extract(ArchiveFormat::tarGzip), StoreFailure);
}

}  // namespace
}  // namespace earshot::platform::linuxos::store
