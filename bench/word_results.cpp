// Measures what the optional result attributes and contextual phrases give
// and cost, through the decoder and the segmenting recognizer the analyzer
// drives (100 ms chunks, the program's engine settings).
//
//   word_results timing DIR          word boundaries against flite's own
//   word_results confidence DIR      area under the ROC curve of confidence
//   word_results vocabulary DIR FILE phrases of FILE heard with and without them
//   word_results wer FILE N          librivox word errors with N phrases of FILE
//   word_results cost                decode time with and without attributes
//   word_results load FILE N         decoder load time with and without N phrases
//   word_results endpoint            when finals come: pauses that end an utterance
//   word_results long DIR [PART [WINDOW]]
//                                    confidence on finals of 5, 15 and 30 s of
//                                    unbroken speech: AUC, processor time, stop wait,
//                                    word errors; PART: seconds of a scored part
//                                    (0: the whole final), WINDOW: milliseconds of
//                                    its cut window; else the program's
//   ... --whole-dictionary           decoders load the whole dictionary
//
// DIR holds the recordings bench/speech_set.sh makes.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "engine_corpus.h"
#include "platform/linux/engine/decoder.h"
#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/engine/segmenting_recognizer.h"
#include "platform/linux/models/installed_models.h"
#include "tests/support/host_audio.h"

namespace {

using namespace earshot;
using namespace earshot::platform;
using namespace earshot::platform::linuxos;
namespace fs = std::filesystem;

double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

std::vector<std::string> split(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

std::string lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) out.push_back(line);
  }
  return out;
}

// --whole-dictionary, anywhere: decoders load the whole dictionary, to
// compare with the words of the language model alone.
bool wholeDictionary = false;

EngineSettings benchSettings() {
  EngineSettings settings = defaultEngineSettings();
  settings.languageModelWordsOnly = !wholeDictionary;
  return settings;
}

SpeechModel englishModel() {
  auto model = InstalledModels::system().find(Locale::fromIdentifier("en-US"));
  if (!model) {
    std::printf("no en-US model\n");
    std::exit(2);
  }
  return *model;
}

// The final results of one recording, decoded as a session decodes it.
std::vector<TranscriptionResult> decode(Decoder& decoder, const std::vector<int16_t>& samples,
                                        AttributeOptions attributes, double* cpuSeconds = nullptr) {
  std::vector<TranscriptionResult> finals;
  const EngineSettings settings = benchSettings();
  SegmentingRecognizer recognizer(
      decoder, 16000.0, settings,
      [&](TranscriptionResult result) {
        if (result.isFinal) finals.push_back(std::move(result));
      },
      attributes);
  double start = threadSeconds();
  recognizer.begin();
  // Input comes in 100 ms buffers, as hosts usually send it.
  for (size_t at = 0; at < samples.size(); at += 1600) {
    recognizer.process(samples.data() + at, std::min<size_t>(1600, samples.size() - at));
  }
  recognizer.finish();
  if (cpuSeconds) *cpuSeconds += threadSeconds() - start;
  return finals;
}

std::vector<TranscribedWord> wordsOf(const std::vector<TranscriptionResult>& finals) {
  std::vector<TranscribedWord> words;
  for (const auto& result : finals)
    words.insert(words.end(), result.words.begin(), result.words.end());
  return words;
}

std::string textOf(const std::vector<TranscriptionResult>& finals) {
  std::string text;
  for (const auto& result : finals) {
    if (!result.text.empty()) text += (text.empty() ? "" : " ") + result.text;
  }
  return text;
}

