#pragma once

#include <string_view>
#include <vector>

namespace earshot::platform {

// The words of a contextual phrase: its UTF-8 text split at Unicode white
// space (U+0020, U+00A0, U+3000, tabs, line breaks and the rest of the
// White_Space property), none of it kept. A phrase of nothing but white
// space has no words. The live mode counts words with it and the Linux
// vocabulary splits phrases with it, so both agree on what a word is.
std::vector<std::string_view> phraseWords(std::string_view phrase);

}  // namespace earshot::platform
