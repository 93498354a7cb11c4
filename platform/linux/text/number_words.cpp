#include "platform/linux/text/number_words.h"

#include <unicode/dtfmtsym.h>
#include <unicode/dtptngen.h>
#include <unicode/gregocal.h>
#include <unicode/measunit.h>
#include <unicode/numberformatter.h>
#include <unicode/rbnf.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

#include <cmath>
#include <map>
#include <mutex>
#include <vector>

namespace earshot::platform::linuxos {
namespace {

namespace number = icu::number;

std::string utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

icu::UnicodeString unicode(std::string_view text) {
  return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
}

// Lower case without soft hyphens, which spellout rules put between the
// parts of a long word.
std::string lower(const icu::UnicodeString& text, const icu::Locale& locale) {
  icu::UnicodeString copy(text);
  copy.findAndReplace(icu::UnicodeString(char16_t(0x00AD)), icu::UnicodeString());
  return utf8(copy.toLower(locale));
}

bool isSpace(UChar32 c) {
  return c == ' ' || c == '-' || c == 0x00A0 || c == 0x202F || c == 0x2009;
}

// The words of a spelled-out number: hyphens and no-break spaces separate
// them too ("twenty-one").
std::vector<std::string> words(const icu::UnicodeString& text, const icu::Locale& locale) {
  std::vector<std::string> out;
  icu::UnicodeString word;
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    UChar32 c = text.char32At(i);
    if (isSpace(c)) {
      if (!word.isEmpty()) out.push_back(lower(word, locale));
      word.remove();
    } else {
      word.append(c);
    }
  }
  if (!word.isEmpty()) out.push_back(lower(word, locale));
  return out;
}

// A pattern without its day period ("h:mm a" -> "h:mm"), which is written
// as a word of its own.
icu::UnicodeString withoutDayPeriod(const icu::UnicodeString& pattern) {
  icu::UnicodeString out;
  for (int32_t i = 0; i < pattern.length(); ++i) {
    char16_t c = pattern.charAt(i);
    if (c != 'a' && c != 'b' && c != 'B') out.append(c);
  }
  while (!out.isEmpty() && isSpace(out.charAt(out.length() - 1))) out.truncate(out.length() - 1);
  while (!out.isEmpty() && isSpace(out.charAt(0))) out.remove(0, 1);
  return out;
}

// The single-word names of ICU's units in the locale's long form, singular
// and plural ("meter", "meters"): computed once per locale.
std::shared_ptr<const std::unordered_set<std::string>> unitWords(const icu::Locale& locale) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const std::unordered_set<std::string>>> cache;
  std::lock_guard lock(mutex);
  auto& entry = cache[locale.getName()];
  if (entry) return entry;
  auto units = std::make_shared<std::unordered_set<std::string>>();
  UErrorCode status = U_ZERO_ERROR;
  int32_t count = icu::MeasureUnit::getAvailable(nullptr, 0, status);
  std::vector<icu::MeasureUnit> all(static_cast<size_t>(count));
  status = U_ZERO_ERROR;
  icu::MeasureUnit::getAvailable(all.data(), count, status);
  if (U_FAILURE(status)) all.clear();
  for (const icu::MeasureUnit& unit : all) {
    std::string_view type = unit.getType();
    // Durations read as running text: "three hours", "60 seconds".
    if (type == "currency" || type == "none" || type == "duration") continue;
    auto format =
        number::NumberFormatter::withLocale(locale).unit(unit).unitWidth(UNUM_UNIT_WIDTH_FULL_NAME);
    for (double value : {1.0, 2.0}) {
      UErrorCode formatStatus = U_ZERO_ERROR;
      icu::UnicodeString text = format.formatDouble(value, formatStatus).toString(formatStatus);
      if (U_FAILURE(formatStatus)) continue;
      std::vector<std::string> parts = words(text, locale);
      std::erase_if(parts, [](const std::string& part) { return part == "1" || part == "2"; });
      if (parts.size() == 1) units->insert(parts.front());
    }
  }
  entry = std::move(units);
  return entry;
}

UDate dateOf(int year, int month, int day, int hour, int minute) {
  UErrorCode status = U_ZERO_ERROR;
  icu::GregorianCalendar calendar(icu::TimeZone::getGMT()->clone(), status);
  calendar.clear();
  calendar.set(year, month - 1, day, hour, minute);
  return calendar.getTime(status);
}

