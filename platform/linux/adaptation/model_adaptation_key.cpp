#include "platform/linux/adaptation/model_adaptation_key.h"

#include <array>
#include <fstream>

#include "platform/linux/support/sha256.h"

namespace earshot::platform::linuxos {
namespace {

bool hashFile(support::Sha256& hash, const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::array<char, 65536> chunk;
  while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0) {
    hash.update(chunk.data(), static_cast<size_t>(in.gcount()));
  }
  return !in.bad();
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
