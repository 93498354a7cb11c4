#include "platform/scripted/scripted_asset_inventory.h"

#include "platform/platform_error.h"

namespace earshot::platform::scripted {
namespace {

class ScriptedInstallationRequest final : public AssetInstallationRequest {
 public:
  ScriptedInstallationRequest(std::optional<std::string> failure, std::shared_ptr<CallLog> log)
      : failure_(std::move(failure)), log_(std::move(log)) {}

  std::shared_ptr<Progress> progress() override {
    log_->record("progress");
    return progress_;
  }

  void downloadAndInstall() override {
    log_->record("downloadAndInstall");
    if (failure_) throw PlatformError(*failure_);
    progress_->setFractionCompleted(1.0);
  }

 private:
  std::optional<std::string> failure_;
  std::shared_ptr<CallLog> log_;
  std::shared_ptr<Progress> progress_ = std::make_shared<Progress>();
};

}  // namespace

std::vector<Locale> ScriptedAssetInventory::reservedLocales() {
  log_->record("reservedLocales");
  return reserved;
}

int64_t ScriptedAssetInventory::maximumReservedLocales() {
  log_->record("maximumReservedLocales");
  return maximumReserved;
}

std::unique_ptr<AssetInstallationRequest> ScriptedAssetInventory::assetInstallationRequest(
    const ModuleList& modules) {
  std::string call = "assetInstallationRequest(";
  for (size_t i = 0; i < modules.size(); ++i) {
    if (i > 0) call += ',';
    call += modules[i]->locale().bcp47();
  }
  log_->record(call + ")");
  if (requestFailure) throw PlatformError(*requestFailure);
  if (!needsInstallation) return nullptr;
  return std::make_unique<ScriptedInstallationRequest>(downloadFailure, log_);
}

bool ScriptedAssetInventory::release(const Locale& reservedLocale) {
  log_->record("release(" + reservedLocale.bcp47() + ")");
  return releaseAnswer;
}

}  // namespace earshot::platform::scripted
