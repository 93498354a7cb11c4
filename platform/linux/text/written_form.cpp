#include "platform/linux/text/written_form.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>

namespace earshot::platform::linuxos {

using Kind = NumberWords::Kind;

namespace {

// English words around numbers and sentences that the locale data does not
// give: what a spoken currency, percent or clock word is, and how English
// questions start.
struct CurrencyWord {
  std::string_view word;
  const char* code;
};
constexpr std::array kCurrencyWords{
    CurrencyWord{"dollar", "USD"}, CurrencyWord{"dollars", "USD"}, CurrencyWord{"euro", "EUR"},
    CurrencyWord{"euros", "EUR"},  CurrencyWord{"yen", "JPY"},
};
constexpr std::string_view kCentWords[] = {"cent", "cents"};
constexpr std::string_view kZeroWords[] = {"oh", "zero"};
constexpr std::string_view kAm[] = {"a.m.", "am"};
constexpr std::string_view kPm[] = {"p.m.", "pm"};
// A clock time without "a.m." or "p.m." needs one of these before it
// ("at seven fifteen"); a year written without grouping too ("in 2019").
constexpr std::string_view kTimeContext[] = {"at",     "by",     "until", "till",
                                             "around", "before", "after", "from"};
constexpr std::string_view kYearContext[] = {"in", "since", "until",  "till",
                                             "by", "year",  "before", "after"};
constexpr std::string_view kInterrogatives[] = {"what",  "what's", "who",     "who's", "whom",
                                                "whose", "where",  "where's", "when",  "why",
                                                "how",   "how's",  "which",   "whats", "hows"};
constexpr std::string_view kAuxiliaries[] = {
    "is",      "are",     "was",      "were",  "am",       "do",     "does",     "did",
    "can",     "could",   "will",     "would", "should",   "shall",  "may",      "might",
    "must",    "have",    "has",      "had",   "isn't",    "aren't", "wasn't",   "weren't",
    "don't",   "doesn't", "didn't",   "can't", "couldn't", "won't",  "wouldn't", "shouldn't",
    "haven't", "hasn't",  "mightn't", "shan't"};
constexpr std::string_view kSubjects[] = {
    "i",    "you",   "he",     "she",     "it",      "we",       "they",     "the", "a",   "an",
    "this", "that",  "these",  "those",   "there",   "your",     "my",       "his", "her", "its",
    "our",  "their", "anyone", "anybody", "someone", "somebody", "everyone", "any"};

template <size_t N>
bool among(const std::string_view (&words)[N], std::string_view word) {
  return std::find(std::begin(words), std::end(words), word) != std::end(words);
}

std::string lowerCase(std::string_view text, const icu::Locale& locale) {
  icu::UnicodeString unicode =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
  std::string out;
  unicode.toLower(locale).toUTF8String(out);
  return out;
}

// The text with its first letter upper case.
std::string capitalised(std::string_view text) {
  icu::UnicodeString unicode =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
  if (unicode.isEmpty()) return std::string(text);
  UChar32 first = unicode.char32At(0);
  UChar32 upper = u_toupper(first);
  if (upper == first) return std::string(text);
  unicode.replace(0, U16_LENGTH(first), upper);
  std::string out;
  unicode.toUTF8String(out);
  return out;
}

bool hasUpper(std::string_view text) {
  icu::UnicodeString unicode =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), int32_t(text.size())));
  for (int32_t i = 0; i < unicode.length(); i = unicode.moveIndex32(i, 1)) {
    if (u_isupper(unicode.char32At(i))) return true;
  }
  return false;
}

std::vector<std::string> splitSpaces(std::string_view text) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < text.size()) {
    size_t start = text.find_first_not_of(' ', at);
    if (start == std::string_view::npos) break;
    size_t end = std::min(text.find(' ', start), text.size());
    words.emplace_back(text.substr(start, end - start));
    at = end;
  }
  return words;
}

