// The first load of a language model in ARPA text against the engine's
// binary form, and the install's conversion between them.
//
//   language_model_load ARPA [ROUNDS]
//
// bench/arpa_from_dictionary.py writes a real-size ARPA model. Each load
// runs in a fresh child process; prints its seconds and peak memory. The
// binary form is written next to the ARPA file (".converted.lm.bin").
#include <pocketsphinx.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/linux/engine/engine_log.h"
#include "platform/linux/engine/language_model_conversion.h"

namespace {
namespace fs = std::filesystem;
using earshot::platform::linuxos::convertLanguageModel;
using earshot::platform::linuxos::silenceEngineLog;

struct Measure {
  double seconds = 0;
  long peakKilobytes = 0;
};

// Runs `work` in a child and measures it from here.
Measure inChild(const std::function<bool()>& work) {
  auto start = std::chrono::steady_clock::now();
  pid_t child = ::fork();
  if (child == 0) ::_exit(work() ? 0 : 1);
  int status = 0;
  struct rusage usage {};
  ::wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "the measured step failed\n");
    std::exit(1);
  }
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
          usage.ru_maxrss};
}

bool load(const fs::path& file, ngram_file_type_t type) {
  silenceEngineLog();
  cmd_ln_t* config = cmd_ln_parse_r(nullptr, ps_args(), 0, nullptr, FALSE);
  logmath_t* lmath = logmath_init(1.0001, 0, FALSE);
  return ngram_model_read(config, file.c_str(), type, lmath) != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s ARPA [ROUNDS]\n", argv[0]);
    return 2;
  }
  const fs::path arpa = argv[1];
  int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const fs::path converted = fs::path(arpa).concat(".converted.lm.bin");
  std::printf("ARPA text %ju bytes\n", std::uintmax_t{fs::file_size(arpa)});
  for (int round = 0; round < rounds; ++round) {
    fs::remove(converted);
    auto start = std::chrono::steady_clock::now();
    convertLanguageModel(arpa, converted);
    double convert =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Measure text = inChild([&] { return load(arpa, NGRAM_ARPA); });
    Measure bin = inChild([&] { return load(converted, NGRAM_BIN); });
    std::printf(
        "round %d: convert %.2f s; load ARPA %.2f s, peak %ld MB; load binary %.2f s, peak %ld "
        "MB\n",
        round, convert, text.seconds, text.peakKilobytes / 1024, bin.seconds,
        bin.peakKilobytes / 1024);
  }
  std::printf("converted binary %ju bytes\n", std::uintmax_t{fs::file_size(converted)});
  return 0;
}
