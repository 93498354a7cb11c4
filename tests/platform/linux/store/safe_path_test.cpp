// Archive and catalog paths come from the network: these checks are what
// keeps a model archive inside its folder.
#include "platform/linux/store/safe_path.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace earshot::platform::linuxos::store {
namespace {

struct PathCase {
  std::string path;
  std::optional<std::string> contained;
};

class ContainedPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(ContainedPathTest, KeepsOnlyPathsInsideTheFolder) {
  EXPECT_EQ(containedPath(GetParam().path), GetParam().contained) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ContainedPathTest,
    testing::Values(PathCase{"en-GB/acoustic", "en-GB/acoustic"},
                    PathCase{"./en-GB//model.lm.bin", "en-GB/model.lm.bin"},
                    PathCase{"en-GB/acoustic/", "en-GB/acoustic"}, PathCase{"a..b/c..", "a..b/c.."},
                    PathCase{"", std::nullopt}, PathCase{".", std::nullopt},
                    PathCase{"./", std::nullopt}, PathCase{"/etc/passwd", std::nullopt},
                    PathCase{"..", std::nullopt}, PathCase{"../x", std::nullopt},
                    PathCase{"a/../../x", std::nullopt}, PathCase{"a/../b", std::nullopt},
                    PathCase{std::string("a\0b", 3), std::nullopt}));

struct LinkCase {
  std::string link, target;
  bool inside;
};

class LinkTest : public testing::TestWithParam<LinkCase> {};

TEST_P(LinkTest, FollowsTheTargetFromTheLinksFolder) {
  EXPECT_EQ(linkStaysInside(GetParam().link, GetParam().target), GetParam().inside)
      << GetParam().link << " -> " << GetParam().target;
}

INSTANTIATE_TEST_SUITE_P(
    Table, LinkTest,
    testing::Values(LinkCase{"a/link", "file", true}, LinkCase{"a/link", "../b/file", true},
                    LinkCase{"a/b/link", "../../file", true}, LinkCase{"link", ".", true},
                    LinkCase{"link", "../file", false}, LinkCase{"a/link", "../../file", false},
                    LinkCase{"a/link", "b/../../../file", false},
                    LinkCase{"a/link", "/etc/passwd", false}, LinkCase{"a/link", "", false}));

}  // namespace
}  // namespace earshot::platform::linuxos::store
