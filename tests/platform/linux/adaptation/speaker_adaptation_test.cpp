// Speaker adaptation with the real engine: the mean a decoder adapts to is
// kept in a file and set on the next decoder; early updates move it within
// the first utterance; a pooled decoder keeps it from session to session.
#include "platform/linux/adaptation/speaker_adaptation.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/linux/adaptation/cepstral_mean_files.h"
#include "platform/linux/adaptation/model_adaptation_key.h"
#include "platform/linux/engine/decoder_pool.h"
#include "platform/linux/linux_platform.h"
#include "tests/platform/linux/stderr_capture.h"
#include "tests/support/files.h"
#include "tests/support/scratch_folder.h"

namespace earshot::platform::linuxos {
namespace {
namespace fs = std::filesystem;

const std::string kLibrivox = "/usr/share/pocketsphinx/test/data/librivox/";

std::vector<int16_t> speech(const std::string& name, double seconds = 1e9) {
  std::ifstream file(kLibrivox + name + ".wav", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), {});
  std::vector<int16_t> samples((bytes.size() - 44) / 2);
  std::memcpy(samples.data(), bytes.data() + 44, samples.size() * 2);
  samples.resize(std::min(samples.size(), size_t(seconds * 16000)));
  return samples;
}

// Decodes `samples` as the recognizer does, in 100 ms chunks, ending the
// utterance at the end when `close`.
void decode(Decoder& decoder, const std::vector<int16_t>& samples, bool close = true) {
  if (!decoder.inUtterance()) decoder.startUtterance();
  for (size_t at = 0; at < samples.size(); at += 1600) {
    decoder.process(samples.data() + at, std::min<size_t>(1600, samples.size() - at));
  }
  if (close) decoder.endUtterance();
}

SpeechModel english() {
  return *InstalledModels::system().find(Locale::fromIdentifier("en-US"));
}

float distance(const std::vector<float>& a, const std::vector<float>& b) {
  float sum = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  return std::sqrt(sum);
}

EngineSettings withoutEarlyAdaptation() {
  EngineSettings settings = defaultEngineSettings();
  settings.earlyAdaptationMilliseconds = 0;
  return settings;
}

class SpeakerAdaptationTest : public testing::Test {
 protected:
  testkit::ScratchFolder scratch_{"earshot-adaptation"};
  const fs::path folder_ = scratch_.path() / "adaptation";
  SpeechModel model_ = english();
  std::shared_ptr<CepstralMeanFiles> files_ = std::make_shared<CepstralMeanFiles>(folder_);
  // The name the model's state is kept under.
  const std::string key_ = modelAdaptationKey(model_).value();
};

TEST_F(SpeakerAdaptationTest, TheNextDecoderStartsFromTheMeanTheLastOneAdaptedTo) {
  SpeakerAdaptation adaptation(files_);
  Decoder first(model_, defaultEngineSettings());
  const std::vector<float> generic = first.cepstralMean();
  ASSERT_EQ(generic.size(), 13u);
  adaptation.restore(first, model_);  // nothing remembered yet
  EXPECT_EQ(first.cepstralMean(), generic);

  decode(first, speech("sense_and_sensibility_01_austen_64kb-0870"));
  EXPECT_NE(first.cepstralMean(), generic);
  const std::vector<float> adapted = first.newSpeechMean();
  EXPECT_NE(adapted, generic);
  adaptation.save(first);
  EXPECT_TRUE(fs::is_regular_file(folder_ / (key_ + ".cmn")));
  EXPECT_EQ(files_->recall(key_), adapted);

  Decoder second(model_, defaultEngineSettings());
  adaptation.restore(second, model_);
  EXPECT_EQ(second.cepstralMean(), adapted);

  // Too little new speech to be worth keeping: the file stays as it was.
  decode(second, speech("sense_and_sensibility_01_austen_64kb-0880", 1.0));
  EXPECT_NE(second.cepstralMean(), adapted);
  adaptation.save(second);
  EXPECT_EQ(files_->recall(key_), adapted);
}

TEST_F(SpeakerAdaptationTest, AMeanOfAnotherLengthGivesTheGenericStartQuietly) {
  files_->remember(key_, std::vector<float>(12, 1.0f));
  ASSERT_TRUE(files_->recall(key_).has_value());

  testkit::StderrCapture stderrText;
  Decoder cold(model_, defaultEngineSettings());
  const std::vector<float> generic = cold.cepstralMean();
  SpeakerAdaptation(files_).restore(cold, model_);
  EXPECT_EQ(cold.cepstralMean(), generic);
  EXPECT_FALSE(cold.setCepstralMean(std::vector<float>(14, 1.0f)));
  EXPECT_EQ(cold.cepstralMean(), generic);
  EXPECT_EQ(stderrText.text(), "");
}

TEST_F(SpeakerAdaptationTest, ADifferentModelHasAnotherKey) {
  fs::path copy = folder_ / "model";
  fs::create_directories(copy);
  fs::copy(model_.acousticModel, copy);
  SpeechModel other = model_;
  other.acousticModel = copy;
  EXPECT_EQ(modelAdaptationKey(other), modelAdaptationKey(model_));  // same files, same key
  std::ofstream(copy / "means", std::ios::app) << '\0';
  EXPECT_NE(modelAdaptationKey(other), modelAdaptationKey(model_));
  other.locale = Locale::fromIdentifier("en-GB");
  EXPECT_EQ(modelAdaptationKey(other)->rfind("en-GB-", 0), 0u);
  fs::remove(copy / "means");
  EXPECT_EQ(modelAdaptationKey(other), std::nullopt);
}

TEST_F(SpeakerAdaptationTest, EarlyUpdatesMoveTheMeanWithinTheFirstUtterance) {
  const auto start = speech("sense_and_sensibility_01_austen_64kb-0870", 3.0);
  Decoder early(model_, defaultEngineSettings());
  ASSERT_GT(defaultEngineSettings().earlyAdaptationMilliseconds, 0u);
  const std::vector<float> generic = early.cepstralMean();
  decode(early, start, false);
  EXPECT_NE(early.cepstralMean(), generic);
  EXPECT_GT(early.speechFrames(), 100u);

  Decoder late(model_, withoutEarlyAdaptation());
  decode(late, start, false);
  EXPECT_EQ(late.cepstralMean(), generic);  // the engine waits for the end
  late.endUtterance();
  EXPECT_NE(late.cepstralMean(), generic);
}

using testkit::namesIn;
using testkit::readFile;

// "off" and "session" neither read what is kept nor write anything; "off"
// also leaves out the early updates, so the first utterance is heard with
// the model's own mean throughout.
TEST_F(SpeakerAdaptationTest, OffAndSessionNeitherReadNorWriteKeptState) {
  Decoder probe(model_, defaultEngineSettings());
  const std::vector<float> generic = probe.cepstralMean();
  std::vector<float> planted = generic;
  for (float& value : planted) value += 3.0f;
  files_->keep(key_, KeptMean{planted, 30.0});
  const std::string plantedFile = readFile(folder_ / (key_ + ".cmn"));

  const auto start = speech("sense_and_sensibility_01_austen_64kb-0870", 3.0);
  for (auto mode : {SpeakerAdaptationMode::off, SpeakerAdaptationMode::session}) {
    SCOPED_TRACE(mode == SpeakerAdaptationMode::off ? "off" : "session");
    SpeakerAdaptation adaptation(files_);
    Decoder decoder(model_, defaultEngineSettings());
    adaptation.begin(decoder, model_, mode, "default");
    EXPECT_EQ(decoder.cepstralMean(), generic);
    decode(decoder, start, false);
    if (mode == SpeakerAdaptationMode::off) {
      EXPECT_EQ(decoder.cepstralMean(), generic);  // no early update
    } else {
      EXPECT_NE(decoder.cepstralMean(), generic);
    }
    decoder.endUtterance();
    decode(decoder, speech("sense_and_sensibility_01_austen_64kb-0880"));
    adaptation.save(decoder);
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>{key_ + ".cmn"});
    EXPECT_EQ(readFile(folder_ / (key_ + ".cmn")), plantedFile);

    // The next session of the process: "off" starts afresh, "session" where
    // the last one ended.
    const std::vector<float> learned = decoder.cepstralMean();
    adaptation.begin(decoder, model_, mode, "default");
    EXPECT_EQ(decoder.cepstralMean(), mode == SpeakerAdaptationMode::off ? generic : learned);
  }
}

