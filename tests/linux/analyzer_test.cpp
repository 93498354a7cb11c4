#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/decoder_pool.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/pocketsphinx_analyzer.h"
#include "platform/platform_error.h"
#include "stderr_capture.h"

namespace earshot::platform::linuxos {
namespace {
namespace fs = std::filesystem;

const std::string kData = "/usr/share/pocketsphinx/test/data/";

std::vector<int16_t> raw(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), {});
  std::vector<int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

std::vector<int16_t> wav(const std::string& path) {
  auto samples = raw(path);
  samples.erase(samples.begin(), samples.begin() + 22);  // the 44-byte header
  return samples;
}

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
  explicit Session(Platform& platform, AudioFormat format = {CommonFormat::int16, 16000, 1, false})
      : format_(format) {
    transcriber_ = platform.speech->makeTranscriber(Locale::fromIdentifier("en-US"),
                                                    TranscriberPreset::progressiveTranscription);
    analyzer_ = platform.speech->makeAnalyzer({transcriber_});
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

std::vector<TranscriptionResult> transcribe(Platform& platform, const std::vector<int16_t>& audio) {
  Session session(platform);
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

class Analyzer : public ::testing::Test {
 protected:
  Platform platform_ = makeLinuxPlatform();
};

TEST_F(Analyzer, HearsGoForwardWithPartialsBeforeTheFinal) {
  auto results = transcribe(platform_, raw(kData + "goforward.raw"));
  ASSERT_FALSE(results.empty());
  EXPECT_FALSE(results.front().isFinal);
  expectSegments(results);
  EXPECT_GE(wordsFound("go forward ten meters", finals(results)), 3u) << finals(results);
}

TEST_F(Analyzer, SessionsShareOneDecoderAndStartClean) {
  transcribe(platform_, raw(kData + "goforward.raw"));
  size_t loads = DecoderPool::shared().loadCount();
  auto book =
      transcribe(platform_, wav(kData + "librivox/sense_and_sensibility_01_austen_64kb-0930.wav"));
  auto again = transcribe(platform_, raw(kData + "goforward.raw"));
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
  transcribe(platform_, raw(kData + "goforward.raw"));  // the decoder is loaded
  size_t loads = DecoderPool::shared().loadCount();
  auto speech = raw(kData + "goforward.raw");
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

TEST(AnalyzerEngine, ABrokenModelFailsToPrepareQuietly) {
  fs::path root = fs::temp_directory_path() / ("earshot-broken-" + std::to_string(::getpid()));
  fs::remove_all(root);
  auto real = *InstalledModels::system().find(Locale::fromIdentifier("en-US"));
  fs::create_directories(root / "en-us");
  fs::create_directory_symlink(real.acousticModel, root / "en-us/en-us");
  fs::create_symlink(real.dictionary, root / "en-us/cmudict-en-us.dict");
  std::ofstream(root / "en-us/en-us.lm.bin") << "not a language model";

  testing::StderrCapture stderrText;
  Platform broken = makeLinuxPlatform(InstalledModels(
      {ModelSource{root, true}}, store::StoreLocations::below(root.string() + "-home")));
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
  testing::StderrCapture stderrText;
  // Settings no other test uses, so that this test loads a decoder itself.
  EngineSettings settings = defaultEngineSettings();
  settings.options.emplace_back("-lw", "6.5");
  Platform platform = makeLinuxPlatform(InstalledModels::system(), settings);
  size_t loads = DecoderPool::shared().loadCount();
  auto results = transcribe(platform, raw(kData + "goforward.raw"));
  EXPECT_EQ(DecoderPool::shared().loadCount(), loads + 1);
  EXPECT_FALSE(results.empty());
  EXPECT_EQ(stderrText.text(), "");
}

}  // namespace
}  // namespace earshot::platform::linuxos