// ICU writes some forms with no-break spaces ("3:30 PM" in some locales,
// "March 3, 2019"); each part is a token of its own.
std::vector<std::string> formattedParts(std::string text) {
  for (std::string_view space : {"\u202f", "\u00a0"}) {
    for (size_t at = text.find(space); at != std::string::npos; at = text.find(space, at)) {
      text.replace(at, space.size(), " ");
    }
  }
  return splitSpaces(text);
}

}  // namespace

// One written token and the spoken words it stands for.
struct WrittenForm::Piece {
  std::string text;
  size_t first = 0;
  size_t last = 0;
  bool plain = true;  // a spoken word as it was, which casing may change
};

// A spoken cardinal: the words [begin, end) and their value.
struct WrittenForm::Group {
  size_t end = 0;
  double value = 0;
  bool tensOnly = true;  // made of digit, teen and tens words only
};

// One pass over a final's spoken words that merges number words into
// written numbers; every other word becomes a plain piece.
class WrittenForm::Scan {
 public:
  Scan(const std::vector<std::string>& lower, const std::vector<TranscribedWord>& spoken,
       NumberWords& numbers, const CasedWords& list, bool english)
      : lower_(lower), spoken_(spoken), numbers_(numbers), list_(list), english_(english) {}

  std::vector<Piece> run() {
    size_t at = 0;
    while (at < lower_.size()) {
      size_t next = date(at);
      if (next == at) next = clockTime(at);
      if (next == at) next = digitString(at);
      if (next == at) next = yearPair(at);
      if (next == at) next = number(at);
      if (next == at) {
        plain(at);
        next = at + 1;
      }
      at = next;
    }
    return std::move(pieces_);
  }

 private:
  Kind kind(size_t at) const {
    return at < lower_.size() ? numbers_.cardinal(lower_[at]).kind : Kind::none;
  }
  long value(size_t at) const { return numbers_.cardinal(lower_[at]).value; }
  bool is(size_t at, std::string_view word) const {
    return at < lower_.size() && lower_[at] == word;
  }
  template <size_t N>
  bool isAmong(size_t at, const std::string_view (&words)[N]) const {
    return at < lower_.size() && among(words, lower_[at]);
  }
  // A digit word, "oh" among them: its value, or -1.
  int digit(size_t at) const {
    if (at >= lower_.size()) return -1;
    if (english_ && among(kZeroWords, lower_[at])) return 0;
    return kind(at) == Kind::digit ? int(value(at)) : -1;
  }

  void plain(size_t at) { pieces_.push_back(Piece{spoken_[at].text, at, at, true}); }
  void written(std::string text, size_t first, size_t last) {
    pieces_.push_back(Piece{std::move(text), first, last, false});
  }
  // Formatted text whose parts stand for the spoken parts in order (month,
  // day, year); when ICU writes another number of parts, each spans all.
  void writtenParts(std::string text, const std::vector<std::pair<size_t, size_t>>& parts) {
    std::vector<std::string> split = formattedParts(std::move(text));
    for (size_t i = 0; i < split.size(); ++i) {
      auto [first, last] = split.size() == parts.size()
                               ? parts[i]
                               : std::pair{parts.front().first, parts.back().second};
      written(std::move(split[i]), first, last);
    }
  }