std::unique_ptr<icu::SimpleDateFormat> dateFormat(icu::DateTimePatternGenerator* generator,
                                                  const char16_t* skeleton,
                                                  const icu::Locale& locale, bool dropDayPeriod) {
  if (generator == nullptr) return nullptr;
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString pattern = generator->getBestPattern(skeleton, status);
  if (U_FAILURE(status)) return nullptr;
  if (dropDayPeriod) pattern = withoutDayPeriod(pattern);
  auto format = std::make_unique<icu::SimpleDateFormat>(pattern, locale, status);
  if (U_FAILURE(status)) return nullptr;
  format->setTimeZone(*icu::TimeZone::getGMT());
  return format;
}

}  // namespace

NumberWords::NumberWords(const Locale& platformLocale) : locale_(platformLocale.canonical()) {
  icu::Locale locale(locale_.c_str());
  UErrorCode status = U_ZERO_ERROR;
  spellout_ = std::make_unique<icu::RuleBasedNumberFormat>(icu::URBNF_SPELLOUT, locale, status);
  if (U_FAILURE(status)) {
    spellout_.reset();
  } else {
    spellout_->setLenient(true);
    auto spell = [&](double value, const char16_t* ruleSet) {
      icu::UnicodeString text;
      UErrorCode formatStatus = U_ZERO_ERROR;
      if (ruleSet != nullptr) {
        icu::FieldPosition position;
        spellout_->format(value, icu::UnicodeString(ruleSet), text, position, formatStatus);
      } else {
        spellout_->format(value, text);
      }
      return U_FAILURE(formatStatus) ? std::vector<std::string>() : words(text, locale);
    };
    for (long n = 0; n < 100; n += n < 20 ? 1 : 10) {
      std::vector<std::string> spelled = spell(double(n), u"%spellout-cardinal");
      if (spelled.size() != 1) continue;
      Kind kind = n < 10 ? Kind::digit : n < 20 ? Kind::teen : Kind::tens;
      cardinals_.try_emplace(spelled.front(), Word{kind, n});
    }
    std::vector<std::string> hundred = spell(100, u"%spellout-cardinal");
    if (hundred.size() == 2) cardinals_.try_emplace(hundred.back(), Word{Kind::hundred, 100});
    for (long scale : {1000L, 1000000L, 1000000000L, 1000000000000L}) {
      std::vector<std::string> spelled = spell(double(scale), u"%spellout-cardinal");
      if (spelled.size() == 2) cardinals_.try_emplace(spelled.back(), Word{Kind::scale, scale});
    }
    for (const std::string& word : spell(101, u"%spellout-cardinal-verbose")) {
      cardinals_.try_emplace(word, Word{Kind::connector, 0});
    }
    for (const std::string& word : spell(1.5, nullptr)) {
      cardinals_.try_emplace(word, Word{Kind::point, 0});
    }
    for (int n = 1; n < 100; n += n < 20 ? 1 : 10) {
      std::vector<std::string> spelled = spell(double(n), u"%spellout-ordinal");
      if (spelled.size() == 1) ordinals_.try_emplace(spelled.front(), n);
    }
  }

  icu::DateFormatSymbols symbols(locale, status);
  if (U_SUCCESS(status)) {
    int32_t count = 0;
    const icu::UnicodeString* names =
        symbols.getMonths(count, icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::WIDE);
    for (int32_t i = 0; i < count && i < 12; ++i)
      months_.try_emplace(lower(names[i], locale), i + 1);
    const icu::UnicodeString* periods = symbols.getAmPmStrings(count);
    if (count >= 2) {
      am_ = utf8(periods[0]);
      pm_ = utf8(periods[1]);
    }
  }
  status = U_ZERO_ERROR;
  std::unique_ptr<icu::DateTimePatternGenerator> generator(
      icu::DateTimePatternGenerator::createInstance(locale, status));
  if (U_FAILURE(status)) generator.reset();
  clock_ = dateFormat(generator.get(), u"hmm", locale, true);
  monthDay_ = dateFormat(generator.get(), u"MMMMd", locale, false);
  monthDayYear_ = dateFormat(generator.get(), u"yMMMMd", locale, false);
  units_ = unitWords(locale);
}

