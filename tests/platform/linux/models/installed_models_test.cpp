#include "platform/linux/models/installed_models.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/linux/linux_platform.h"
#include "platform/linux/linux_speech_services.h"
#include "platform/linux/store/store_asset_inventory.h"
#include "platform/platform_error.h"

namespace earshot::platform::linuxos {
namespace {
namespace fs = std::filesystem;

// A model directory built file by file in a fresh temporary folder.
class ModelFolder : public testing::Test {
 protected:
  void SetUp() override {
    root_ =
        fs::temp_directory_path() / ("earshot-models-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override {
    fs::remove_all(root_);
    fs::remove_all(home());
  }

  void file(const fs::path& relative, const std::string& text = "x") {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << text;
  }
  // A complete model: acoustic folder, language model and dictionary.
  void model(const std::string& name, const std::string& featParams = "-lowerf 130\n") {
    file(name + "/" + name + "/mdef");
    file(name + "/" + name + "/feat.params", featParams);
    file(name + "/" + name + ".lm.bin");
    file(name + "/cmudict-" + name + ".dict");
  }
  // A model store of its own, beside the model folder; empty unless a test
  // installs into it.
  fs::path home() const { return root_.string() + "-home"; }
  InstalledModels installed() const {
    return InstalledModels({ModelSource{root_, true}}, support::StoreLocations::below(home()));
  }

  fs::path root_;
};

TEST_F(ModelFolder, ListsCompleteModelsWithTheirFilesAndRate) {
  model("en-us");
  model("fr-fr", "-samprate 8000\n-nfilt 25\n");
  file("fr-fr/fr-fr-phone.lm.bin");  // a phone model is never the language model
  auto models = installed().models();
  ASSERT_EQ(models.size(), 2u);
  EXPECT_EQ(models[0].locale.bcp47(), "en-US");
  EXPECT_EQ(models[0].sampleRate, 16000.0);
  EXPECT_EQ(models[0].acousticModel, root_ / "en-us/en-us");
  EXPECT_EQ(models[0].languageModel, root_ / "en-us/en-us.lm.bin");
  EXPECT_EQ(models[0].dictionary, root_ / "en-us/cmudict-en-us.dict");
  EXPECT_TRUE(models[0].system);
  EXPECT_EQ(models[1].locale.bcp47(), "fr-FR");
  EXPECT_EQ(models[1].sampleRate, 8000.0);
  EXPECT_EQ(models[1].languageModel, root_ / "fr-fr/fr-fr.lm.bin");
  EXPECT_EQ(models[1].format(), (AudioFormat{CommonFormat::int16, 8000.0, 1, false}));
}

TEST_F(ModelFolder, SkipsIncompleteModels) {
  model("en-us");
  file("de-de/de-de/mdef");  // no language model, no dictionary
  file("de-de/de-de.lm.bin");
  file("es-es/es-es.lm.bin");  // no acoustic model
  file("es-es/es.dict");
  file("it-it/it-it/feat.params");  // acoustic folder without mdef
  file("it-it/it-it.lm.bin");
  file("it-it/it.dict");
  file("pt-br/pt-br/mdef");  // only a phone language model
  file("pt-br/pt-br-phone.lm.bin");
  file("pt-br/pt.dict");
  file("readme.txt");
  auto models = installed().models();
  ASSERT_EQ(models.size(), 1u);
  EXPECT_EQ(models[0].locale.bcp47(), "en-US");
  EXPECT_FALSE(installed().find(Locale::fromIdentifier("de-DE")));
  EXPECT_TRUE(installed().find(Locale::fromIdentifier("en_US")));
}

TEST_F(ModelFolder, ReadsTheFolderAfreshOnEveryQuery) {
  InstalledModels models = installed();
  EXPECT_TRUE(models.usable());
  EXPECT_TRUE(models.models().empty());
  model("en-us");
  EXPECT_EQ(models.models().size(), 1u);
}

TEST_F(ModelFolder, ServicesAndTheStoresInventoryFollowTheInstalledModels) {
  model("en-us");
  LinuxSpeechServices speech(installed(), defaultEngineSettings(), DecoderPool::shared());
  EXPECT_TRUE(speech.isAvailable());
  ASSERT_EQ(speech.supportedLocales().size(), 1u);
  EXPECT_EQ(speech.installedLocales(), speech.supportedLocales());
  EXPECT_EQ(speech.supportedLocale(Locale::fromIdentifier("en"))->bcp47(), "en-US");
  ModuleList english{speech.makeTranscriber(Locale::fromIdentifier("en-US"),
                                            TranscriberPreset::progressiveTranscription)};
  ModuleList french{speech.makeTranscriber(Locale::fromIdentifier("fr-FR"),
                                           TranscriberPreset::progressiveTranscription)};
  EXPECT_EQ(speech.bestAvailableAudioFormat(english),
            (AudioFormat{CommonFormat::int16, 16000.0, 1, false}));
  EXPECT_EQ(speech.bestAvailableAudioFormat(french), std::nullopt);

  // The engine's own models are installed and never reserved: nothing to
  // install or release for them; a locale without a catalog entry fails.
  Platform platform = makeLinuxPlatform(installed());
  AssetInventory& assets = *platform.assets;
  EXPECT_TRUE(assets.reservedLocales().empty());
  EXPECT_EQ(assets.maximumReservedLocales(), store::kMaximumReservedLocales);
  EXPECT_EQ(assets.assetInstallationRequest(english), nullptr);
  EXPECT_THROW(assets.assetInstallationRequest(french), PlatformError);
  EXPECT_FALSE(assets.release(Locale::fromIdentifier("en-US")));
  EXPECT_TRUE(fs::exists(root_ / "en-us/en-us.lm.bin"));  // release deletes nothing
}

TEST(InstalledModels, WithoutItsDirectoryTheEngineIsUnavailable) {
  InstalledModels missing({ModelSource{"/nonexistent/earshot/models", true}},
                          support::StoreLocations::below("/nonexistent/earshot/home"));
  EXPECT_FALSE(missing.usable());
  LinuxSpeechServices speech(missing, defaultEngineSettings(), DecoderPool::shared());
  EXPECT_FALSE(speech.isAvailable());
  EXPECT_TRUE(speech.supportedLocales().empty());
  EXPECT_EQ(speech.supportedLocale(Locale::fromIdentifier("en-US")), std::nullopt);
}

TEST(InstalledModels, TheEnginesOwnEnglishModelIsThere) {
  auto model = InstalledModels::system().find(Locale::fromIdentifier("en-US"));
  ASSERT_TRUE(model);
  EXPECT_EQ(model->sampleRate, 16000.0);
  EXPECT_TRUE(fs::is_regular_file(model->acousticModel / "mdef"));
  EXPECT_TRUE(fs::is_regular_file(model->languageModel));
  EXPECT_TRUE(fs::is_regular_file(model->dictionary));
}

}  // namespace
}  // namespace earshot::platform::linuxos
