#include "platform/linux/adaptation/model_adaptation_key.h"

#include "platform/linux/support/regular_file.h"
#include "platform/linux/support/sha256.h"

namespace earshot::platform::linuxos {
namespace {

// Model files may be links (archives hold some); a FIFO or a device is no
// model file and makes no key.
constexpr size_t kLargestModelFile = size_t{1} << 30;

bool hashFile(support::Sha256& hash, const std::filesystem::path& file) {
  return support::readRegularFile(
      file, kLargestModelFile,
      [&hash](std::string_view piece) {
        hash.update(piece.data(), piece.size());
        return true;
      },
      support::Links::follow);
}

}  // namespace

std::optional<std::string> modelAdaptationKey(const SpeechModel& model) {
  std::string locale = model.locale.bcp47();
  for (char c : locale) {
    bool safe =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
    if (!safe) return std::nullopt;
  }
  try {
    support::Sha256 hash;
    // A model may have no feature parameters (the engine's defaults apply).
    hashFile(hash, model.acousticModel / "feat.params");
    if (!hashFile(hash, model.acousticModel / "means")) return std::nullopt;
    return locale + "-" + hash.hexDigest().substr(0, 16);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace earshot::platform::linuxos
