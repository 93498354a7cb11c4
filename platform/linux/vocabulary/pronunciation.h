#pragma once

#include <string>
#include <string_view>

namespace earshot::platform::linuxos {

// Phones of the engine's English models (the CMU set, no stress) for a word
// its dictionary lacks: espeak-ng's spelling-to-sound rules give IPA, which
// is mapped onto the CMU phones; letter by letter when espeak-ng has
// nothing. `language` is an espeak-ng voice name ("en-us"). Never empty
// for a word with a letter or digit in it; safe to call from any thread.
std::string pronounce(std::string_view word, std::string_view language);

// CMU phones, separated by single spaces, for an IPA transcription. Stress,
// length and other marks, and symbols without an English counterpart, are
// dropped.
std::string cmuPhonesFromIpa(std::string_view ipa);

}  // namespace earshot::platform::linuxos