TEST_F(SpeakerAdaptationTest, ProfilesAreKeptApart) {
  SpeakerAdaptation adaptation(files_);
  Decoder alice(model_, defaultEngineSettings());
  const std::vector<float> generic = alice.cepstralMean();
  adaptation.begin(alice, model_, SpeakerAdaptationMode::persistent, "alice");
  decode(alice, speech("sense_and_sensibility_01_austen_64kb-0870"));
  const std::vector<float> alicesKept = alice.newSpeechMean();
  adaptation.save(alice);
  const std::vector<float> alices = alice.cepstralMean();
  EXPECT_EQ(namesIn(folder_), std::vector<std::string>{key_ + "@alice.cmn"});

  struct Case {
    std::string profile;
    std::vector<float> start;
  };
  for (const Case& c : {Case{"bob", generic}, Case{"default", generic}, Case{"Alice", generic},
                        Case{"alice", alicesKept}}) {
    SCOPED_TRACE(c.profile);
    Decoder next(model_, defaultEngineSettings());
    adaptation.begin(next, model_, SpeakerAdaptationMode::persistent, c.profile);
    EXPECT_EQ(next.cepstralMean(), c.start);
  }
  // A pooled decoder that changes profile between sessions parks the one
  // it leaves and picks it up again.
  adaptation.begin(alice, model_, SpeakerAdaptationMode::persistent, "bob");
  EXPECT_EQ(alice.cepstralMean(), generic);
  adaptation.begin(alice, model_, SpeakerAdaptationMode::persistent, "alice");
  EXPECT_EQ(alice.cepstralMean(), alices);
}

