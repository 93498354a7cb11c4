#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/engine/decoder_pool.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/pocketsphinx_analyzer.h"
#include "platform/platform_error.h"
#include "tests/platform/linux/stderr_capture.h"
#include "tests/support/host_audio.h"

namespace earshot::platform::linuxos {
namespace {
namespace fs = std::filesystem;

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), {}};
}

// How many of the expected words occur in `text`.
size_t wordsFound(const std::string& expected, const std::string& text) {
  auto heard = words(text);
  size_t found = 0;
  for (const auto& word : words(expected)) {
    if (std::find(heard.begin(), heard.end(), word) != heard.end()) ++found;
  }
  return found;
}

// One analyzer session as the live mode runs it: results read on their own
// thread from the start while 100 ms buffers are appended.
class Session {
 public:
  // The engine's own words unless `form` says otherwise: most of these tests
  // are about recognition.
  explicit Session(Platform& platform, AudioFormat format = {CommonFormat::int16, 16000, 1, false},
                   AttributeOptions attributes = {}, std::vector<std::string> phrases = {},
                   TextForm form = TextForm::spoken)
      : format_(format) {
    attributes.textForm = form;
    transcriber_ = platform.speech->makeTranscriber(
        Locale::fromIdentifier("en-US"), TranscriberPreset::progressiveTranscription, attributes);
    analyzer_ = platform.speech->makeAnalyzer({transcriber_});
    if (!phrases.empty()) analyzer_->setContext(AnalysisContext{std::move(phrases)});
    reader_ = std::thread([this] {
      while (auto result = transcriber_->results().next()) results_.push_back(*result);
    });
  }
  ~Session() {
    analyzer_.reset();
    if (reader_.joinable()) reader_.join();
  }

  void start() {
    analyzer_->prepareToAnalyze(format_);
    analyzer_->start(queue_);
  }
  void append(const std::vector<int16_t>& samples) {
    const size_t chunk = 1600;
    for (size_t at = 0; at < samples.size(); at += chunk) {
      uint32_t count = static_cast<uint32_t>(std::min(chunk, samples.size() - at));
      auto buffer = std::make_unique<PcmBuffer>(format_, count);
      std::copy_n(samples.data() + at, count, buffer->int16ChannelData());
      buffer->setFrameLength(count);
      queue_->push(std::move(buffer));
    }
  }
  // Finishes the input and waits for every result.
  std::vector<TranscriptionResult> finish() {
    queue_->close();
    analyzer_->finalizeAndFinishThroughEndOfInput();
    reader_.join();
    return results_;
  }
  // Drops the analyzer without finalizing; returns what was delivered.
  std::vector<TranscriptionResult> destroy() {
    analyzer_.reset();
    if (reader_.joinable()) reader_.join();
    return results_;
  }

 private:
  AudioFormat format_;
  std::shared_ptr<SpeechTranscriber> transcriber_;
  std::shared_ptr<SpeechAnalyzer> analyzer_;
  std::shared_ptr<AnalyzerInputQueue> queue_ = std::make_shared<AnalyzerInputQueue>();
  std::thread reader_;
  std::vector<TranscriptionResult> results_;
};

std::vector<TranscriptionResult> transcribe(Platform& platform, const std::vector<int16_t>& audio,
                                            AttributeOptions attributes = {},
                                            std::vector<std::string> phrases = {},
                                            TextForm form = TextForm::spoken) {
  Session session(platform, {CommonFormat::int16, 16000, 1, false}, attributes, std::move(phrases),
                  form);
  session.start();
  session.append(audio);
  return session.finish();
}

std::string finals(const std::vector<TranscriptionResult>& results) {
  std::string text;
  for (const auto& result : results) {
    if (result.isFinal && !result.text.empty()) text += (text.empty() ? "" : " ") + result.text;
  }
  return text;
}

// Results come as segments: volatile ones, then one final that closes them.
void expectSegments(const std::vector<TranscriptionResult>& results) {
  bool open = false;
  for (const auto& result : results) {
    EXPECT_EQ(result.text.find_first_of("<[(+"), std::string::npos) << result.text;
    EXPECT_EQ(result.text.find("  "), std::string::npos) << result.text;
    if (!result.text.empty()) {
      EXPECT_NE(result.text.front(), ' ');
      EXPECT_NE(result.text.back(), ' ');
    }
    if (!result.isFinal) {
      EXPECT_FALSE(result.text.empty() && !open) << "a segment opened with nothing";
    }
    open = !result.isFinal;
  }
  EXPECT_FALSE(open) << "the last segment had no final";
}

