#include "platform/scripted/scripted_asset_inventory.h"

#include "platform/platform_error.h"

namespace earshot::platform::scripted {
namespace {

class ScriptedInstallationRequest final : public AssetInstallationRequest {
 public:
  ScriptedInstallationRequest(std::shared_ptr<Progress> progress,
                              std::shared_ptr<ScriptedSleeper> clock,
                              std::optional<std::string> failure, std::shared_ptr<CallLog> log)
      : progress_(std::move(progress)),
        clock_(std::move(clock)),
        failure_(std::move(failure)),
        log_(std::move(log)) {}

  std::shared_ptr<Progress> progress() override {
    log_->record("progress");
    return progress_;
  }

  void downloadAndInstall() override {
    log_->record("downloadAndInstall");
    if (clock_ && !clock_->awaitDownloadEnd()) {
      throw PlatformError("scripted download: the clock never reached its end");
    }
    if (failure_) throw PlatformError(*failure_);
  }

 private:
  std::shared_ptr<Progress> progress_;
  std::shared_ptr<ScriptedSleeper> clock_;
  std::optional<std::string> failure_;
  std::shared_ptr<CallLog> log_;
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
  auto progress = std::make_shared<Progress>();
  if (downloadDuration > std::chrono::milliseconds::zero() && !clock) {
    throw PlatformError("scripted download: a download that takes time needs a clock");
  }
  if (clock) {
    // Scheduled now, before anyone can sleep on the clock, so that the end
    // falls into the right sleep.
    clock->scheduleDownload(progress, fractions, downloadDuration);
  } else {
    for (const FractionStep& step : fractions) {
      if (step.at <= std::chrono::milliseconds::zero())
        progress->setFractionCompleted(step.fraction);
    }
  }
  return std::make_unique<ScriptedInstallationRequest>(progress, clock, downloadFailure, log_);
}

bool ScriptedAssetInventory::release(const Locale& reservedLocale) {
  log_->record("release(" + reservedLocale.bcp47() + ")");
  return releaseAnswer;
}

}  // namespace earshot::platform::scripted