// Audio that came at a low rate is adapted to in a state of its own, which
// wideband sessions never start from, in this process or the next.
TEST_F(SpeakerAdaptationTest, NarrowbandStateDoesNotReachWidebandSessions) {
  SpeakerAdaptation adaptation(files_);
  Decoder decoder(model_, defaultEngineSettings());
  const std::vector<float> generic = decoder.cepstralMean();
  adaptation.restore(decoder, model_);
  adaptation.useBand(decoder, true);
  decode(decoder, speech("sense_and_sensibility_01_austen_64kb-0870"));
  const std::vector<float> narrow = decoder.cepstralMean();
  ASSERT_NE(narrow, generic);
  const std::vector<float> narrowKept = decoder.newSpeechMean();
  adaptation.useBand(decoder, false);  // switching saves the narrowband state
  EXPECT_EQ(decoder.cepstralMean(), generic);
  EXPECT_EQ(namesIn(folder_), std::vector<std::string>{key_ + "@default+narrowband.cmn"});
  adaptation.useBand(decoder, true);
  EXPECT_EQ(decoder.cepstralMean(), narrow);
  adaptation.save(decoder);

  Decoder next(model_, defaultEngineSettings());
  adaptation.restore(next, model_);
  EXPECT_EQ(next.cepstralMean(), generic);
  decode(next, speech("sense_and_sensibility_01_austen_64kb-0890"));
  const std::vector<float> wide = next.newSpeechMean();
  adaptation.save(next);
  EXPECT_EQ(files_->recall(key_ + "@default+narrowband"), narrowKept);
  EXPECT_EQ(files_->recall(key_), wide);
  adaptation.useBand(next, true);  // the next process: what was kept
  EXPECT_EQ(next.cepstralMean(), narrowKept);
}

// The engine's mean holds the one it was set to, weighted like a few seconds
// of speech, and scales its sums down every few seconds; the new speech's
// own mean does not depend on where a decoder started: from the model's
// mean (which the engine weighs as nothing) or from another one set, with
// the scalings at other frames.
TEST_F(SpeakerAdaptationTest, TheNewSpeechMeanIsTheSameWhereverTheDecoderStarted) {
  const auto heard = speech("sense_and_sensibility_01_austen_64kb-0890");
  Decoder fresh(model_, withoutEarlyAdaptation());
  decode(fresh, heard);
  const std::vector<float> reference = fresh.newSpeechMean();
  ASSERT_EQ(reference.size(), 13u);

  for (float offset : {4.0f, -4.0f, 20.0f}) {
    SCOPED_TRACE(offset);
    Decoder planted(model_, defaultEngineSettings());
    std::vector<float> start = planted.initialCepstralMean();
    for (float& value : start) value += offset;
    ASSERT_TRUE(planted.setCepstralMean(start));
    decode(planted, heard);
    const float apart = distance(planted.cepstralMean(), fresh.cepstralMean());
    EXPECT_GT(apart, 0.1f * distance(start, reference));
    EXPECT_LT(distance(planted.newSpeechMean(), reference), apart / 50);
  }
}

