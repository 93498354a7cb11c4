#include "platform/linux/engine/decoder.h"

#include <pocketsphinx.h>
#include <sphinxbase/cmn.h>
#include <sphinxbase/feat.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string_view>
#include <vector>

#include "platform/linux/engine/dictionary_filter.h"
#include "platform/linux/engine/engine_log.h"
#include "platform/linux/engine/hypothesis_text.h"
#include "platform/linux/engine/lattice_posteriors.h"
#include "platform/linux/engine/model_files_check.h"
#include "platform/linux/vocabulary/pronunciation.h"
#include "platform/platform_error.h"
#include "platform/unexpected_exit.h"

namespace earshot::platform::linuxos {
namespace {

// Weight of the phrase model against the model's own when interpolating
// (docs/recognition.md has the measurements behind it).
constexpr float kPhraseModelWeight = 0.05f;

// The engine reads dictionaries and language models from files only; text
// made here is handed over as an anonymous in-memory file, which touches no
// disk.
class MemoryFile {
 public:
  MemoryFile(const char* name, std::string_view contents) : fd_(memfd_create(name, MFD_CLOEXEC)) {
    for (size_t at = 0; fd_ >= 0 && at < contents.size();) {
      ssize_t n = ::write(fd_, contents.data() + at, contents.size() - at);
      if (n <= 0) {
        ::close(fd_);
        fd_ = -1;
      }
      at += n > 0 ? static_cast<size_t>(n) : 0;
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  bool written() const { return fd_ >= 0; }
  std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

std::optional<std::string> readWhole(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return std::nullopt;
  return text;
}

// espeak-ng names its voices by language and region, as the model's locale
// is named ("en-us").
std::string voiceOf(const SpeechModel& model) {
  std::string voice = model.locale.bcp47();
  std::transform(voice.begin(), voice.end(), voice.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return voice;
}

}  // namespace

Decoder::Decoder(const SpeechModel& model, const EngineSettings& settings,
                 const std::vector<std::string>& contextualPhrases)
    : sampleRate_(model.sampleRate), toUtf8_(model.textEncoding) {
  silenceEngineLog();
  clearEngineError();
  const std::string cannotLoad =
      "Speech model for " + model.locale.bcp47() + " could not be loaded";
  // The engine asserts or exits on some faults of a model; refuse what can be
  // seen before it gets there.
  if (std::optional<std::string> problem = modelFileProblem(model)) {
    throw PlatformError(cannotLoad + ": " + *problem + ".");
  }
  // And should it exit on one that cannot, the host still learns why.
  ExitExplanation explanation([cannotLoad] {
    std::string detail = lastEngineError();
    return detail.empty() ? cannotLoad + "." : cannotLoad + ": " + detail;
  });
  // The engine builds its search once, when it is given the language model,
  // so the dictionary and the contextual words come first. With the whole
  // dictionary and no phrases the engine reads everything itself.
  const bool wholeDictionary = !settings.languageModelWordsOnly;
  std::vector<std::string> words = {"-hmm", model.acousticModel.string()};
  if (wholeDictionary) {
    words.push_back("-dict");
    words.push_back(model.dictionary.string());
    if (contextualPhrases.empty()) {
      words.push_back("-lm");
      words.push_back(model.languageModel.string());
    }
  }
  for (const auto& [name, value] : settings.options) {
    words.push_back(name);
    words.push_back(value);
  }
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  config_ = cmd_ln_parse_r(nullptr, ps_args(), static_cast<int32>(argv.size()), argv.data(), TRUE);
  if (config_ == nullptr) fail("Speech engine settings were refused");
  engine_ = ps_init(config_);
  if (engine_ == nullptr) {
    cmd_ln_free_r(config_);
    config_ = nullptr;
    fail(cannotLoad);
  }
  if (!wholeDictionary) {
    loadWordsOfLanguageModel(model, contextualPhrases);
  } else if (!contextualPhrases.empty()) {
    LanguageModel own(ngram_model_read(config_, model.languageModel.c_str(), NGRAM_AUTO,
                                       ps_get_logmath(engine_)));
    if (!own) fail(cannotLoad);
    loadVocabulary(model, contextualPhrases, std::move(own));
  }
  framesPerSecond_ = static_cast<unsigned>(std::max<int32>(1, cmd_ln_int32_r(config_, "-frate")));
  if (settings.earlyAdaptationMilliseconds > 0) {
    earlyEvery_ = std::max<uint64_t>(
        1, uint64_t{settings.earlyAdaptationMilliseconds} * framesPerSecond_ / 1000);
    earlyUntil_ = uint64_t{settings.earlyAdaptationSpeechSeconds} * framesPerSecond_;
  }
  initialMean_ = cepstralMean();
  markNewSpeech();
}

void Decoder::FreeLanguageModel::operator()(ngram_model_s* model) const {
  ngram_model_free(model);
}

Decoder::~Decoder() {
  if (engine_ != nullptr) ps_free(engine_);
  if (config_ != nullptr) cmd_ln_free_r(config_);
}

void Decoder::loadWordsOfLanguageModel(const SpeechModel& model,
                                       const std::vector<std::string>& phrases) {
  const std::string cannotLoad =
      "Speech model for " + model.locale.bcp47() + " could not be loaded";
  LanguageModel own(
      ngram_model_read(config_, model.languageModel.c_str(), NGRAM_AUTO, ps_get_logmath(engine_)));
  if (!own) fail(cannotLoad);
  std::optional<std::string> dictionary = readWhole(model.dictionary);
  if (!dictionary) throw PlatformError(cannotLoad + ": its dictionary could not be read.");
  std::vector<std::string> spellings = ContextualVocabulary::lookupSpellings(phrases);
  std::set<std::string, std::less<>> looked(spellings.begin(), spellings.end());
  const int32 unknown = ngram_unknown_wid(own.get());
  std::string word;
  MemoryFile kept("dictionary", filterDictionary(*dictionary, [&](std::string_view base) {
                    word.assign(base);  // the engine's look-up takes C strings
                    return ngram_wid(own.get(), word.c_str()) != unknown || looked.contains(base);
                  }));
  dictionary.reset();
  if (!kept.written() || ps_load_dict(engine_, kept.path().c_str(), nullptr, nullptr) < 0) {
    fail(cannotLoad);
  }
  if (!phrases.empty()) {
    loadVocabulary(model, phrases, std::move(own));
    return;
  }
  // The search keeps a reference of its own.
  int added = ps_set_lm(engine_, "ngram", own.get());
  own.reset();
  if (added < 0 || ps_set_search(engine_, "ngram") < 0) fail(cannotLoad);
}

std::optional<std::string> Decoder::pronunciation(const std::string& word) {
  char* phones = ps_lookup_word(engine_, word.c_str());
  if (phones == nullptr) return std::nullopt;
  std::string text(phones);
  std::free(phones);
  return text;
}

void Decoder::loadVocabulary(const SpeechModel& model, const std::vector<std::string>& phrases,
                             LanguageModel own) {
  std::string voice = voiceOf(model);
  vocabulary_ = ContextualVocabulary(
      phrases, [this](const std::string& word) { return pronunciation(word); },
      [voice](const std::string& word) { return pronounce(word, voice); });
  // A word whose phones the model lacks is left out; its phrase token then
  // matches nothing, which costs nothing.
  for (const auto& [word, phones] : vocabulary_.additions()) {
    ps_add_word(engine_, word.c_str(), phones.c_str(), FALSE);
  }
  const std::string modelFailure =
      "Speech model for " + model.locale.bcp47() + " could not be loaded";
  MemoryFile arpa("phrases.arpa", vocabulary_.arpa());
  ngram_model_t* phraseModel =
      arpa.written()
          ? ngram_model_read(config_, arpa.path().c_str(), NGRAM_ARPA, ps_get_logmath(engine_))
          : nullptr;
  if (phraseModel == nullptr) fail("Contextual phrases could not be added");
  ngram_model_t* models[] = {own.get(), phraseModel};
  const char* names[] = {"model", "phrases"};
  const float32 weights[] = {1.0f - kPhraseModelWeight, kPhraseModelWeight};
  // The set and then the search keep references of their own.
  ngram_model_t* set = ngram_model_set_init(config_, models, const_cast<char**>(names), weights, 2);
  own.reset();
  ngram_model_free(phraseModel);
  if (set == nullptr) fail("Contextual phrases could not be added");
  ngram_model_set_interp(set, nullptr, nullptr);
  int added = ps_set_lm(engine_, "ngram", set);
  ngram_model_free(set);
  if (added < 0 || ps_set_search(engine_, "ngram") < 0) fail(modelFailure);
}

void Decoder::fail(const std::string& what) {
  std::string detail = lastEngineError();
  clearEngineError();
  throw PlatformError(detail.empty() ? what + "." : what + ": " + detail);
}

void Decoder::startUtterance() {
  if (ps_start_utt(engine_) < 0) fail("Speech engine could not start an utterance");
  inUtterance_ = true;
  utteranceFrames_ = 0;
  followNormalisation(0);
}

void Decoder::process(const int16_t* samples, size_t count) {
  if (ps_process_raw(engine_, samples, count, FALSE, FALSE) < 0) {
    fail("Speech engine could not decode audio");
  }
  samplesProcessed_ += count;
  uint64_t before = utteranceFrames_;
  countFrames();
  followNormalisation(utteranceFrames_ - std::min(before, utteranceFrames_));
  uint64_t heard = speechFrames();
  if (earlyEnabled_ && heard < earlyFrom_ + earlyUntil_ &&
      heard >= lastEarlyUpdate_ + earlyEvery_) {
    cmn_live_update(ps_get_feat(engine_)->cmn_struct);
    followNormalisation(0);
    lastEarlyUpdate_ = heard;
  }
}

void Decoder::countFrames() {
  // Voice activity detection keeps silence away from the search, so these
  // are frames of speech (and a little of the silence around it).
  utteranceFrames_ = static_cast<uint64_t>(std::max(0, ps_get_n_frames(engine_)));
}

bool Decoder::inSpeech() {
  return ps_get_in_speech(engine_) != 0;
}

std::string Decoder::hypothesis() {
  int32 score = 0;
  const char* text = ps_get_hyp(engine_, &score);
  if (text == nullptr) return std::string();
  std::string plain = hypothesisText(toUtf8_(text));
  if (vocabulary_.empty()) return plain;
  // A phrase recognized as a whole is written as its words.
  std::string spelled;
  size_t at = 0;
  while (at < plain.size()) {
    size_t end = std::min(plain.find(' ', at), plain.size());
    std::string_view token = std::string_view(plain).substr(at, end - at);
    if (!spelled.empty()) spelled += ' ';
    if (const auto* compound = vocabulary_.compound(token)) {
      for (size_t i = 0; i < compound->words.size(); ++i) {
        if (i > 0) spelled += ' ';
        spelled += compound->words[i];
      }
    } else {
      spelled += vocabulary_.spelling(token).value_or(token);
    }
    at = end + 1;
  }
  return spelled;
}

DecodedHypothesis Decoder::detailedHypothesis(bool confidence) {
  DecodedHypothesis result;
  std::vector<DecodedWord> tokens;
  for (ps_seg_t* seg = ps_seg_iter(engine_); seg != nullptr; seg = ps_seg_next(seg)) {
    int start = 0, last = 0;
    ps_seg_frames(seg, &start, &last);
    if (!result.hasFrames) {
      result.hasFrames = true;
      result.startFrame = start;
    }
    result.endFrame = std::max(result.endFrame, last + 1);
    if (auto word = spokenWord(ps_seg_word(seg))) {
      tokens.push_back(DecodedWord{std::string(*word), start, last + 1, 0.0});
    }
  }
  if (confidence && !tokens.empty()) addConfidence(tokens, result.startFrame);
  for (DecodedWord& token : tokens) token.text = toUtf8_(token.text);
  result.words = splitCompounds(std::move(tokens));
  return result;
}

void Decoder::addConfidence(std::vector<DecodedWord>& tokens, int utteranceStart) {
  // The lattice belongs to the engine and lives until the next utterance.
  addLatticePosteriors(ps_get_lattice(engine_), ps_get_lm(engine_, ps_get_search(engine_)),
                       cmd_ln_float32_r(config_, "-ascale"), utteranceStart, tokens);
}

std::vector<DecodedWord> Decoder::splitCompounds(std::vector<DecodedWord> tokens) const {
  if (vocabulary_.empty()) return tokens;
  std::vector<DecodedWord> words;
  for (DecodedWord& token : tokens) {
    const auto* compound = vocabulary_.compound(token.text);
    if (compound == nullptr) {
      if (auto spelling = vocabulary_.spelling(token.text)) token.text = *spelling;
      words.push_back(std::move(token));
      continue;
    }
    // Each word gets the share of the frames its phones have.
    size_t phones = 0;
    for (size_t count : compound->phoneCounts) phones += count;
    const int frames = token.endFrame - token.startFrame;
    size_t before = 0;
    for (size_t i = 0; i < compound->words.size(); ++i) {
      auto at = [&](size_t phone) {
        return token.startFrame +
               static_cast<int>(std::lround(double(frames) * double(phone) / double(phones)));
      };
      int start = at(before);
      before += compound->phoneCounts[i];
      words.push_back(DecodedWord{compound->words[i], start, at(before), token.confidence});
    }
  }
  return words;
}

void Decoder::endUtterance() {
  inUtterance_ = false;
  if (ps_end_utt(engine_) < 0) fail("Speech engine could not end an utterance");
  uint64_t before = utteranceFrames_;
  countFrames();
  followNormalisation(utteranceFrames_ - std::min(before, utteranceFrames_));
  finishedFrames_ += utteranceFrames_;
  utteranceFrames_ = 0;
}

std::vector<float> Decoder::cepstralMean() {
  cmn_t* cmn = ps_get_feat(engine_)->cmn_struct;
  if (cmn == nullptr) return {};
  std::vector<mfcc_t> mean(static_cast<size_t>(cmn->veclen));
  cmn_live_get(cmn, mean.data());
  return {mean.begin(), mean.end()};
}

bool Decoder::setCepstralMean(std::span<const float> mean) {
  cmn_t* cmn = ps_get_feat(engine_)->cmn_struct;
  if (cmn == nullptr || mean.size() != static_cast<size_t>(cmn->veclen)) return false;
  std::vector<mfcc_t> values(mean.begin(), mean.end());
  cmn_live_set(cmn, values.data());
  meanSet_ = true;
  seeNormalisation();  // a new start, not speech
  return true;
}

std::vector<float> Decoder::newSpeechMean() const {
  if (newFrames_ <= 0) return {};
  std::vector<float> mean(newSum_.size());
  for (size_t i = 0; i < mean.size(); ++i) mean[i] = static_cast<float>(newSum_[i] / newFrames_);
  return mean;
}

void Decoder::markNewSpeech() {
  seeNormalisation();
  newSum_.assign(seenSum_.size(), 0.0);
  newFrames_ = 0;
}

void Decoder::seeNormalisation() {
  const cmn_t* cmn = ps_get_feat(engine_)->cmn_struct;
  if (cmn == nullptr) return;
  seenSum_.assign(cmn->sum, cmn->sum + cmn->veclen);
  seenFrames_ = cmn->nframe;
}

void Decoder::followNormalisation(uint64_t framesIn) {
  const cmn_t* cmn = ps_get_feat(engine_)->cmn_struct;
  if (cmn == nullptr || seenSum_.size() != static_cast<size_t>(cmn->veclen)) return;
  const int frames = cmn->nframe;
  if (frames >= seenFrames_) {
    for (size_t i = 0; i < newSum_.size(); ++i) newSum_[i] += cmn->sum[i] - seenSum_[i];
    newFrames_ += frames - seenFrames_;
  } else {
    // Past CMN_WIN_HWM frames the engine scales its sum down to CMN_WIN
    // frames: it took `before` of this call's frames, scaled, then `after`
    // more. The recognizer's calls of 100 ms take some ten frames, so one
    // scaling at most falls in a call and where it fell hardly matters; a
    // call of more than 3 s could hold several, which this would miss.
    const double after = std::max(0, frames - CMN_WIN);
    const double before =
        std::max({double(framesIn) - after, double(CMN_WIN_HWM - seenFrames_), 0.0});
    const double scale = double(CMN_WIN) / (seenFrames_ + before);
    if (before + after > 0) {
      const double share = (before + after) / (scale * before + after);
      for (size_t i = 0; i < newSum_.size(); ++i) {
        newSum_[i] += (cmn->sum[i] - scale * seenSum_[i]) * share;
      }
      newFrames_ += before + after;
    }
  }
  seeNormalisation();
}

void Decoder::restartEarlyAdaptation(bool enabled) {
  earlyEnabled_ = enabled;
  earlyFrom_ = speechFrames();
  lastEarlyUpdate_ = earlyFrom_;
}

}  // namespace earshot::platform::linuxos
