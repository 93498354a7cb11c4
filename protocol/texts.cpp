#include "protocol/texts.h"

namespace earshot::protocol::text {
namespace {

constexpr std::string_view kUnsupportedLanguage = "Apple Speech does not support language ";
constexpr std::string_view kLiveAdvice = ". Choose a supported language in Audio settings.";
constexpr std::string_view kAssetEnd = ".";

std::string_view endOf(Refusal where) {
  return where == Refusal::liveTranscription ? kLiveAdvice : kAssetEnd;
}

}  // namespace

std::string unsupportedLanguage(std::string_view requested, Refusal where) {
  std::string text(kUnsupportedLanguage);
  text += requested;
  text += endOf(where);
  return text;
}

std::optional<std::string> unsupportedLanguageRequest(std::string_view message) {
  if (!message.starts_with(kUnsupportedLanguage)) return std::nullopt;
  std::string_view rest = message.substr(kUnsupportedLanguage.size());
  // The live mode's advice first: it ends in the asset modes' end too.
  for (Refusal where : {Refusal::liveTranscription, Refusal::assetMode}) {
    std::string_view end = endOf(where);
    if (rest.ends_with(end)) return std::string(rest.substr(0, rest.size() - end.size()));
  }
  return std::nullopt;
}

std::string modelUnavailable(std::string_view locale) {
  return "Apple speech model is unavailable for " + std::string(locale) + ".";
}

std::string downloadingModel(std::string_view locale) {
  return "Downloading Apple speech model for " + std::string(locale) + "\u2026";
}

}  // namespace earshot::protocol::text
