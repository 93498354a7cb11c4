#include "app/mode_choice.h"

#include <gtest/gtest.h>

namespace earshot {
namespace {

struct DispatchCase {
  std::vector<std::string> arguments;
  Mode mode;
  std::string locale;
};

class ModeChoiceCases : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(ModeChoiceCases, FirstApplicableRuleWins) {
  const DispatchCase& c = GetParam();
  ModeChoice choice = chooseMode(c.arguments);
  EXPECT_EQ(choice.mode, c.mode);
  EXPECT_EQ(choice.requestedLocale, c.locale);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModeChoiceCases,
    ::testing::Values(
        DispatchCase{{"earshot"}, Mode::liveTranscription, ""},
        DispatchCase{{}, Mode::liveTranscription, ""},
        DispatchCase{{"earshot", "--release"}, Mode::liveTranscription, ""},
        DispatchCase{{"earshot", "--install"}, Mode::liveTranscription, ""},
        DispatchCase{{"earshot", "--locales", "--release"}, Mode::locales, ""},
        DispatchCase{{"earshot", "--release", "X", "--install", "Y"}, Mode::release, "X"},
        DispatchCase{{"earshot", "--install", "Y", "--release", "X"}, Mode::release, "X"},
        DispatchCase{{"earshot", "--install", "X", "--locales"}, Mode::install, "X"},
        DispatchCase{{"earshot", "--release", "--locales"}, Mode::release, "--locales"},
        DispatchCase{{"earshot", "--release", "--release", "X"}, Mode::release, "--release"},
        DispatchCase{{"earshot", "--install", "--release"}, Mode::install, "--release"},
        DispatchCase{{"earshot", "--verbose", "-h", "--help"}, Mode::liveTranscription, ""},
        DispatchCase{
            {"earshot", "--locales=1", "--LOCALES", "--install=en"}, Mode::liveTranscription, ""},
        DispatchCase{{"earshot", "--install", " en_US "}, Mode::install, " en_US "},
        DispatchCase{{"earshot", "--install", ""}, Mode::install, ""},
        // Index 0 is scanned too.
        DispatchCase{{"--locales"}, Mode::locales, ""},
        DispatchCase{{"--release", "de"}, Mode::release, "de"}));

}  // namespace
}  // namespace earshot
