// A whole live conversation on the scripted platform, with host input from
// the fuzzer served through the program's own line reader and entry. The
// first two bytes pick how the platform behaves; the rest is standard input.
//
// Whatever the host sends, the output must be a well-formed conversation:
// one JSON object per line, [status] ready transcript* stopped, or the same
// cut short by exactly one final "error" line; status 1 exactly when there
// is an error line.
#include <simdjson.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/apple_speech_helper.h"
#include "channel/byte_source.h"
#include "channel/host_output.h"
#include "channel/line_reader.h"
#include "platform/scripted/scripted_platform.h"

namespace {

using earshot::platform::ConverterOutputStatus;
using earshot::platform::Locale;
using earshot::platform::TranscriptionResult;
namespace scripted = earshot::platform::scripted;

void check(bool condition) {
  if (!condition) std::abort();
}

// Texts a recognizer could hand back, including ones that need escaping and
// one that is not UTF-8 (written with U+FFFD, never dropped or torn).
const std::vector<TranscriptionResult>& resultTexts() {
  static const std::vector<TranscriptionResult> texts = {{"go", false},
                                                         {"go forward", true},
                                                         {"", true},
                                                         {"a \"quote\"\n/", false},
                                                         {"\x01\t\x1f", true},
                                                         {"caf\xc3\xa9", true},
                                                         {"bad \xff byte", true}};
  return texts;
}

scripted::SessionScript sessionScript(uint8_t mode, uint8_t count) {
  scripted::SessionScript script;
  const auto& texts = resultTexts();
  for (size_t i = 0; i < count % 5; ++i) {
    script.resultsWhileAnalyzing.push_back(texts[(count + i) % texts.size()]);
  }
  script.results.push_back(texts[count % texts.size()]);
  switch (mode % 6) {
    case 1:
      script.resultFailure = "Results failed.";
      script.failAfterResults = count % 3;
      break;
    case 2:
      script.prepareFailure = "Prepare failed.";
      break;
    case 3:
      script.startFailure = "Start failed.";
      break;
    case 4:
      script.finalizeFailure = "Finalize failed.";
      break;
    default:
      break;
  }
  return script;
}

void configure(scripted::ScriptedPlatform& platform, uint8_t a, uint8_t b) {
  const Locale english = Locale::fromIdentifier("en-US");
  platform.speech->supported = {english};
  if (a & 1) {
    platform.speech->installed = {english};
  } else {
    platform.assets->needsInstallation = (a & 2) != 0;
  }
  // Most sessions behave; now and then one of the first four fails somewhere.
  for (int session = 0; session < 4; ++session) {
    bool faulty = ((b >> (2 * session)) & 3) == 3;
    platform.speech->sessions.scripts.push_back(sessionScript(
        faulty ? uint8_t(1 + (a >> 5) % 4 + (session & 1)) : 0, uint8_t(a + session)));
  }
  platform.converters->supported = (a & 4) == 0;
  scripted::ConverterScript converter;
  static constexpr uint32_t kHoldBack[] = {0, 3, 700, 5000};
  converter.holdBack = kHoldBack[(a >> 3) & 3];
  switch ((b >> 4) % 4) {
    case 1:  // a drain that never ends
      converter.drain = {scripted::ConverterCall(16, ConverterOutputStatus::haveData)};
      break;
    case 2:  // a converter that fails its third call
      converter.conversions[3] = scripted::ConverterCall(
          0, ConverterOutputStatus::error,
          (a & 0x80) ? std::optional<std::string>("Converter broke.") : std::nullopt);
      break;
    default:
      break;
  }
  platform.converters->scripts = {converter, converter, converter};
}

std::string readAll(int fd) {
  std::string all;
  char chunk[1 << 14];
  off_t offset = 0;
  for (;;) {
    ssize_t got = ::pread(fd, chunk, sizeof chunk, offset);
    if (got <= 0) break;
    all.append(chunk, static_cast<size_t>(got));
    offset += got;
  }
  return all;
}

void checkConversation(const std::string& written, int status) {
  check(status == 0 || status == 1);
  check(written.empty() || written.back() == '\n');
  static simdjson::dom::parser parser;
  std::vector<std::string> types;
  size_t start = 0;
  for (size_t end; (end = written.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string_view line(written.data() + start, end - start);
    for (char c : line) check(static_cast<unsigned char>(c) >= 0x20);
    simdjson::dom::element root;
    check(parser.parse(line.data(), line.size()).get(root) == simdjson::SUCCESS);
    simdjson::dom::object object;
    check(root.get_object().get(object) == simdjson::SUCCESS);
    std::string_view type;
    check(object["type"].get_string().get(type) == simdjson::SUCCESS);
    if (type == "transcript") {
      std::string_view text;
      bool isFinal;
      check(object["text"].get_string().get(text) == simdjson::SUCCESS);
      check(object["isFinal"].get_bool().get(isFinal) == simdjson::SUCCESS);
    } else if (type == "error") {
      std::string_view message;
      check(object["message"].get_string().get(message) == simdjson::SUCCESS);
      check(!message.empty());
    }
    types.emplace_back(type);
  }
  // [status] ready transcript* (stopped | error), or an error before ready.
  size_t at = 0;
  if (at < types.size() && types[at] == "status") ++at;
  if (at < types.size() && types[at] == "ready") {
    ++at;
    while (at < types.size() && types[at] == "transcript") ++at;
  }
  check(at + 1 == types.size());
  check(types[at] == (status == 0 ? "stopped" : "error"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  scripted::ScriptedPlatform scripted;
  configure(scripted, data[0], data[1]);
  std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);

  earshot::channel::MemoryByteSource source(input, 1 + data[1] % 97);
  earshot::channel::LineReader reader(source);
  int fd = ::memfd_create("conversation", 0);
  check(fd >= 0);
  {
    earshot::channel::HostOutput output(fd);
    earshot::platform::Platform platform = scripted.platform();
    earshot::mode::ModeContext context{platform, reader, output};
    int status = earshot::app::AppleSpeechHelper::execute({"earshot"}, context);
    std::string written = readAll(fd);
    // For looking at a finding: the fuzzer binary run on one input file.
    if (std::getenv("EARSHOT_FUZZ_SHOW"))
      std::fprintf(stderr, "status %d\n%s", status, written.c_str());
    checkConversation(written, status);
  }
  ::close(fd);
  return 0;
}
