#include "platform/linux/support/text_encoding.h"

#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <stdexcept>

namespace earshot::platform::linuxos::support {

bool isKnownTextEncoding(std::string_view name) {
  if (name.empty()) return false;
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(std::string(name).c_str(), &status);
  if (converter != nullptr) ucnv_close(converter);
  return U_SUCCESS(status) && converter != nullptr;
}

TextToUtf8::TextToUtf8(const std::string& encoding) {
  if (encoding.empty()) return;
  UErrorCode status = U_ZERO_ERROR;
  converter_ = ucnv_open(encoding.c_str(), &status);
  if (U_FAILURE(status)) throw std::runtime_error("unknown text encoding " + encoding);
}

TextToUtf8::~TextToUtf8() {
  if (converter_ != nullptr) ucnv_close(converter_);
}

std::string TextToUtf8::operator()(std::string_view text) const {
  if (converter_ == nullptr) return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  // Bytes the encoding lacks become U+FFFD (ICU's default substitution).
  icu::UnicodeString decoded(text.data(), static_cast<int32_t>(text.size()), converter_, status);
  std::string utf8;
  if (U_FAILURE(status)) return std::string(text);  // the channel repairs what is left
  decoded.toUTF8String(utf8);
  return utf8;
}

}  // namespace earshot::platform::linuxos::support
