#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace earshot::platform::linuxos {

// The word an entry of a pronunciation dictionary belongs to, as the engine
// reads it: "word(2)", an alternative pronunciation, belongs to "word".
std::string_view dictionaryBaseWord(std::string_view word);

// The entries of a pronunciation dictionary (its text, one "word phones..."
// line each) whose base word `keep` accepts, in their order and unchanged;
// comment lines and blank lines are left out. The engine takes the same time
// for every entry it reads, and the language model can only ever produce its
// own words, so a decoder loads what this leaves of its dictionary: every
// word of the language model with all its pronunciations, and the words
// contextual phrases look up (docs/recognition.md).
std::string filterDictionary(std::string_view text,
                             const std::function<bool(std::string_view)>& keep);

}  // namespace earshot::platform::linuxos