// A session's speech joins the kept mean by the speech each was learned
// from, each side capped: one short session of odd audio (speech at a tenth
// of its level) moves a mean learned from much speech only a little, and
// by its share of the way to the odd speech's own mean, no less (keeping
// the decoder's mean, which still holds the kept one it started from,
// counted that twice).
TEST_F(SpeakerAdaptationTest, AShortOddSessionMovesAWellLearnedMeanOnlyALittle) {
  SpeakerAdaptation adaptation(files_);
  Decoder learner(model_, defaultEngineSettings());
  adaptation.restore(learner, model_);
  decode(learner, speech("sense_and_sensibility_01_austen_64kb-0870"));
  const std::vector<float> learned = learner.cepstralMean();
  files_->keep(key_, KeptMean{learned, 600.0});

  std::vector<int16_t> quiet = speech("sense_and_sensibility_01_austen_64kb-0880", 4.0);
  for (int16_t& sample : quiet) sample = static_cast<int16_t>(sample / 10);
  Decoder odd(model_, defaultEngineSettings());
  adaptation.restore(odd, model_);
  EXPECT_EQ(odd.cepstralMean(), learned);
  decode(odd, quiet);
  const double heard = double(odd.speechFrames()) / odd.framesPerSecond();
  ASSERT_GE(heard, SpeakerAdaptation::kSavingSpeechSeconds);
  adaptation.save(odd);
  // The odd speech's own mean: the plain average of its frames in a new
  // decoder, which weighs the model's mean as nothing and does not scale
  // its sums within 4 s.
  Decoder alone(model_, defaultEngineSettings());
  decode(alone, quiet);
  const std::vector<float> oddMean = alone.newSpeechMean();
  ASSERT_GT(distance(oddMean, learned), 1.0f);

  std::optional<KeptMean> kept = files_->recallKept(key_);
  ASSERT_TRUE(kept.has_value());
  const double share = heard / (SpeakerAdaptation::kBlendCapSeconds + heard);
  std::vector<float> expected(learned.size());
  for (size_t i = 0; i < learned.size(); ++i) {
    expected[i] = static_cast<float>(learned[i] + share * (oddMean[i] - learned[i]));
  }
  EXPECT_LT(distance(kept->values, expected), 0.05 * share * distance(oddMean, learned));
  EXPECT_LT(distance(kept->values, learned), distance(oddMean, learned) / 10);
  EXPECT_EQ(kept->speechSeconds, SpeakerAdaptation::kBlendCapSeconds);
}

// A flush ends one session and starts the next on the same pooled decoder,
// which keeps what it adapted to.
TEST_F(SpeakerAdaptationTest, APooledDecoderKeepsItsMeanFromSessionToSession) {
  EngineSettings settings = defaultEngineSettings();
  settings.options.emplace_back("-wip", "0.65");  // the default: a decoder of this test's own
  Platform platform = makeLinuxPlatform(InstalledModels::system(), settings, nullptr);
  auto session = [&](const std::vector<int16_t>& samples) {
    auto transcriber = platform.speech->makeTranscriber(
        Locale::fromIdentifier("en-US"), TranscriberPreset::progressiveTranscription);
    auto analyzer = platform.speech->makeAnalyzer({transcriber});
    auto queue = std::make_shared<AnalyzerInputQueue>();
    analyzer->prepareToAnalyze(model_.format());
    analyzer->start(queue);
    auto buffer = std::make_unique<PcmBuffer>(model_.format(), uint32_t(samples.size()));
    std::copy(samples.begin(), samples.end(), buffer->int16ChannelData());
    buffer->setFrameLength(uint32_t(samples.size()));
    queue->push(std::move(buffer));
    queue->close();
    analyzer->finalizeAndFinishThroughEndOfInput();
    while (transcriber->results().next()) {
    }
  };
  auto pooledMean = [&] {
    DecoderPool::Lease lease = DecoderPool::shared().acquire(model_, settings);
    return lease->cepstralMean();
  };
  const std::vector<float> generic = pooledMean();
  session(speech("sense_and_sensibility_01_austen_64kb-0870"));
  const std::vector<float> adapted = pooledMean();
  EXPECT_NE(adapted, generic);
  // A session that hears nothing leaves what was learned (the engine may
  // still fold in frames it had counted but not yet averaged).
  session(std::vector<int16_t>(16000, 0));
  const std::vector<float> kept = pooledMean();
  EXPECT_LT(distance(kept, adapted), distance(kept, generic) / 3);
  session(speech("sense_and_sensibility_01_austen_64kb-0930"));
  EXPECT_NE(pooledMean(), adapted);
}

}  // namespace
}  // namespace earshot::platform::linuxos
