#include <memory>
#include <optional>

#include "platform/platform.h"

namespace earshot::platform {
namespace {

// A machine without a usable speech engine: it says so and offers nothing.
class UnavailableSpeechServices final : public SpeechServices {
 public:
  bool isAvailable() override { return false; }
  std::optional<Locale> supportedLocale(const Locale&) override { return std::nullopt; }
  std::vector<Locale> supportedLocales() override { return {}; }
  std::vector<Locale> installedLocales() override { return {}; }
  std::shared_ptr<SpeechTranscriber> makeTranscriber(const Locale&, TranscriberPreset) override {
    return nullptr;
  }
  std::optional<AudioFormat> bestAvailableAudioFormat(const ModuleList&) override {
    return std::nullopt;
  }
  std::shared_ptr<SpeechAnalyzer> makeAnalyzer(const ModuleList&) override { return nullptr; }
};

class UnavailableAssetInventory final : public AssetInventory {
 public:
  std::vector<Locale> reservedLocales() override { return {}; }
  int64_t maximumReservedLocales() override { return 0; }
  std::unique_ptr<AssetInstallationRequest> assetInstallationRequest(const ModuleList&) override {
    return nullptr;
  }
  bool release(const Locale&) override { return false; }
};

class NoConverters final : public AudioConverterFactory {
 public:
  std::unique_ptr<AudioConverter> makeConverter(const AudioFormat&, const AudioFormat&) override {
    return nullptr;
  }
};

}  // namespace

Platform makeSystemPlatform() {
  return Platform{std::make_shared<UnavailableSpeechServices>(),
                  std::make_shared<UnavailableAssetInventory>(), std::make_shared<NoConverters>(),
                  std::make_shared<SystemSleeper>()};
}

}  // namespace earshot::platform