class Analyzer : public testing::Test {
 protected:
  Platform platform_ = makeLinuxPlatform();
};

TEST_F(Analyzer, HearsGoForwardWithPartialsBeforeTheFinal) {
  auto results = transcribe(platform_, testkit::recording("goforward.raw"));
  ASSERT_FALSE(results.empty());
  EXPECT_FALSE(results.front().isFinal);
  expectSegments(results);
  EXPECT_GE(wordsFound("go forward ten meters", finals(results)), 3u) << finals(results);
}

TEST_F(Analyzer, SessionsShareOneDecoderAndStartClean) {
  transcribe(platform_, testkit::recording("goforward.raw"));
  size_t loads = DecoderPool::shared().loadCount();
  auto book = transcribe(
      platform_, testkit::recording("librivox/sense_and_sensibility_01_austen_64kb-0930.wav"));
  auto again = transcribe(platform_, testkit::recording("goforward.raw"));
  EXPECT_EQ(DecoderPool::shared().loadCount(), loads);
  expectSegments(book);
  EXPECT_GE(wordsFound("he might even have been made amiable himself", finals(book)), 6u)
      << finals(book);
  EXPECT_GE(wordsFound("go forward ten meters", finals(again)), 3u) << finals(again);
}

TEST_F(Analyzer, SilenceGivesNoResults) {
  EXPECT_TRUE(transcribe(platform_, std::vector<int16_t>(16000 * 3, 0)).empty());
}

TEST_F(Analyzer, DestroyingItStopsDecodingAndEndsTheResults) {
  transcribe(platform_, testkit::recording("goforward.raw"));  // the decoder is loaded
  size_t loads = DecoderPool::shared().loadCount();
  auto speech = testkit::recording("goforward.raw");
  const int recordings = 40;
  {
    Session session(platform_);
    session.start();
    for (int i = 0; i < recordings; ++i) session.append(speech);
    auto results = session.destroy();
    size_t finalCount =
        std::count_if(results.begin(), results.end(), [](const auto& r) { return r.isFinal; });
    EXPECT_LT(finalCount, size_t(recordings)) << "the whole queue was decoded";
  }
  // The decoder went back to the pool in a usable state.
  auto results = transcribe(platform_, speech);
  EXPECT_EQ(DecoderPool::shared().loadCount(), loads);
  EXPECT_GE(wordsFound("go forward ten meters", finals(results)), 3u) << finals(results);
}

TEST_F(Analyzer, DestroyingAnUnstartedAnalyzerEndsItsResults) {
  Session never(platform_);
  EXPECT_TRUE(never.destroy().empty());
}

TEST_F(Analyzer, RefusesAnotherFormatOrAForeignModule) {
  auto transcriber = platform_.speech->makeTranscriber(Locale::fromIdentifier("en-US"),
                                                       TranscriberPreset::progressiveTranscription);
  auto analyzer = platform_.speech->makeAnalyzer({transcriber});
  EXPECT_THROW(analyzer->prepareToAnalyze({CommonFormat::int16, 8000, 1, false}), PlatformError);
  EXPECT_THROW(analyzer->start(std::make_shared<AnalyzerInputQueue>()), PlatformError);

  struct Foreign : SpeechTranscriber {
    Locale locale_ = Locale::fromIdentifier("en-US");
    const Locale& locale() const override { return locale_; }
    TranscriptionResults& results() override { std::abort(); }
  };
  auto foreign = platform_.speech->makeAnalyzer({std::make_shared<Foreign>()});
  EXPECT_THROW(foreign->prepareToAnalyze({CommonFormat::int16, 16000, 1, false}), PlatformError);
}

std::string wordsOf(const TranscriptionResult& result) {
  std::string text;
  for (const auto& word : result.words) text += (text.empty() ? "" : " ") + word.text;
  return text;
}