  // The longest cardinal that starts here, by the grammar of spelled-out
  // numbers; its value is what the spellout rules parse.
  std::optional<Group> cardinal(size_t begin) const {
    enum class Last { none, digit, teen, tens, tensDigit, hundred, scale, connector };
    Last last = Last::none;
    long lastScale = 0;
    bool hundred = false, tensOnly = true;
    size_t at = begin, end = begin;
    auto oneOf = [&](std::initializer_list<Last> allowed) {
      return std::find(allowed.begin(), allowed.end(), last) != allowed.end();
    };
    while (at < lower_.size()) {
      NumberWords::Word word = numbers_.cardinal(lower_[at]);
      bool ok = false;
      Last now = last;
      switch (word.kind) {
        case Kind::digit:
          if (word.value == 0) {
            ok = last == Last::none;
          } else {
            ok = oneOf({Last::none, Last::tens, Last::hundred, Last::scale, Last::connector});
          }
          now = last == Last::tens ? Last::tensDigit : Last::digit;
          break;
        case Kind::teen:
        case Kind::tens:
          ok = oneOf({Last::none, Last::hundred, Last::scale, Last::connector});
          now = word.kind == Kind::teen ? Last::teen : Last::tens;
          break;
        case Kind::hundred:
          ok = oneOf({Last::digit, Last::teen}) && !hundred && value(at - 1) != 0;
          hundred = true;
          now = Last::hundred;
          break;
        case Kind::scale:
          ok = oneOf({Last::digit, Last::teen, Last::tens, Last::tensDigit, Last::hundred}) &&
               (lastScale == 0 || word.value < lastScale) && value(at - 1) != 0;
          lastScale = word.value;
          hundred = false;
          now = Last::scale;
          break;
        case Kind::connector: {
          Kind next = kind(at + 1);
          ok = oneOf({Last::hundred, Last::scale}) && (next == Kind::teen || next == Kind::tens ||
                                                       (next == Kind::digit && value(at + 1) != 0));
          now = Last::connector;
          break;
        }
        default:
          break;
      }
      if (!ok) break;
      if (word.kind == Kind::hundred || word.kind == Kind::scale) tensOnly = false;
      last = now;
      ++at;
      if (last != Last::connector) end = at;
      if (word.kind == Kind::digit && word.value == 0) break;
    }
    if (end == begin) return wholeWord(begin);
    std::string words;
    for (size_t i = begin; i < end; ++i) words += (i > begin ? " " : "") + lower_[i];
    std::optional<double> parsed = numbers_.parse(words);
    if (!parsed) return std::nullopt;
    return Group{end, *parsed, tensOnly};
  }

  // Languages that write numbers as one word ("zweitausendfünfhundert")
  // have them whole in their spellout rules.
  std::optional<Group> wholeWord(size_t at) const {
    if (english_ || at >= lower_.size()) return std::nullopt;
    std::optional<double> value = numbers_.wordValue(lower_[at]);
    if (!value) return std::nullopt;
    return Group{at + 1, *value, false};
  }

  // A number from 10 to 99 said as one ("fifteen", "forty two").
  std::optional<Group> twoDigits(size_t at) const {
    std::optional<Group> group = cardinal(at);
    if (!group || !group->tensOnly || group->value < 10 || group->value > 99) return std::nullopt;
    return group;
  }

  // "nineteen eighty four" -> 1984, "twenty twenty" -> 2020,
  // "nineteen oh five" -> 1905: the centuries people name this way.
  std::optional<Group> yearGroup(size_t at) const {
    Kind first = kind(at);
    if (first != Kind::teen && first != Kind::tens) return std::nullopt;
    long century = value(at);
    if (century < 15 || century > 20) return std::nullopt;
    if (digit(at + 1) == 0 && english_ && among(kZeroWords, lower_[at + 1])) {
      int single = digit(at + 2);
      if (single > 0 && kind(at + 3) != Kind::digit) {
        return Group{at + 3, double(century * 100 + single), true};
      }
      return std::nullopt;
    }
    std::optional<Group> rest = twoDigits(at + 1);
    if (!rest) return std::nullopt;
    return Group{rest->end, double(century * 100) + rest->value, true};
  }

  size_t yearPair(size_t at) {
    std::optional<Group> year = yearGroup(at);
    if (!year) return at;
    written(numbers_.integer(year->value, false), at, year->end - 1);
    return year->end;
  }

  // Three or more digits in a row: a phone number, a code.
  size_t digitString(size_t at) {
    size_t end = at;
    std::string digits;
    while (digit(end) >= 0) digits += char('0' + digit(end++));
    // The last digit may start a larger number ("five five two hundred").
    if (end > at && (kind(end) == Kind::hundred || kind(end) == Kind::scale)) {
      --end;
      digits.pop_back();
    }
    if (end - at < 3) return at;
    written(digits, at, end - 1);
    return end;
  }

