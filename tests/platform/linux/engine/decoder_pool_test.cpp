#include "platform/linux/engine/decoder_pool.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/platform_error.h"
#include "tests/support/scratch_folder.h"

namespace earshot::platform::linuxos {
namespace {
namespace fs = std::filesystem;

SpeechModel englishModel() {
  auto model = InstalledModels::system().find(Locale::fromIdentifier("en-US"));
  if (!model) throw std::runtime_error("no en-US model");
  return *model;
}

// The English model under other paths: another model as far as the pool
// can tell. With `brokenLanguageModel`, one the engine refuses.
SpeechModel copyOfEnglish(const fs::path& root, bool brokenLanguageModel) {
  SpeechModel real = englishModel();
  fs::create_directories(root / "en-us");
  fs::create_directory_symlink(real.acousticModel, root / "en-us/en-us");
  fs::create_symlink(real.dictionary, root / "en-us/cmudict-en-us.dict");
  if (brokenLanguageModel) {
    std::ofstream(root / "en-us/en-us.lm.bin") << "not a language model";
  } else {
    fs::create_symlink(real.languageModel, root / "en-us/en-us.lm.bin");
  }
  SpeechModel copy = real;
  copy.acousticModel = root / "en-us/en-us";
  copy.dictionary = root / "en-us/cmudict-en-us.dict";
  copy.languageModel = root / "en-us/en-us.lm.bin";
  return copy;
}

TEST(DecoderPoolPreload, AnAcquireOfThePreloadedModelTakesItsDecoder) {
  DecoderPool pool;
  const EngineSettings settings = defaultEngineSettings();
  pool.preload([] { return englishModel(); }, settings);
  {
    DecoderPool::Lease lease = pool.acquire(englishModel(), settings);
    ASSERT_TRUE(lease);
    lease->startUtterance();  // a working decoder
  }
  EXPECT_EQ(pool.preloadsTaken(), 1u);
  EXPECT_EQ(pool.loadCount(), 0u);
  // It went back to the pool like any other: the next session finds it.
  { DecoderPool::Lease again = pool.acquire(englishModel(), settings); }
  EXPECT_EQ(pool.loadCount(), 0u);
}

// Another model or other phrases load a decoder of their own, and the
// preloaded one is not kept: asking for it afterwards loads it again.
TEST(DecoderPoolPreload, AnAcquireOfAnythingElseDropsThePreload) {
  testkit::ScratchFolder scratch("earshot-preload");
  const EngineSettings settings = defaultEngineSettings();
  SpeechModel other = copyOfEnglish(scratch.path(), false);
  struct Case {
    const char* name;
    SpeechModel model;
    std::vector<std::string> phrases;
  };
  for (const Case& c : {Case{"another model", other, {}},
                        Case{"contextual phrases", englishModel(), {"Velandra Quinnova"}}}) {
    DecoderPool pool;
    pool.preload([] { return englishModel(); }, settings);
    { DecoderPool::Lease lease = pool.acquire(c.model, settings, c.phrases); }
    EXPECT_EQ(pool.preloadsTaken(), 0u) << c.name;
    EXPECT_EQ(pool.loadCount(), 1u) << c.name;
    { DecoderPool::Lease lease = pool.acquire(englishModel(), settings); }
    EXPECT_EQ(pool.preloadsTaken(), 0u) << c.name;
    EXPECT_EQ(pool.loadCount(), 2u) << c.name;
  }
}

// Whatever goes wrong in a preload, the session's own load runs and reports
// exactly what it would have reported without one.
TEST(DecoderPoolPreload, AFailedPreloadLeavesTheLoadsOwnOutcome) {
  testkit::ScratchFolder scratch("earshot-preload");
  const EngineSettings settings = defaultEngineSettings();
  SpeechModel broken = copyOfEnglish(scratch.path(), true);
  auto failureOf = [&](DecoderPool& pool) -> std::string {
    try {
      pool.acquire(broken, settings);
    } catch (const PlatformError& error) {
      return error.what();
    }
    return "loaded";
  };
  DecoderPool alone;
  const std::string failure = failureOf(alone);
  EXPECT_NE(failure.find("Speech model for en-US could not be loaded"), std::string::npos)
      << failure;

  DecoderPool preloaded;
  preloaded.preload([&] { return broken; }, settings);
  EXPECT_EQ(failureOf(preloaded), failure);
  EXPECT_EQ(preloaded.preloadsTaken(), 0u);

  // A choice that fails or finds nothing is no preload at all.
  for (auto choose : std::vector<std::function<std::optional<SpeechModel>()>>{
           []() -> std::optional<SpeechModel> { throw std::runtime_error("no state folder"); },
           [] { return std::optional<SpeechModel>(); }}) {
    DecoderPool pool;
    pool.preload(choose, settings);
    EXPECT_EQ(failureOf(pool), failure);
    { DecoderPool::Lease lease = pool.acquire(englishModel(), settings); }
    EXPECT_EQ(pool.preloadsTaken(), 0u);
    EXPECT_EQ(pool.loadCount(), 1u);
  }
}

}  // namespace
}  // namespace earshot::platform::linuxos
