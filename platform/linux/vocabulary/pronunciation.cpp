#include "platform/linux/vocabulary/pronunciation.h"

#include <espeak-ng/speak_lib.h>

#include <array>
#include <cctype>
#include <mutex>
#include <utility>

namespace earshot::platform::linuxos {
namespace {

// Longer symbols first, so that diphthongs and affricates win over their
// parts. Vowels without a stress mark in CMU terms.
constexpr std::array<std::pair<std::string_view, std::string_view>, 55> kIpaToCmu = {{
    {"aɪ", "AY"}, {"aʊ", "AW"}, {"eɪ", "EY"}, {"oʊ", "OW"}, {"ɔɪ", "OY"}, {"tʃ", "CH"},
    {"dʒ", "JH"}, {"ɑ", "AA"},  {"ɒ", "AA"},  {"æ", "AE"},  {"ʌ", "AH"},  {"ə", "AH"},
    {"ɐ", "AH"},  {"ɔ", "AO"},  {"ɛ", "EH"},  {"ɚ", "ER"},  {"ɜ", "ER"},  {"ɝ", "ER"},
    {"ɪ", "IH"},  {"ᵻ", "IH"},  {"i", "IY"},  {"ʊ", "UH"},  {"u", "UW"},  {"o", "OW"},
    {"e", "EH"},  {"a", "AA"},  {"b", "B"},   {"d", "D"},   {"ð", "DH"},  {"f", "F"},
    {"ɡ", "G"},   {"g", "G"},   {"h", "HH"},  {"k", "K"},   {"l", "L"},   {"m", "M"},
    {"n", "N"},   {"ŋ", "NG"},  {"p", "P"},   {"ɹ", "R"},   {"r", "R"},   {"s", "S"},
    {"ʃ", "SH"},  {"t", "T"},   {"θ", "TH"},  {"v", "V"},   {"w", "W"},   {"j", "Y"},
    {"z", "Z"},   {"ʒ", "ZH"},  {"ɾ", "T"},   {"ʔ", "T"},   {"x", "K"},   {"ɬ", "L"},
    {"ç", "HH"},
}};

// One sound per letter: a poor pronunciation, but one the engine can match.
std::string_view letterPhones(char letter) {
  static constexpr std::array<std::string_view, 26> kLetters = {
      "AE", "B",  "K", "D",   "EH", "F", "G", "HH", "IH", "JH", "K",   "L", "M",
      "N",  "AA", "P", "K W", "R",  "S", "T", "AH", "V",  "W",  "K S", "Y", "Z"};
  auto lower = static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(letter)));
  if (lower < 'a' || lower > 'z') return {};
  return kLetters[lower - 'a'];
}

std::string spelledOut(std::string_view word) {
  std::string phones;
  for (char letter : word) {
    std::string_view sounds = letterPhones(letter);
    if (sounds.empty()) continue;
    if (!phones.empty()) phones += ' ';
    phones += sounds;
  }
  return phones;
}

// espeak-ng keeps global state and is not thread-safe: one caller at a time.
std::mutex& espeakLock() {
  static std::mutex lock;
  return lock;
}

std::string espeakIpa(std::string_view word, std::string_view language) {
  std::lock_guard guard(espeakLock());
  static const bool ready =
      espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT) > 0;
  if (!ready) return {};
  std::string voice(language);
  if (espeak_SetVoiceByName(voice.c_str()) != EE_OK && espeak_SetVoiceByName("en") != EE_OK) {
    return {};
  }
  std::string text(word);
  const void* at = text.c_str();
  std::string ipa;
  // One clause per call; the pointer is cleared at the end of the text.
  while (at != nullptr) {
    const char* phonemes = espeak_TextToPhonemes(&at, espeakCHARS_UTF8, espeakPHONEMES_IPA);
    if (phonemes == nullptr) break;
    ipa += phonemes;
  }
  return ipa;
}

}  // namespace

std::string cmuPhonesFromIpa(std::string_view ipa) {
  std::string phones;
  size_t at = 0;
  while (at < ipa.size()) {
    bool matched = false;
    for (const auto& [symbol, phone] : kIpaToCmu) {
      if (ipa.substr(at, symbol.size()) == symbol) {
        if (!phones.empty()) phones += ' ';
        phones += phone;
        at += symbol.size();
        matched = true;
        break;
      }
    }
    if (matched) continue;
    // Skip one whole UTF-8 character: a mark, a space or an unknown symbol.
    ++at;
    while (at < ipa.size() && (static_cast<unsigned char>(ipa[at]) & 0xC0) == 0x80) ++at;
  }
  return phones;
}

std::string pronounce(std::string_view word, std::string_view language) {
  std::string phones = cmuPhonesFromIpa(espeakIpa(word, language));
  if (phones.empty()) phones = spelledOut(word);
  return phones;
}

}  // namespace earshot::platform::linuxos