TEST_F(Analyzer, ResultsCarryOnlyTheAttributesAskedFor) {
  auto speech = testkit::recording("goforward.raw");
  struct Case {
    AttributeOptions attributes;
  } cases[] = {{{false, false}}, {{true, false}}, {{false, true}}, {{true, true}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.attributes.audioTimeRange) + "/" +
                 std::to_string(c.attributes.transcriptionConfidence));
    auto results = transcribe(platform_, speech, c.attributes);
    ASSERT_FALSE(results.empty());
    expectSegments(results);
    for (const auto& result : results) {
      const bool words =
          c.attributes.audioTimeRange || (c.attributes.transcriptionConfidence && result.isFinal);
      EXPECT_EQ(result.range.has_value(), c.attributes.audioTimeRange);
      EXPECT_EQ(wordsOf(result), words ? result.text : "");
      for (const auto& word : result.words) {
        EXPECT_EQ(word.audioTimeRange.has_value(), c.attributes.audioTimeRange);
        EXPECT_EQ(word.confidence.has_value(),
                  c.attributes.transcriptionConfidence && result.isFinal);
        if (word.confidence) {
          EXPECT_GE(*word.confidence, 0.0);
          EXPECT_LE(*word.confidence, 1.0);
        }
      }
    }
  }
}

TEST_F(Analyzer, WordTimesAreSecondsOfTheSessionsAudioInOrder) {
  // goforward.raw after 1.5 s of silence, twice, with 2 s between: "go"
  // starts 0.47 s into the recording.
  auto speech = testkit::recording("goforward.raw");
  std::vector<int16_t> audio(24000, 0);
  audio.insert(audio.end(), speech.begin(), speech.end());
  const double second = double(audio.size() + 32000) / 16000;
  audio.insert(audio.end(), 32000, 0);
  audio.insert(audio.end(), speech.begin(), speech.end());
  auto results = transcribe(platform_, audio, {true, false});
  double lastFinalEnd = 0.0;
  std::vector<double> goStarts;
  for (const auto& result : results) {
    ASSERT_TRUE(result.range);
    EXPECT_LE(result.range->start, result.range->end);
    EXPECT_GE(result.range->start, lastFinalEnd) << result.text;
    double previous = result.range->start;
    for (const auto& word : result.words) {
      ASSERT_TRUE(word.audioTimeRange);
      EXPECT_GE(word.audioTimeRange->start, previous) << word.text;
      EXPECT_LT(word.audioTimeRange->start, word.audioTimeRange->end) << word.text;
      previous = word.audioTimeRange->end;
    }
    EXPECT_LE(previous, result.range->end);
    if (result.isFinal) {
      lastFinalEnd = result.range->end;
      if (!result.words.empty() && result.words.front().text == "go") {
        goStarts.push_back(result.words.front().audioTimeRange->start);
      }
    }
  }
  ASSERT_EQ(goStarts.size(), 2u) << finals(results);
  EXPECT_NEAR(goStarts[0], 1.5 + 0.47, 0.05);
  EXPECT_NEAR(goStarts[1], second + 0.47, 0.05);
}

TEST_F(Analyzer, WritesItsResultsAsPeopleWriteThemByDefault) {
  auto speech = testkit::recording("goforward.raw");
  auto results = transcribe(platform_, speech, {true, true}, {}, TextForm::written);
  ASSERT_FALSE(results.empty());
  const TranscriptionResult& last = results.back();
  ASSERT_TRUE(last.isFinal);
  EXPECT_EQ(last.text, "Go forward 10 meters.");
  EXPECT_EQ(wordsOf(last), last.text);
  for (const auto& result : results) {
    EXPECT_EQ(wordsOf(result), result.text);
    if (!result.isFinal) {
      EXPECT_FALSE(result.text.ends_with('.')) << result.text;
    }
  }
  ASSERT_EQ(last.words.size(), 4u);
  EXPECT_TRUE(last.words[2].audioTimeRange && last.words[2].confidence);
}

// The librivox recordings by name, with what is said in them.
const std::vector<std::pair<std::string, std::string>> kLibrivox = {
    {"0870",
     "and mister john dashwood had then leisure to consider how much there might be "
     "prudently in his power to do for them"},
    {"0880", "he was not an ill disposed young man"},
    {"0890", "unless to be rather cold hearted and rather selfish is to be ill disposed"},
    {"0920",
     "had he married a more a amiable woman he might have been made still more "
     "respectable than he was"},
    {"0930", "he might even have been made amiable himself"}};

