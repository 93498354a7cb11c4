#include <string>
#include <vector>

#include "assets/asset_modes.h"
#include "protocol/names.h"

namespace earshot::assets {
namespace {

// One identifier per element, in the platform's order, duplicates kept.
std::vector<std::string> identifiers(const std::vector<platform::Locale>& locales) {
  std::vector<std::string> texts;
  texts.reserve(locales.size());
  for (const platform::Locale& locale : locales) texts.push_back(locale.bcp47());
  return texts;
}

}  // namespace

void emitLocales(mode::ModeContext& context) {
  platform::SpeechServices& speech = *context.platform.speech;
  if (!speech.isAvailable()) {
    // Not a failure here: the host learns it from the listing itself.
    context.output.emit(channel::OutgoingMessage(protocol::type::kLocales)
                            .add(protocol::member::kAvailable, false)
                            .add(protocol::member::kSupported, std::vector<std::string>{})
                            .add(protocol::member::kInstalled, std::vector<std::string>{}));
    return;
  }
  platform::AssetInventory& assets = *context.platform.assets;
  std::vector<platform::Locale> supported = speech.supportedLocales();
  std::vector<platform::Locale> installed = speech.installedLocales();
  std::vector<platform::Locale> reserved = assets.reservedLocales();
  std::vector<std::string> supportedTexts = identifiers(supported);
  std::vector<std::string> installedTexts = identifiers(installed);
  std::vector<std::string> reservedTexts = identifiers(reserved);
  int64_t maxReserved = assets.maximumReservedLocales();
  context.output.emit(channel::OutgoingMessage(protocol::type::kLocales)
                          .add(protocol::member::kAvailable, true)
                          .add(protocol::member::kSupported, supportedTexts)
                          .add(protocol::member::kInstalled, installedTexts)
                          .add(protocol::member::kReserved, reservedTexts)
                          .add(protocol::member::kMaxReserved, maxReserved));
}

}  // namespace earshot::assets
