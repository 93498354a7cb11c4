#pragma once

#include <filesystem>

#include "platform/linux/adaptation/cepstral_mean_memory.h"

namespace earshot::platform::linuxos {

// Cepstral means kept as small text files in one folder, one per name:
// "<name>.cmn" holding a header line, the name, the seconds of speech and
// the values on one line (files of the first format, without the seconds,
// are read too).
// A file is replaced whole (a temporary file flushed to disk, then renamed
// over it), so two processes saving at once leave one of their files, never
// a mix. Files that are missing, unreadable, malformed, of another key, or
// whose values are not finite or far outside what speech gives are ignored.
// A folder that is missing and cannot be made, or is read-only, only means
// nothing is kept. Nothing is ever written to stderr.
class CepstralMeanFiles final : public CepstralMeanMemory {
 public:
  explicit CepstralMeanFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

  std::optional<KeptMean> recallKept(const std::string& name) override;
  void keep(const std::string& name, const KeptMean& kept) override;
  void forget(const Locale& locale) override;

  std::filesystem::path fileOf(const std::string& name) const;

 private:
  std::filesystem::path folder_;
};

}  // namespace earshot::platform::linuxos
