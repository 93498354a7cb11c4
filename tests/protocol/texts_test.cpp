#include "protocol/texts.h"

#include <gtest/gtest.h>

namespace earshot::protocol::text {
namespace {

TEST(ProtocolTexts, RefusalsReadBackTheRequestAndNothingElse) {
  EXPECT_EQ(unsupportedLanguage("xx-YY", Refusal::liveTranscription),
            "Apple Speech does not support language xx-YY. Choose a supported language in Audio "
            "settings.");
  EXPECT_EQ(unsupportedLanguage("xx-YY", Refusal::assetMode),
            "Apple Speech does not support language xx-YY.");

  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"Apple Speech does not support language xx-YY. Choose a supported language in Audio "
       "settings.",
       "xx-YY"},
      {"Apple Speech does not support language en_US.UTF-8.", "en_US.UTF-8"},
      {"Apple Speech does not support language .", ""},
      {"Apple Speech does not support language xx-YY", std::nullopt},
      {"apple Speech does not support language xx-YY.", std::nullopt},
      {"Expected init message", std::nullopt},
      {"Could not install: Apple Speech does not support language xx-YY.", std::nullopt},
  };
  for (const auto& [message, request] : cases) {
    EXPECT_EQ(unsupportedLanguageRequest(message), request) << message;
  }
}

}  // namespace
}  // namespace earshot::protocol::text