// For each hypothesis word, the index of the reference word it matches in a
// minimum edit alignment, or -1 (substituted or inserted).
std::vector<int> align(const std::vector<std::string>& ref, const std::vector<std::string>& hyp) {
  const size_t R = ref.size(), H = hyp.size();
  std::vector<std::vector<int>> d(R + 1, std::vector<int>(H + 1));
  for (size_t i = 0; i <= R; ++i) d[i][0] = int(i);
  for (size_t j = 0; j <= H; ++j) d[0][j] = int(j);
  for (size_t i = 1; i <= R; ++i)
    for (size_t j = 1; j <= H; ++j)
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (ref[i - 1] == hyp[j - 1] ? 0 : 1)});
  std::vector<int> match(H, -1);
  size_t i = R, j = H;
  while (i > 0 && j > 0) {
    if (ref[i - 1] == hyp[j - 1] && d[i][j] == d[i - 1][j - 1]) {
      match[--j] = int(--i);
    } else if (d[i][j] == d[i - 1][j - 1] + 1) {
      --i, --j;
    } else if (d[i][j] == d[i][j - 1] + 1) {
      --j;
    } else {
      --i;
    }
  }
  return match;
}

double median(std::vector<double> values) {
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double quantile(std::vector<double> values, double q) {
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, size_t(q * double(values.size())))];
}

struct SpokenWord {
  std::string text;
  double start = 0, end = 0;
};

// Word boundaries of a flite recording: its phones with their end times,
// cut into words by the phones each word has when said alone.
std::optional<std::vector<SpokenWord>> referenceWords(const std::string& stem) {
  std::vector<std::pair<std::string, double>> phones;
  for (const std::string& item : split(lines(stem + ".phones").at(0))) {
    size_t colon = item.rfind(':');
    phones.emplace_back(item.substr(0, colon), std::stod(item.substr(colon + 1)));
  }
  std::vector<std::string> text = split(lines(stem + ".txt").at(0));
  std::vector<std::string> perWord;
  {
    std::ifstream in(stem + ".words");
    for (std::string line; std::getline(in, line);) perWord.push_back(line);
  }
  if (perWord.size() != text.size()) return std::nullopt;
  std::vector<SpokenWord> words;
  size_t at = 0;
  double previousEnd = 0;
  for (size_t w = 0; w < text.size(); ++w) {
    while (at < phones.size() && phones[at].first == "pau") previousEnd = phones[at++].second;
    SpokenWord word{text[w], previousEnd, previousEnd};
    for (const std::string& phone : split(perWord[w])) {
      if (at >= phones.size() || phones[at].first != phone) return std::nullopt;
      word.end = previousEnd = phones[at++].second;
    }
    words.push_back(word);
  }
  return words;
}

std::vector<std::string> recordingsIn(const std::string& dir, const std::string& prefix) {
  std::vector<std::string> stems;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name.starts_with(prefix) && name.ends_with(".wav")) {
      stems.push_back(entry.path().string().substr(0, entry.path().string().size() - 4));
    }
  }
  std::sort(stems.begin(), stems.end());
  return stems;
}

int timing(const std::string& dir) {
  Decoder decoder(englishModel(), benchSettings());
  std::vector<double> errors;
  size_t recordings = 0, skipped = 0, referenceCount = 0;
  for (const std::string& stem : recordingsIn(dir, "")) {
    auto reference = referenceWords(stem);
    if (!reference) {
      ++skipped;
      continue;
    }
    ++recordings;
    auto words = wordsOf(decode(decoder, bench::readSamples(stem + ".wav"), {true, false}));
    std::vector<std::string> ref, hyp;
    for (const auto& word : *reference) ref.push_back(lower(word.text));
    for (const auto& word : words) hyp.push_back(lower(word.text));
    referenceCount += ref.size();
    std::vector<int> match = align(ref, hyp);
    for (size_t j = 0; j < hyp.size(); ++j) {
      if (match[j] < 0) continue;
      const SpokenWord& truth = (*reference)[size_t(match[j])];
      errors.push_back(std::fabs(words[j].audioTimeRange->start - truth.start));
      errors.push_back(std::fabs(words[j].audioTimeRange->end - truth.end));
    }
  }
  std::printf(
      "word boundaries: %zu recordings (%zu skipped), %zu of %zu reference words matched\n"
      "absolute error: median %.1f ms, 90th percentile %.1f ms, max %.1f ms\n",
      recordings, skipped, errors.size() / 2, referenceCount, 1000 * median(errors),
      1000 * quantile(errors, 0.9), 1000 * quantile(errors, 1.0));
  return 0;
}

