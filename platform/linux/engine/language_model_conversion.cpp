#include "platform/linux/engine/language_model_conversion.h"

#include <pocketsphinx.h>

#include <stdexcept>
#include <string>

#include "platform/linux/engine/engine_log.h"
#include "platform/linux/engine/isolated_run.h"

namespace earshot::platform::linuxos {
namespace {

std::runtime_error engineFailure(const std::string& what) {
  std::string detail = lastEngineError();
  return std::runtime_error(detail.empty() ? what : what + ": " + detail);
}

void convertHere(const std::filesystem::path& arpa, const std::filesystem::path& binary) {
  silenceEngineLog();
  clearEngineError();
  // The decoder's defaults: the same log base as the one that reads it.
  cmd_ln_t* config = cmd_ln_parse_r(nullptr, ps_args(), 0, nullptr, FALSE);
  if (config == nullptr) throw engineFailure("the speech engine cannot start");
  logmath_t* lmath = logmath_init(cmd_ln_float_r(config, "-logbase"), 0, FALSE);
  ngram_model_t* model = ngram_model_read(config, arpa.c_str(), NGRAM_ARPA, lmath);
  if (model == nullptr) throw engineFailure("the speech engine cannot read it");
  if (ngram_model_write(model, binary.c_str(), NGRAM_BIN) != 0) {
    throw engineFailure("the speech engine cannot write its binary form");
  }
  // The process ends next; the model goes with it.
}

}  // namespace

void convertLanguageModel(const std::filesystem::path& arpa, const std::filesystem::path& binary) {
  runIsolated([&] { convertHere(arpa, binary); });
}

}  // namespace earshot::platform::linuxos