// The librivox recordings one after another with their pauses taken out:
// about 20 s of speech with no pause.
std::vector<int16_t> unbrokenLibrivox() {
  std::vector<int16_t> audio;
  for (const auto& [name, text] : kLibrivox) {
    auto speech = testkit::withoutPauses(
        testkit::recording("librivox/sense_and_sensibility_01_austen_64kb-" + name + ".wav"));
    audio.insert(audio.end(), speech.begin(), speech.end());
  }
  return audio;
}

size_t countFinals(const std::vector<TranscriptionResult>& results) {
  return size_t(std::count_if(results.begin(), results.end(),
                              [](const TranscriptionResult& result) { return result.isFinal; }));
}

TEST_F(Analyzer, RightWordsAreMoreConfidentThanWrongOnes) {
  // The five librivox recordings in one session; a word counts as right
  // when its recording's reference has it.
  double right = 0, wrong = 0;
  size_t rightCount = 0, wrongCount = 0;
  for (const auto& [name, reference] : kLibrivox) {
    auto results = transcribe(
        platform_,
        testkit::recording("librivox/sense_and_sensibility_01_austen_64kb-" + name + ".wav"),
        {false, true});
    auto expected = words(reference);
    for (const auto& result : results) {
      if (!result.isFinal) continue;
      for (const auto& word : result.words) {
        bool ok = std::find(expected.begin(), expected.end(), word.text) != expected.end();
        (ok ? right : wrong) += *word.confidence;
        ++(ok ? rightCount : wrongCount);
      }
    }
  }
  ASSERT_GT(rightCount, 0u);
  ASSERT_GT(wrongCount, 0u);
  EXPECT_GT(right / double(rightCount), wrong / double(wrongCount) + 0.2)
      << rightCount << " right, " << wrongCount << " wrong";
}

TEST(AnalyzerSegments, UnbrokenSpeechIsCutIntoBoundedSegmentsWithoutLosingWords) {
  const std::vector<int16_t> audio = unbrokenLibrivox();
  const double seconds = double(audio.size()) / 16000;
  EngineSettings unbounded = defaultEngineSettings();
  unbounded.maxSegmentSeconds = 0;
  EngineSettings bounded = defaultEngineSettings();
  bounded.maxSegmentSeconds = 6;
  bounded.segmentCutWindowMilliseconds = 1500;
  Platform whole = makeLinuxPlatform(InstalledModels::system(), unbounded, nullptr);
  Platform cut = makeLinuxPlatform(InstalledModels::system(), bounded, nullptr);

  // Without a bound the whole recording is one segment: what the bound is for.
  auto wholeResults = transcribe(whole, audio);
  ASSERT_LE(countFinals(wholeResults), 2u) << finals(wholeResults);

  auto cutResults = transcribe(cut, audio, {true, false});
  expectSegments(cutResults);
  EXPECT_GE(countFinals(cutResults), size_t(seconds / 6)) << seconds << " s";
  // Segments follow one another: the next starts where the last final
  // ended, at the cut, never before it (SRT cues must not overlap), and
  // no result reaches past the audio given.
  double lastFinalEnd = 0.0;
  for (const auto& result : cutResults) {
    ASSERT_TRUE(result.range);
    EXPECT_LE(result.range->end - result.range->start, 6.2) << result.text;
    EXPECT_GE(result.range->start, lastFinalEnd) << result.text;
    for (const auto& word : result.words) {
      EXPECT_GE(word.audioTimeRange->start, lastFinalEnd) << word.text;
    }
    EXPECT_LE(result.range->end, seconds) << result.text;
    if (result.isFinal) lastFinalEnd = result.range->end;
  }
  // A cut at a quiet point costs a word at most here and there.
  const std::string heardWhole = finals(wholeResults), heardCut = finals(cutResults);
  EXPECT_GE(words(heardCut).size() + 2 * countFinals(cutResults), words(heardWhole).size())
      << "whole: " << heardWhole << "\ncut: " << heardCut;
  EXPECT_GE(wordsFound(heardWhole, heardCut) + 2 * countFinals(cutResults),
            words(heardWhole).size())
      << "whole: " << heardWhole << "\ncut: " << heardCut;
}