  // "seven fifteen p m" -> "7:15 PM", "at seven fifteen" -> "7:15",
  // "seven o'clock" -> "7 o'clock".
  size_t clockTime(size_t at) {
    if (!english_) return at;
    Kind first = kind(at);
    long hour = value(at);
    if (!(first == Kind::digit || first == Kind::teen) || hour < 1 || hour > 12) return at;
    size_t end = at + 1;
    std::optional<int> minute;
    if (digit(end) == 0 && among(kZeroWords, lower_[end]) && digit(end + 1) > 0) {
      minute = digit(end + 1);
      end += 2;
    } else if (std::optional<Group> minutes = twoDigits(end); minutes && minutes->value < 60) {
      minute = int(minutes->value);
      end = minutes->end;
    }
    std::optional<bool> pm;
    if (isAmong(end, kAm)) pm = false;
    if (isAmong(end, kPm)) pm = true;
    if (!minute && !pm) {
      if (!is(end, "o'clock")) return at;
      written(numbers_.integer(double(hour), false), at, at);
      return end;
    }
    if (!pm && !(at > 0 && among(kTimeContext, lower_[at - 1]))) return at;
    written(minute ? numbers_.clock(int(hour), *minute) : numbers_.integer(double(hour), false), at,
            end - 1);
    if (pm) {
      written(numbers_.dayPeriod(*pm), end, end);
      ++end;
    }
    return end;
  }

  // A day of the month said as an ordinal ("third", "twenty first") or,
  // after a month whose name is not also a common word ("may one day"), a
  // cardinal.
  std::optional<Group> day(size_t at, bool cardinalToo) const {
    if (at >= lower_.size()) return std::nullopt;
    if (kind(at) == Kind::tens && at + 1 < lower_.size()) {
      if (std::optional<int> ones = numbers_.ordinal(lower_[at + 1]); ones && *ones < 10) {
        long day = value(at) + *ones;
        if (day <= 31) return Group{at + 2, double(day), true};
      }
    }
    if (std::optional<int> ordinal = numbers_.ordinal(lower_[at]); ordinal && *ordinal <= 31) {
      return Group{at + 1, double(*ordinal), true};
    }
    if (std::optional<Group> cardinal = this->cardinal(at);
        cardinalToo && cardinal && cardinal->tensOnly && cardinal->value >= 1 &&
        cardinal->value <= 31) {
      return cardinal;
    }
    return std::nullopt;
  }

  // A year after a month or a day: "twenty nineteen", "two thousand five".
  std::optional<Group> year(size_t at) const {
    if (std::optional<Group> pair = yearGroup(at)) return pair;
    std::optional<Group> cardinal = this->cardinal(at);
    if (cardinal && cardinal->value >= 1000 && cardinal->value < 2100) return cardinal;
    return std::nullopt;
  }

  // "march third" -> "March 3", "march third twenty nineteen" ->
  // "March 3, 2019".
  size_t date(size_t at) {
    std::optional<int> month = numbers_.month(lower_[at]);
    if (!month) return at;
    bool commonWord = list_.canBeName(lower_[at]) && !list_.alwaysCapitalised(lower_[at]);
    std::optional<Group> dayOfMonth = day(at + 1, !commonWord);
    if (!dayOfMonth) return at;
    std::optional<Group> yearAfter = year(dayOfMonth->end);
    std::vector<std::pair<size_t, size_t>> parts{{at, at}, {at + 1, dayOfMonth->end - 1}};
    if (yearAfter) parts.emplace_back(dayOfMonth->end, yearAfter->end - 1);
    std::optional<int> yearValue;
    if (yearAfter) yearValue = int(yearAfter->value);
    writtenParts(numbers_.monthDay(*month, int(dayOfMonth->value), yearValue), parts);
    return yearAfter ? yearAfter->end : dayOfMonth->end;
  }

