#include "platform/linux/support/text_encoding.h"

#include <fcntl.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "platform/linux/support/file_failure.h"

namespace earshot::platform::linuxos::support {

bool isKnownTextEncoding(std::string_view name) {
  if (name.empty()) return false;
  UErrorCode status = U_ZERO_ERROR;
  UConverter* converter = ucnv_open(std::string(name).c_str(), &status);
  if (converter != nullptr) ucnv_close(converter);
  return U_SUCCESS(status) && converter != nullptr;
}

namespace {

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::filesystem::path& file)
      : fd_(::open(file.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_ < 0) failWithErrno("cannot read " + file.string());
  }
  ~ReadOnlyFile() { ::close(fd_); }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::optional<std::string> textFileProblem(const std::filesystem::path& file,
                                           const std::string& encoding) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, decltype(&ucnv_close)> converter(
      ucnv_open(encoding.empty() ? "UTF-8" : encoding.c_str(), &status), &ucnv_close);
  if (U_FAILURE(status)) throw FileFailure("unknown text encoding " + encoding);
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
  ReadOnlyFile in(file);
  std::vector<char> bytes(1 << 16);
  std::vector<UChar> text(1 << 16);
  uint64_t offset = 0;  // of the bytes read before this block
  for (;;) {
    ssize_t got = ::read(in.get(), bytes.data(), bytes.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) failWithErrno("cannot read " + file.string());
    bool last = got == 0;
    const char* source = bytes.data();
    const char* sourceEnd = source + got;
    do {
      status = U_ZERO_ERROR;
      UChar* target = text.data();
      ucnv_toUnicode(converter.get(), &target, text.data() + text.size(), &source, sourceEnd,
                     nullptr, last, &status);
      for (const UChar* c = text.data(); c != target; ++c) {
        if (*c == 0)
          return "a NUL character near byte " + std::to_string(offset + (source - bytes.data()));
      }
      if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        char invalid[32];
        int8_t length = sizeof invalid;
        UErrorCode ignored = U_ZERO_ERROR;
        ucnv_getInvalidChars(converter.get(), invalid, &length, &ignored);
        uint64_t at = offset + static_cast<uint64_t>(source - bytes.data());
        if (U_SUCCESS(ignored) && length > 0 && at >= static_cast<uint64_t>(length)) at -= length;
        return "an invalid byte sequence at byte " + std::to_string(at);
      }
    } while (status == U_BUFFER_OVERFLOW_ERROR);
    if (last) return std::nullopt;
    offset += static_cast<uint64_t>(got);
  }
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
