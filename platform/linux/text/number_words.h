#pragma once

#include <unicode/uversion.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/locale.h"

U_NAMESPACE_BEGIN
class RuleBasedNumberFormat;
class SimpleDateFormat;
U_NAMESPACE_END

namespace earshot::platform::linuxos {

// A language's number words and its written numbers, both from ICU: the
// words come from the locale's spellout rules (what they write for 0 to 99
// and the scales), their values from parsing with those rules, and digits,
// currencies, percentages, times and dates from ICU's formatters in the
// locale's conventions. One thread uses an instance at a time.
class NumberWords {
 public:
  enum class Kind { none, digit, teen, tens, hundred, scale, connector, point };
  struct Word {
    Kind kind = Kind::none;
    long value = 0;
  };

  explicit NumberWords(const Locale& locale);
  ~NumberWords();
  NumberWords(const NumberWords&) = delete;
  NumberWords& operator=(const NumberWords&) = delete;

  // What a lower-case word is in a spoken cardinal ("forty" is tens, 40).
  Word cardinal(std::string_view word) const;
  // The value of a one-word ordinal ("third" is 3, "twentieth" 20).
  std::optional<int> ordinal(std::string_view word) const;
  // The value of spoken number words ("two thousand and five"), parsed by
  // the spellout rules; nullopt unless they parse whole.
  std::optional<double> parse(const std::string& words) const;
  // The value of one word that the spellout rules write exactly so for it.
  std::optional<double> wordValue(std::string_view word) const;
  // The month a lower-case word names (1 to 12), from the locale's names.
  std::optional<int> month(std::string_view word) const;
  // Whether a lower-case word names a unit of measure ("grams", "meter");
  // durations ("hours") are not among them.
  bool isUnit(std::string_view word) const;

  std::string integer(double value, bool grouping) const;       // "25,000", "2019"
  std::string decimal(double value, int fractionDigits) const;  // "3.5"
  // "$42.50", "$42"; `isoCode` is a currency's ISO 4217 code.
  std::string currency(double value, const char* isoCode) const;
  std::string percent(double value, int fractionDigits) const;  // "15%"
  std::string clock(int hour, int minute) const;                // "7:15"
  std::string dayPeriod(bool pm) const;                         // "PM"
  // "March 3" or "March 3, 2019".
  std::string monthDay(int month, int day, std::optional<int> year) const;

 private:
  std::string locale_;
  std::unique_ptr<icu::RuleBasedNumberFormat> spellout_;
  std::unordered_map<std::string, Word> cardinals_;
  std::unordered_map<std::string, int> ordinals_;
  std::unordered_map<std::string, int> months_;
  std::shared_ptr<const std::unordered_set<std::string>> units_;
  std::unique_ptr<icu::SimpleDateFormat> clock_;
  std::unique_ptr<icu::SimpleDateFormat> monthDay_;
  std::unique_ptr<icu::SimpleDateFormat> monthDayYear_;
  std::string am_, pm_;
};

}  // namespace earshot::platform::linuxos