  // A cardinal, with what follows it: a decimal part, a currency, a
  // percent or a unit.
  size_t number(size_t at) {
    std::optional<Group> group = cardinal(at);
    if (!group) return at;
    size_t end = group->end;
    double amount = group->value;
    int fractionDigits = 0;
    if (kind(end) == Kind::point && digit(end + 1) >= 0) {
      std::string fraction;
      size_t next = end + 1;
      while (digit(next) >= 0) fraction += char('0' + digit(next++));
      fractionDigits = int(fraction.size());
      amount += std::stod("0." + fraction);
      end = next;
    }
    auto digits = [&] {
      return fractionDigits > 0 ? numbers_.decimal(amount, fractionDigits)
                                : numbers_.integer(amount, true);
    };
    if (english_ && end < lower_.size()) {
      for (const CurrencyWord& currency : kCurrencyWords) {
        if (lower_[end] != currency.word) continue;
        size_t last = end;
        size_t cents = is(end + 1, "and") ? end + 2 : end + 1;
        if (std::optional<Group> hundredths = twoDigits(cents);
            fractionDigits == 0 && hundredths && isAmong(hundredths->end, kCentWords)) {
          amount += hundredths->value / 100.0;
          last = hundredths->end;
        } else if (std::optional<Group> small = cardinal(cents);
                   fractionDigits == 0 && small && small->end == cents + 1 && small->value < 10 &&
                   isAmong(small->end, kCentWords)) {
          amount += small->value / 100.0;
          last = small->end;
        }
        written(numbers_.currency(amount, currency.code), at, last);
        return last + 1;
      }
      if (is(end, "percent") || (is(end, "per") && is(end + 1, "cent"))) {
        size_t last = is(end, "percent") ? end : end + 1;
        written(numbers_.percent(amount, fractionDigits), at, last);
        return last + 1;
      }
      if (isAmong(end, kCentWords)) {
        written(digits(), at, end - 1);
        return end;
      }
    }
    if (end < lower_.size() && numbers_.isUnit(lower_[end])) {
      written(digits(), at, end - 1);
      return end;
    }
    if (fractionDigits > 0) {
      written(digits(), at, end - 1);
      return end;
    }
    // One to nine stay words in running text.
    if (amount < 10) return at;
    bool yearLike = amount >= 1000 && amount < 2100 && at > 0 &&
                    (among(kYearContext, lower_[at - 1]) || numbers_.month(lower_[at - 1]));
    written(numbers_.integer(amount, !yearLike), at, end - 1);
    return end;
  }

  const std::vector<std::string>& lower_;
  const std::vector<TranscribedWord>& spoken_;
  NumberWords& numbers_;
  const CasedWords& list_;
  bool english_;
  std::vector<Piece> pieces_;
};

WrittenForm::WrittenForm(const Locale& locale, std::shared_ptr<const CasedWords> casedWords,
                         const std::vector<std::string>& contextualStrings)
    : english_(locale.canonical() == "en" || locale.canonical().starts_with("en_")),
      casedWords_(casedWords ? std::move(casedWords) : std::make_shared<const CasedWords>()),
      numbers_(locale),
      localeId_(locale.canonical()) {
  icu::Locale icuLocale(localeId_.c_str());
  for (const std::string& phrase : contextualStrings) {
    for (const std::string& word : splitSpaces(phrase)) {
      phraseCasing_.try_emplace(lowerCase(word, icuLocale), word);
    }
  }
}

void WrittenForm::apply(TranscriptionResult& result) {
  std::vector<TranscribedWord> spoken = result.words;
  const bool hasWords = !spoken.empty();
  if (!hasWords) {
    for (std::string& word : splitSpaces(result.text))
      spoken.push_back(TranscribedWord{word, {}, {}});
  }
  std::vector<TranscribedWord> written = write(spoken, result.isFinal);
  result.text.clear();
  for (const TranscribedWord& word : written) {
    if (!result.text.empty()) result.text += ' ';
    result.text += word.text;
  }
  if (hasWords) result.words = std::move(written);
}

