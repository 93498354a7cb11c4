#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/linux/text/cased_words.h"
#include "platform/linux/text/number_words.h"
#include "platform/locale.h"
#include "platform/speech_transcriber.h"

namespace earshot::platform::linuxos {

// Writes a recognizer's words the way people write them: numbers as digits
// where people write digits ("25,000", "$42.50", "15%", "7:15", "March 3",
// "10 meters"; one to nine stay words in running text), titles abbreviated
// ("Mr."), names and "I" capitalised, the first word in sentence case, and a
// final closed with "." or "?". A contextual phrase's own casing wins.
//
// A result's words stay its text's words: a token written from several
// spoken words spans from the first one's start to the last one's end and
// has the lowest of their confidences, and the words' texts joined by
// single spaces are the text. One thread uses an instance at a time.
class WrittenForm {
 public:
  WrittenForm(const Locale& locale, std::shared_ptr<const CasedWords> casedWords,
              const std::vector<std::string>& contextualStrings = {});

  // Rewrites the result's text, and its words when it has any.
  void apply(TranscriptionResult& result);
  // The written tokens of spoken words; closed with punctuation when final.
  std::vector<TranscribedWord> write(const std::vector<TranscribedWord>& spoken, bool isFinal);

 private:
  struct Piece;
  struct Group;
  class Scan;

  void setCase(std::vector<Piece>& pieces) const;
  bool isQuestion(const std::vector<std::string>& lower) const;

  bool english_;
  std::shared_ptr<const CasedWords> casedWords_;
  NumberWords numbers_;
  std::unordered_map<std::string, std::string> phraseCasing_;  // lower -> the host's spelling
  std::string localeId_;
};

}  // namespace earshot::platform::linuxos