// Area under the ROC curve: the chance that a right word scores above a
// wrong one (ties count half).
double areaUnderCurve(const std::vector<std::pair<double, bool>>& scored) {
  double sum = 0;
  size_t right = 0, wrong = 0;
  for (const auto& [score, ok] : scored) (ok ? right : wrong)++;
  for (const auto& a : scored)
    for (const auto& b : scored)
      if (a.second && !b.second) sum += a.first > b.first ? 1 : a.first == b.first ? 0.5 : 0;
  return right && wrong ? sum / double(right * wrong) : NAN;
}

// White noise at a signal-to-noise ratio, from a fixed seed.
std::vector<int16_t> withNoise(std::vector<int16_t> samples, double snrDb) {
  double power = 0;
  for (int16_t s : samples) power += double(s) * s;
  double rms = std::sqrt(power / std::max<size_t>(1, samples.size()));
  double level = rms / std::pow(10.0, snrDb / 20.0) * std::sqrt(3.0);
  uint32_t state = 12345;
  for (int16_t& s : samples) {
    state = state * 1664525u + 1013904223u;
    double noise = (double(state) / 4294967296.0 * 2 - 1) * level;
    s = int16_t(std::clamp(double(s) + noise, -32768.0, 32767.0));
  }
  return samples;
}

int confidence(const std::string& dir) {
  // One decoder per set, as one speaker and channel would have: the engine
  // adapts to what it hears, and mixing sets would blur that.
  struct Set {
    const char* name;
    std::vector<std::pair<double, bool>> scored;
  } sets[] = {{"librivox", {}}, {"flite, clean", {}}, {"flite, white noise at 20 dB", {}}};
  auto score = [](Decoder& decoder, Set& set, const std::vector<int16_t>& samples,
                  const std::string& reference) {
    auto words = wordsOf(decode(decoder, samples, {false, true}));
    std::vector<std::string> hyp;
    for (const auto& word : words) hyp.push_back(lower(word.text));
    std::vector<int> match = align(split(lower(reference)), hyp);
    for (size_t j = 0; j < hyp.size(); ++j) {
      set.scored.emplace_back(*words[j].confidence, match[j] >= 0);
    }
  };
  {
    Decoder decoder(englishModel(), benchSettings());
    for (const auto& recording : bench::librivoxRecordings()) {
      score(decoder, sets[0], recording.samples, recording.reference);
    }
  }
  for (int noisy = 0; noisy < 2; ++noisy) {
    Decoder decoder(englishModel(), benchSettings());
    for (const std::string& stem : recordingsIn(dir, "sentences-")) {
      auto samples = bench::readSamples(stem + ".wav");
      if (noisy) samples = withNoise(std::move(samples), 20);
      score(decoder, sets[1 + noisy], samples, lines(stem + ".txt").at(0));
    }
  }
  std::vector<std::pair<double, bool>> all;
  auto report = [](const char* name, const std::vector<std::pair<double, bool>>& scored) {
    size_t right =
        size_t(std::count_if(scored.begin(), scored.end(), [](auto& s) { return s.second; }));
    std::printf("%-28s %4zu words (%zu wrong): AUC %.3f\n", name, scored.size(),
                scored.size() - right, areaUnderCurve(scored));
  };
  for (const Set& set : sets) {
    report(set.name, set.scored);
    all.insert(all.end(), set.scored.begin(), set.scored.end());
  }
  report("all", all);
  return 0;
}