TEST(AnalyzerSegments, ConfidenceHearsUnbrokenSpeechInPartsThatJoinIntoOneFinal) {
  // Twice 20 s of speech without a pause, with a pause between: two finals,
  // with confidence as without it, although with it the engine hears each in
  // parts of at most 4 s.
  const std::vector<int16_t> speech = unbrokenLibrivox();
  std::vector<int16_t> audio = speech;
  audio.insert(audio.end(), 2 * 16000, int16_t{0});
  audio.insert(audio.end(), speech.begin(), speech.end());
  EngineSettings settings = defaultEngineSettings();
  settings.confidencePartSeconds = 4;
  Platform plainPlatform = makeLinuxPlatform(InstalledModels::system(), settings, nullptr);
  Platform scoredPlatform = makeLinuxPlatform(InstalledModels::system(), settings, nullptr);
  auto plain = transcribe(plainPlatform, audio, {true, false});
  auto scored = transcribe(scoredPlatform, audio, {true, true});
  ASSERT_EQ(countFinals(plain), 2u) << finals(plain);
  EXPECT_EQ(countFinals(scored), 2u) << finals(scored);
  expectSegments(scored);
  size_t partialWords = 0;
  for (const auto& result : scored) {
    if (!result.isFinal) {
      // Earlier parts stay at the front of every partial that follows them.
      EXPECT_GE(words(result.text).size() + 3, partialWords) << result.text;
      partialWords = words(result.text).size();
      continue;
    }
    partialWords = 0;
    ASSERT_TRUE(result.range && !result.words.empty()) << result.text;
    EXPECT_LE(result.range->start, result.words.front().audioTimeRange->start);
    EXPECT_GE(result.range->end, result.words.back().audioTimeRange->end);
    // Words follow one another with no room for a lost part between them.
    for (size_t i = 0; i < result.words.size(); ++i) {
      const TranscribedWord& word = result.words[i];
      ASSERT_TRUE(word.confidence && word.audioTimeRange) << word.text;
      EXPECT_GE(*word.confidence, 0.0);
      EXPECT_LE(*word.confidence, 1.0);
      if (i == 0) continue;
      const AudioTimeRange& before = *result.words[i - 1].audioTimeRange;
      EXPECT_GE(word.audioTimeRange->start, before.end - 1e-9) << word.text;
      EXPECT_LT(word.audioTimeRange->start - before.end, 1.0) << word.text;
    }
  }
  const std::string heardWhole = finals(plain), heardInParts = finals(scored);
  EXPECT_GE(double(wordsFound(heardWhole, heardInParts)), 0.85 * double(words(heardWhole).size()))
      << "whole: " << heardWhole << "\nin parts: " << heardInParts;
}

TEST_F(Analyzer, ConfidenceStillSeparatesRightFromWrongOnALongFinal) {
  // The librivox recordings without their pauses, twice: the first final
  // runs to the 30 s bound. Once the lattice of a final passed about 20 s,
  // every word of it scored 1.
  std::string reference;
  for (const auto& [name, text] : kLibrivox) reference += " " + text;
  std::vector<int16_t> audio = unbrokenLibrivox();
  const std::vector<int16_t> once = audio;
  audio.insert(audio.end(), once.begin(), once.end());
  auto expected = words(reference);
  size_t scored = 0, certain = 0, rightCount = 0, wrongCount = 0;
  double right = 0, wrong = 0;
  for (const auto& result : transcribe(platform_, audio, {true, true})) {
    if (!result.isFinal || result.range->end - result.range->start < 20) continue;
    for (const auto& word : result.words) {
      ++scored;
      if (*word.confidence >= 0.99) ++certain;
      bool ok = std::find(expected.begin(), expected.end(), word.text) != expected.end();
      (ok ? right : wrong) += *word.confidence;
      ++(ok ? rightCount : wrongCount);
    }
  }
  ASSERT_GE(scored, 40u) << "no final of 20 s or more";
  ASSERT_GT(wrongCount, 0u);
  EXPECT_LT(certain, scored / 2) << certain << " of " << scored << " words at 0.99 or more";
  EXPECT_GT(right / double(rightCount), wrong / double(wrongCount) + 0.15)
      << rightCount << " right, " << wrongCount << " wrong";
}