NumberWords::~NumberWords() = default;

NumberWords::Word NumberWords::cardinal(std::string_view word) const {
  auto found = cardinals_.find(std::string(word));
  return found == cardinals_.end() ? Word{} : found->second;
}

std::optional<int> NumberWords::ordinal(std::string_view word) const {
  auto found = ordinals_.find(std::string(word));
  if (found == ordinals_.end()) return std::nullopt;
  return found->second;
}

std::optional<double> NumberWords::parse(const std::string& words) const {
  if (!spellout_) return std::nullopt;
  icu::UnicodeString text = unicode(words);
  icu::Formattable value;
  icu::ParsePosition position(0);
  spellout_->parse(text, value, position);
  if (position.getIndex() != text.length()) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  double number = value.getDouble(status);
  if (U_FAILURE(status)) return std::nullopt;
  return number;
}

std::optional<double> NumberWords::wordValue(std::string_view word) const {
  std::optional<double> value = parse(std::string(word));
  if (!value || *value != std::floor(*value)) return std::nullopt;
  icu::UnicodeString spelled;
  spellout_->format(*value, spelled);
  if (lower(spelled, icu::Locale(locale_.c_str())) != word) return std::nullopt;
  return value;
}

std::optional<int> NumberWords::month(std::string_view word) const {
  auto found = months_.find(std::string(word));
  if (found == months_.end()) return std::nullopt;
  return found->second;
}

bool NumberWords::isUnit(std::string_view word) const {
  return units_ && units_->contains(std::string(word));
}

std::string NumberWords::integer(double value, bool grouping) const {
  UErrorCode status = U_ZERO_ERROR;
  return utf8(number::NumberFormatter::withLocale(icu::Locale(locale_.c_str()))
                  .grouping(grouping ? UNUM_GROUPING_AUTO : UNUM_GROUPING_OFF)
                  .precision(number::Precision::integer())
                  .formatDouble(value, status)
                  .toString(status));
}

std::string NumberWords::decimal(double value, int fractionDigits) const {
  UErrorCode status = U_ZERO_ERROR;
  return utf8(number::NumberFormatter::withLocale(icu::Locale(locale_.c_str()))
                  .precision(number::Precision::fixedFraction(fractionDigits))
                  .formatDouble(value, status)
                  .toString(status));
}

std::string NumberWords::currency(double value, const char* isoCode) const {
  UErrorCode status = U_ZERO_ERROR;
  icu::UnicodeString code(isoCode, -1, US_INV);
  icu::CurrencyUnit unit(code.getTerminatedBuffer(), status);
  if (U_FAILURE(status)) return integer(value, true);
  return utf8(number::NumberFormatter::withLocale(icu::Locale(locale_.c_str()))
                  .unit(unit)
                  .precision(number::Precision::currency(UCURR_USAGE_STANDARD)
                                 .trailingZeroDisplay(UNUM_TRAILING_ZERO_HIDE_IF_WHOLE))
                  .formatDouble(value, status)
                  .toString(status));
}

std::string NumberWords::percent(double value, int fractionDigits) const {
  UErrorCode status = U_ZERO_ERROR;
  return utf8(number::NumberFormatter::withLocale(icu::Locale(locale_.c_str()))
                  .unit(icu::NoUnit::percent())
                  .precision(number::Precision::fixedFraction(fractionDigits))
                  .formatDouble(value, status)
                  .toString(status));
}

std::string NumberWords::clock(int hour, int minute) const {
  if (!clock_)
    return integer(hour, false) + ":" + (minute < 10 ? "0" : "") + integer(minute, false);
  icu::UnicodeString text;
  clock_->format(dateOf(2000, 1, 1, hour % 12 == 0 ? 12 : hour, minute), text);
  return utf8(text);
}

std::string NumberWords::dayPeriod(bool pm) const {
  return pm ? pm_ : am_;
}

std::string NumberWords::monthDay(int month, int day, std::optional<int> year) const {
  icu::SimpleDateFormat* format = year ? monthDayYear_.get() : monthDay_.get();
  if (format == nullptr) return integer(month, false) + "/" + integer(day, false);
  icu::UnicodeString text;
  format->format(dateOf(year.value_or(2000), month, day, 12, 0), text);
  return utf8(text);
}

}  // namespace earshot::platform::linuxos