bool contains(const std::string& text, const std::string& phrase) {
  std::string padded = " " + lower(text) + " ";
  return padded.find(" " + lower(phrase) + " ") != std::string::npos;
}

int vocabulary(const std::string& dir, const std::string& phraseFile) {
  std::vector<std::string> phrases = lines(phraseFile);
  Decoder plain(englishModel(), benchSettings());
  Decoder taught(englishModel(), benchSettings(), phrases);
  size_t spoken = 0, heardPlain = 0, heardTaught = 0;
  for (const std::string& stem : recordingsIn(dir, "names-")) {
    auto samples = bench::readSamples(stem + ".wav");
    std::string reference = lines(stem + ".txt").at(0);
    std::string without = textOf(decode(plain, samples, {}));
    std::string with = textOf(decode(taught, samples, {}));
    std::printf("%s\n  without: %s\n  with:    %s\n", fs::path(stem).filename().c_str(),
                without.c_str(), with.c_str());
    for (const std::string& phrase : phrases) {
      if (!contains(reference, phrase)) continue;
      ++spoken;
      heardPlain += contains(without, phrase);
      heardTaught += contains(with, phrase);
    }
  }
  std::printf("phrases spoken %zu: heard without them %zu, with them %zu\n", spoken, heardPlain,
              heardTaught);
  return 0;
}

int wer(const std::string& phraseFile, size_t count) {
  std::vector<std::string> phrases = lines(phraseFile);
  phrases.resize(std::min(count, phrases.size()));
  Decoder plain(englishModel(), benchSettings());
  Decoder taught(englishModel(), benchSettings(), phrases);
  size_t errorsPlain = 0, errorsTaught = 0, words = 0;
  for (const auto& recording : bench::librivoxRecordings()) {
    std::string without = textOf(decode(plain, recording.samples, {}));
    std::string with = textOf(decode(taught, recording.samples, {}));
    errorsPlain += bench::wordErrors(recording.reference, without).errors;
    errorsTaught += bench::wordErrors(recording.reference, with).errors;
    words += bench::wordErrors(recording.reference, without).reference;
    if (without != with)
      std::printf("%s\n  without: %s\n  with:    %s\n", recording.name.c_str(), without.c_str(),
                  with.c_str());
  }
  std::printf("librivox word errors: %zu/%zu without phrases, %zu/%zu with %zu phrases\n",
              errorsPlain, words, errorsTaught, words, phrases.size());
  return 0;
}

int cost() {
  Decoder decoder(englishModel(), benchSettings());
  auto recordings = bench::librivoxRecordings();
  double plain = 0, attributed = 0;
  for (int round = 0; round < 3; ++round) {
    for (const auto& recording : recordings) {
      decode(decoder, recording.samples, {}, &plain);
      decode(decoder, recording.samples, {true, true}, &attributed);
    }
  }
  std::printf(
      "decode processor time, 3 x 5 librivox recordings: %.3f s plain, %.3f s with "
      "times and confidence (%+.1f%%)\n",
      plain, attributed, 100 * (attributed / plain - 1));
  return 0;
}

int load(const std::string& phraseFile, size_t count) {
  std::vector<std::string> phrases = lines(phraseFile);
  phrases.resize(std::min(count, phrases.size()));
  std::vector<double> plain, taught;
  for (int round = 0; round < 5; ++round) {
    for (bool with : {false, true}) {
      auto start = std::chrono::steady_clock::now();
      Decoder decoder(englishModel(), benchSettings(), with ? phrases : std::vector<std::string>{});
      double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      (with ? taught : plain).push_back(seconds);
    }
  }
  std::printf("decoder load, median of 5: %.3f s plain, %.3f s with %zu phrases (x%.2f)\n",
              median(plain), median(taught), phrases.size(), median(taught) / median(plain));
  return 0;
}