TEST_F(Analyzer, AWordCutByTheEndOfTheAudioIsScoredLikeTheOthers) {
  // goforward.raw ("go forward ten meters") stopped inside a word; the
  // engine ends that word by force, and the lattice used to give it nothing.
  const auto speech = testkit::recording("goforward.raw");
  for (double cut : {0.7, 1.6, 1.8}) {
    std::vector<int16_t> audio(speech.begin(), speech.begin() + long(cut * 16000));
    auto results = transcribe(platform_, audio, {true, true});
    ASSERT_FALSE(results.empty()) << cut;
    const TranscriptionResult& last = results.back();
    ASSERT_TRUE(last.isFinal && !last.words.empty()) << cut;
    const TranscribedWord& word = last.words.back();
    EXPECT_GT(*word.confidence, 0.0) << cut << " s: " << last.text;
    EXPECT_LE(*word.confidence, 1.0) << cut << " s: " << last.text;
  }
}

// A sentence with a name no dictionary has, spoken by flite.
std::vector<int16_t> spokenByFlite(const std::string& text) {
  fs::path file =
      fs::temp_directory_path() / ("earshot-flite-" + std::to_string(::getpid()) + ".wav");
  std::string command =
      std::string(EARSHOT_FLITE) + " -voice rms -t '" + text + "' -o '" + file.string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  auto samples = testkit::recording(file.string());
  fs::remove(file);
  return samples;
}

TEST_F(Analyzer, AContextualPhraseTeachesANameTheDictionaryLacks) {
  // goforward.raw first, so that the engine has adapted to the channel.
  auto speech = testkit::recording("goforward.raw");
  auto sentence = spokenByFlite("Tavrish said the new engine is ready");
  speech.insert(speech.end(), 8000, 0);
  speech.insert(speech.end(), sentence.begin(), sentence.end());
  speech.insert(speech.end(), 8000, 0);
  std::string without = finals(transcribe(platform_, speech));
  EXPECT_EQ(wordsFound("tavrish Tavrish", without), 0u) << without;
  EXPECT_GE(wordsFound("new engine is ready", without), 3u) << without;

  testkit::StderrCapture stderrText;
  std::string taught = finals(transcribe(platform_, speech, {}, {"Tavrish", "pull request"}));
  EXPECT_EQ(stderrText.text(), "");
  EXPECT_EQ(wordsFound("Tavrish", taught), 1u) << taught;
  EXPECT_GE(wordsFound("new engine is ready", taught), 3u) << taught;
  // Every later session with the same phrases shares the decoder built for
  // them; one without phrases gets the plain one again.
  size_t loads = DecoderPool::shared().loadCount();
  transcribe(platform_, speech, {}, {"Tavrish", "pull request"});
  transcribe(platform_, speech);
  EXPECT_EQ(DecoderPool::shared().loadCount(), loads);
}

TEST(AnalyzerEngine, ABrokenModelFailsToPrepareQuietly) {
  fs::path root = fs::temp_directory_path() / ("earshot-broken-" + std::to_string(::getpid()));
  fs::remove_all(root);
  auto real = *InstalledModels::system().find(Locale::fromIdentifier("en-US"));
  fs::create_directories(root / "en-us");
  fs::create_directory_symlink(real.acousticModel, root / "en-us/en-us");
  fs::create_symlink(real.dictionary, root / "en-us/cmudict-en-us.dict");
  std::ofstream(root / "en-us/en-us.lm.bin") << "not a language model";

  testkit::StderrCapture stderrText;
  Platform broken = makeLinuxPlatform(InstalledModels(
      {ModelSource{root, true}}, support::StoreLocations::below(root.string() + "-home")));
  Session session(broken);
  try {
    session.start();
    ADD_FAILURE() << "the broken model was loaded";
  } catch (const PlatformError& error) {
    EXPECT_NE(std::string(error.what()).find("en-US"), std::string::npos) << error.what();
  }
  EXPECT_EQ(stderrText.text(), "");
  fs::remove_all(root);
}

TEST(AnalyzerEngine, LoadingAndDecodingWriteNothingToStderr) {
  testkit::StderrCapture stderrText;
  // Settings no other test uses, so that this test loads a decoder itself.
  EngineSettings settings = defaultEngineSettings();
  settings.options.emplace_back("-lw", "6.5");
  Platform platform = makeLinuxPlatform(InstalledModels::system(), settings);
  size_t loads = DecoderPool::shared().loadCount();
  auto results = transcribe(platform, testkit::recording("goforward.raw"));
  EXPECT_EQ(DecoderPool::shared().loadCount(), loads + 1);
  EXPECT_FALSE(results.empty());
  EXPECT_EQ(stderrText.text(), "");
}

}  // namespace
}  // namespace earshot::platform::linuxos
