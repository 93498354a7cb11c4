#include "app/mode_choice.h"

#include <gtest/gtest.h>

namespace earshot {
namespace {

struct DispatchCase {
  std::vector<std::string> arguments;
  app::Mode mode;
  std::string locale;
};

class ModeChoiceCases : public testing::TestWithParam<DispatchCase> {};

TEST_P(ModeChoiceCases, FirstApplicableRuleWins) {
  const DispatchCase& c = GetParam();
  app::ModeChoice choice = app::chooseMode(c.arguments);
  EXPECT_EQ(choice.mode, c.mode);
  EXPECT_EQ(choice.requestedLocale, c.locale);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModeChoiceCases,
    testing::Values(
        DispatchCase{{"earshot"}, app::Mode::liveTranscription, ""},
        DispatchCase{{}, app::Mode::liveTranscription, ""},
        DispatchCase{{"earshot", "--release"}, app::Mode::liveTranscription, ""},
        DispatchCase{{"earshot", "--install"}, app::Mode::liveTranscription, ""},
        DispatchCase{{"earshot", "--locales", "--release"}, app::Mode::locales, ""},
        DispatchCase{{"earshot", "--release", "X", "--install", "Y"}, app::Mode::release, "X"},
        DispatchCase{{"earshot", "--install", "Y", "--release", "X"}, app::Mode::release, "X"},
        DispatchCase{{"earshot", "--install", "X", "--locales"}, app::Mode::install, "X"},
        DispatchCase{{"earshot", "--release", "--locales"}, app::Mode::release, "--locales"},
        DispatchCase{{"earshot", "--release", "--release", "X"}, app::Mode::release, "--release"},
        DispatchCase{{"earshot", "--install", "--release"}, app::Mode::install, "--release"},
        DispatchCase{{"earshot", "--verbose", "-h", "--help"}, app::Mode::liveTranscription, ""},
        DispatchCase{{"earshot", "--locales=1", "--LOCALES", "--install=en"},
                     app::Mode::liveTranscription,
                     ""},
        DispatchCase{{"earshot", "--install", " en_US "}, app::Mode::install, " en_US "},
        DispatchCase{{"earshot", "--install", ""}, app::Mode::install, ""},
        // Index 0 is scanned too.
        DispatchCase{{"--locales"}, app::Mode::locales, ""},
        DispatchCase{{"--release", "de"}, app::Mode::release, "de"}));

}  // namespace
}  // namespace earshot
