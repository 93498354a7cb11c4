#include "platform/linux/engine/hypothesis_text.h"

#include <gtest/gtest.h>

namespace earshot::platform::linuxos {
namespace {

TEST(HypothesisText, KeepsWordsDropsFillersAndAlternateMarkers) {
  struct Case {
    const char* engine;
    const char* text;
  } cases[] = {
      {"go forward ten meters", "go forward ten meters"},
      {"<s> go <sil> forward </s>", "go forward"},
      {"[NOISE] read(2) the ++UM++ book(12)", "read the book"},
      {"  two   spaces\tand tab  ", "two spaces and tab"},
      {"<sil> [NOISE] ++BREATH++", ""},
      {"", ""},
      // Parentheses that are not an alternate number stay.
      {"x(a) (2) word()", "x(a) (2) word()"},
  };
  for (const auto& c : cases) EXPECT_EQ(hypothesisText(c.engine), c.text) << c.engine;
}

}  // namespace
}  // namespace earshot::platform::linuxos
