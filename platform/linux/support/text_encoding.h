#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct UConverter;

namespace earshot::platform::linuxos::support {

// Whether ICU has a converter of this name ("ISO-8859-1", "latin1",
// "windows-1252", "UTF-8"); a catalog entry that names another is malformed.
bool isKnownTextEncoding(std::string_view name);

// What is wrong with `file` as text in `encoding` (an ICU converter name;
// empty: UTF-8): the first byte sequence that is not of the encoding, or a
// NUL, in words ("an invalid byte sequence at byte 1234"). nullopt when the
// whole file is good text. Throws FileFailure when the file cannot be read.
std::optional<std::string> textFileProblem(const std::filesystem::path& file,
                                           const std::string& encoding);

// Turns text of a model's own encoding (its dictionary's and language
// model's words) into UTF-8 with ICU's converter; an empty name means the
// text is UTF-8 already and passes unchanged. One instance per thread.
class TextToUtf8 {
 public:
  explicit TextToUtf8(const std::string& encoding);
  ~TextToUtf8();
  TextToUtf8(const TextToUtf8&) = delete;
  TextToUtf8& operator=(const TextToUtf8&) = delete;

  std::string operator()(std::string_view text) const;

 private:
  UConverter* converter_ = nullptr;
};

}  // namespace earshot::platform::linuxos::support
