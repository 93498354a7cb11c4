#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/locale.h"
#include "platform/speech_transcriber.h"

namespace earshot::platform {

// The completed fraction of a download. The platform writes it while another
// thread (the install progress poller) reads it, without a lock. While the
// install waits for another process (one using the same model store or the
// same download), the fraction stays where it is.
class Progress {
 public:
  double fractionCompleted() const { return fraction_.load(std::memory_order_relaxed); }
  void setFractionCompleted(double fraction) {
    fraction_.store(fraction, std::memory_order_relaxed);
  }

 private:
  std::atomic<double> fraction_{0.0};
};

// One pending model installation. Implementations: StoreInstallationRequest
// (platform/linux/store), the scripted download (platform/scripted).
class AssetInstallationRequest {
 public:
  virtual ~AssetInstallationRequest() = default;
  // The request's progress; shared so that a poller may outlive the request.
  virtual std::shared_ptr<Progress> progress() = 0;
  // Blocks until the model is installed; throws on failure.
  virtual void downloadAndInstall() = 0;
};

// Installed speech models and locale reservations.
// Implementations: store::StoreAssetInventory (platform/linux/store),
// ScriptedAssetInventory (platform/scripted).
class AssetInventory {
 public:
  virtual ~AssetInventory() = default;
  virtual std::vector<Locale> reservedLocales() = 0;
  virtual int64_t maximumReservedLocales() = 0;
  // The request that installs what the modules need, or nullptr when nothing
  // needs installing. Throws on failure. The caller owns the request.
  virtual std::unique_ptr<AssetInstallationRequest> assetInstallationRequest(
      const ModuleList& modules) = 0;
  // Releases the reservation of a locale; whether one was released.
  virtual bool release(const Locale& reservedLocale) = 0;
};

}  // namespace earshot::platform