// goforward.raw without its leading and trailing silence, said twice with a
// pause between: which pauses end an utterance, and how much audio after the
// last word its final comes.
int endpoint() {
  const auto recording = bench::goForwardRecording().samples;
  const std::vector<int16_t> speech(recording.begin() + 7040, recording.begin() + 34560);
  Decoder decoder(englishModel(), benchSettings());
  for (double pause : {0.2, 0.3, 0.4, 0.5, 0.6, 0.8, 1.0}) {
    std::vector<int16_t> samples(8000, 0);
    samples.insert(samples.end(), speech.begin(), speech.end());
    samples.insert(samples.end(), size_t(pause * 16000), 0);
    samples.insert(samples.end(), speech.begin(), speech.end());
    samples.insert(samples.end(), 32000, 0);
    size_t fed = 0;
    std::string report;
    SegmentingRecognizer recognizer(
        decoder, 16000.0, benchSettings(),
        [&](TranscriptionResult result) {
          if (!result.isFinal || result.words.empty()) return;
          char line[160];
          std::snprintf(line, sizeof line, " [%zu words, final %.2f s after the last word]",
                        result.words.size(),
                        double(fed) / 16000 - result.words.back().audioTimeRange->end);
          report += line;
        },
        {true, false});
    recognizer.begin();
    for (; fed < samples.size();) {
      size_t chunk = std::min<size_t>(1600, samples.size() - fed);
      fed += chunk;
      recognizer.process(samples.data() + fed - chunk, chunk);
    }
    recognizer.finish();
    std::printf("pause %.1f s:%s\n", pause, report.c_str());
  }
  return 0;
}