std::vector<TranscribedWord> WrittenForm::write(const std::vector<TranscribedWord>& spoken,
                                                bool isFinal) {
  icu::Locale locale(localeId_.c_str());
  std::vector<std::string> lower;
  lower.reserve(spoken.size());
  for (const TranscribedWord& word : spoken) lower.push_back(lowerCase(word.text, locale));

  std::vector<Piece> pieces = Scan(lower, spoken, numbers_, *casedWords_, english_).run();
  setCase(pieces);
  if (!pieces.empty()) {
    Piece& first = pieces.front();
    if (!(first.plain && phraseCasing_.contains(lower[first.first]) &&
          hasUpper(phraseCasing_.at(lower[first.first])))) {
      first.text = capitalised(first.text);
    }
    if (isFinal) {
      Piece& last = pieces.back();
      bool question = isQuestion(lower);
      if (question) {
        last.text += '?';
      } else if (!last.text.ends_with('.')) {
        last.text += '.';
      }
    }
  }

  std::vector<TranscribedWord> written;
  written.reserve(pieces.size());
  for (Piece& piece : pieces) {
    TranscribedWord word{std::move(piece.text), std::nullopt, std::nullopt};
    const auto& from = spoken[piece.first].audioTimeRange;
    const auto& to = spoken[piece.last].audioTimeRange;
    if (from && to) word.audioTimeRange = AudioTimeRange{from->start, to->end};
    for (size_t i = piece.first; i <= piece.last; ++i) {
      if (spoken[i].confidence) {
        word.confidence = std::min(word.confidence.value_or(1.0), *spoken[i].confidence);
      }
    }
    written.push_back(std::move(word));
  }
  return written;
}

void WrittenForm::setCase(std::vector<Piece>& pieces) const {
  icu::Locale locale(localeId_.c_str());
  const CasedWords& list = *casedWords_;
  // A name goes on while the next word is one the list does not know
  // ("Mr. John Dashwood", "Velandra Quinnova").
  bool inName = false;
  for (size_t i = 0; i < pieces.size(); ++i) {
    Piece& piece = pieces[i];
    if (!piece.plain) {
      inName = false;
      continue;
    }
    std::string lower = lowerCase(piece.text, locale);
    if (auto phrase = phraseCasing_.find(lower); phrase != phraseCasing_.end()) {
      piece.text = phrase->second;
      inName = false;
      continue;
    }
    if (english_) {
      if (lower == "i" || lower.starts_with("i'")) {
        piece.text = capitalised(lower);
        inName = false;
        continue;
      }
      const Piece* next = i + 1 < pieces.size() && pieces[i + 1].plain ? &pieces[i + 1] : nullptr;
      std::string nextLower = next ? lowerCase(next->text, locale) : std::string();
      bool nameFollows =
          next && !list.empty() && (list.canBeName(nextLower) || !list.knows(nextLower));
      std::string_view title;
      if (lower == "mister" || lower == "mr") title = "Mr.";
      if (lower == "missus" || lower == "mrs") title = "Mrs.";
      if (lower == "ms") title = "Ms.";
      if (lower == "dr" || (lower == "doctor" && nameFollows)) title = "Dr.";
      if (lower == "saint" && nameFollows) title = "St.";
      if (!title.empty()) {
        piece.text = title;
        // The word after a title is a name, even one that is sometimes not
        // ("Mr. Bill").
        if (next) {
          pieces[i + 1].text = capitalised(nextLower);
          pieces[i + 1].plain = false;
          ++i;
          inName = true;
        }
        continue;
      }
    }
    if (std::optional<std::string_view> name = list.alwaysCapitalised(lower)) {
      piece.text = *name;
      inName = true;
      continue;
    }
    if (inName && !list.empty() && !list.knows(lower)) {
      piece.text = capitalised(lower);
      continue;
    }
    inName = false;
  }
}

bool WrittenForm::isQuestion(const std::vector<std::string>& lower) const {
  if (!english_ || lower.empty()) return false;
  if (among(kInterrogatives, lower[0])) return true;
  return lower.size() > 1 && among(kAuxiliaries, lower[0]) && among(kSubjects, lower[1]);
}

}  // namespace earshot::platform::linuxos
