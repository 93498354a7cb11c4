#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/asset_inventory.h"
#include "platform/scripted/call_log.h"
#include "platform/scripted/scripted_sleeper.h"

namespace earshot::platform::scripted {

// The asset inventory as a test scripts it. Fields are set before the mode
// runs and not changed while it runs.
class ScriptedAssetInventory final : public AssetInventory {
 public:
  explicit ScriptedAssetInventory(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

  std::vector<Locale> reserved;
  int64_t maximumReserved = 0;
  // What release answers.
  bool releaseAnswer = false;
  // When set, assetInstallationRequest fails with this text.
  std::optional<std::string> requestFailure;
  // Whether assetInstallationRequest returns a request (else: nothing to install).
  bool needsInstallation = false;
  // When set, downloadAndInstall fails with this text (when the download ends).
  std::optional<std::string> downloadFailure;

  // How long a download takes on `clock` (virtual time), and how its
  // progress moves meanwhile. With no duration the download ends at once
  // and the progress keeps its steps at zero time only. A download that
  // takes time needs a clock, and someone sleeping on it to move it on.
  std::chrono::milliseconds downloadDuration{0};
  std::vector<FractionStep> fractions;
  std::shared_ptr<ScriptedSleeper> clock;

  std::vector<Locale> reservedLocales() override;
  int64_t maximumReservedLocales() override;
  std::unique_ptr<AssetInstallationRequest> assetInstallationRequest(
      const ModuleList& modules) override;
  bool release(const Locale& reservedLocale) override;

 private:
  std::shared_ptr<CallLog> log_;
};

}  // namespace earshot::platform::scripted