// Finals of about 5, 15 and 30 s: the librivox recordings and the flite
// sentences (each voice on its own), pauses taken out, joined in order until
// a final is that long. Decoded with the program's settings but without the
// segment bound, so that each piece is exactly one final. Reports the area
// under the ROC curve, the processor time of decoding with confidence
// against without, the wait at the end of each final (finish()), and the word
// errors of both: with confidence, a final is decoded in parts of `part`
// seconds.
int longFinals(const std::string& dir, std::optional<unsigned> part,
               std::optional<unsigned> window) {
  struct Source {
    std::vector<int16_t> samples;
    std::string reference;
  };
  std::vector<std::vector<Source>> speakers;
  {
    std::vector<Source> book;
    for (const auto& recording : bench::librivoxRecordings()) {
      book.push_back({testkit::withoutPauses(recording.samples), recording.reference});
    }
    speakers.push_back(book);
  }
  for (const char* voice : {"slt", "rms", "awb", "kal16"}) {
    std::vector<Source> sentences;
    for (const std::string& stem : recordingsIn(dir, "sentences-")) {
      if (!stem.ends_with(std::string("-") + voice)) continue;
      sentences.push_back(
          {testkit::withoutPauses(bench::readSamples(stem + ".wav")), lines(stem + ".txt").at(0)});
    }
    speakers.push_back(sentences);
  }
  EngineSettings settings = defaultEngineSettings();
  settings.maxSegmentSeconds = 0;
  if (part) settings.confidencePartSeconds = *part;
  if (window) settings.confidencePartWindowMilliseconds = *window;
  std::printf("confidence in parts of %u s (0: whole finals), cut in their last %u ms\n",
              settings.confidencePartSeconds, settings.confidencePartWindowMilliseconds);
  for (double seconds : {5.0, 15.0, 30.0}) {
    std::vector<std::pair<double, bool>> scored;
    double plainCpu = 0, confidentCpu = 0;
    std::vector<double> plainStops, confidentStops;
    size_t finals = 0, certain = 0, referenceWords = 0, plainErrors = 0, confidentErrors = 0;
    for (const auto& speaker : speakers) {
      // Pieces of the speaker's speech, each `seconds` long.
      std::vector<std::pair<std::vector<int16_t>, std::string>> pieces;
      std::vector<int16_t> samples;
      std::string reference;
      for (int round = 0; round < 8 && pieces.size() < 4; ++round) {
        for (const Source& source : speaker) {
          samples.insert(samples.end(), source.samples.begin(), source.samples.end());
          reference += (reference.empty() ? "" : " ") + source.reference;
          if (double(samples.size()) / 16000 >= seconds) {
            pieces.emplace_back(std::move(samples), std::move(reference));
            samples.clear();
            reference.clear();
          }
        }
      }
      for (bool confident : {false, true}) {
        Decoder decoder(englishModel(), settings);
        for (const auto& [piece, words] : pieces) {
          std::vector<TranscriptionResult> results;
          SegmentingRecognizer recognizer(decoder, 16000.0, settings,
                                          [&](TranscriptionResult result) {
                                            if (result.isFinal)
                                              results.push_back(std::move(result));
                                          },
                                          {false, confident});
          double start = threadSeconds();
          recognizer.begin();
          for (size_t at = 0; at < piece.size(); at += 1600) {
            recognizer.process(piece.data() + at, std::min<size_t>(1600, piece.size() - at));
          }
          double stop = threadSeconds();
          recognizer.finish();
          double end = threadSeconds();
          (confident ? confidentCpu : plainCpu) += end - start;
          (confident ? confidentStops : plainStops).push_back(end - stop);
          const auto errors = bench::wordErrors(words, textOf(results));
          (confident ? confidentErrors : plainErrors) += errors.errors;
          if (!confident) continue;
          referenceWords += errors.reference;
          auto heard = wordsOf(results);
          finals += results.size();
          std::vector<std::string> hyp;
          for (const auto& word : heard) hyp.push_back(lower(word.text));
          std::vector<int> match = align(split(lower(words)), hyp);
          for (size_t j = 0; j < hyp.size(); ++j) {
            scored.emplace_back(*heard[j].confidence, match[j] >= 0);
            if (*heard[j].confidence >= 0.999) ++certain;
          }
        }
      }
    }
    size_t right =
        size_t(std::count_if(scored.begin(), scored.end(), [](auto& s) { return s.second; }));
    std::printf(
        "finals of %2.0f s: %3zu finals, %4zu words (%zu wrong), %zu at >= 0.999: AUC %.3f; "
        "processor %.2f s plain, %.2f s with confidence (%+.1f%%); wait at the end, median "
        "%.0f ms plain, %.0f ms with confidence (max %.0f ms); word errors %zu plain, %zu with "
        "confidence, of %zu\n",
        seconds, finals, scored.size(), scored.size() - right, certain, areaUnderCurve(scored),
        plainCpu, confidentCpu, 100 * (confidentCpu / plainCpu - 1), 1000 * median(plainStops),
        1000 * median(confidentStops), 1000 * quantile(confidentStops, 1.0), plainErrors,
        confidentErrors, referenceWords);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  wholeDictionary = std::erase(args, "--whole-dictionary") > 0;
  if (args.size() == 2 && args[0] == "timing") return timing(args[1]);
  if (args.size() == 2 && args[0] == "confidence") return confidence(args[1]);
  if (args.size() == 3 && args[0] == "vocabulary") return vocabulary(args[1], args[2]);
  if (args.size() == 3 && args[0] == "wer") return wer(args[1], std::stoul(args[2]));
  if (args.size() == 1 && args[0] == "cost") return cost();
  if (args.size() == 3 && args[0] == "load") return load(args[1], std::stoul(args[2]));
  if (args.size() == 1 && args[0] == "endpoint") return endpoint();
  if (args.size() >= 2 && args.size() <= 4 && args[0] == "long") {
    auto number = [&](size_t i) -> std::optional<unsigned> {
      if (i >= args.size()) return std::nullopt;
      return unsigned(std::stoul(args[i]));
    };
    return longFinals(args[1], number(2), number(3));
  }
  std::printf("usage: see the top of bench/word_results.cpp\n");
  return 2;
}
