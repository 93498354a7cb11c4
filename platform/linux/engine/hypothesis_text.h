#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace earshot::platform::linuxos {

// The words of an engine hypothesis as text: joined by single spaces, with
// no fillers or noise ("<s>", "</s>", "<sil>", "[NOISE]", "++UM++") and no
// alternate-pronunciation markers ("read(2)" is "read").
std::string hypothesisText(std::string_view hypothesis);

// One engine word as it is written in a transcript: nullopt for a filler or
// noise, the word without an alternate-pronunciation marker otherwise.
std::optional<std::string_view> spokenWord(std::string_view engineWord);

}  // namespace earshot::platform::linuxos
