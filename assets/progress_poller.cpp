#include "assets/progress_poller.h"

#include "protocol/names.h"

namespace earshot::assets {

channel::OutgoingMessage installProgressLine(const std::string& locale, double fraction) {
  channel::OutgoingMessage line("install-progress");
  line.add(protocol::member::kLocale, locale).add(protocol::member::kFraction, fraction);
  return line;
}

void pollProgress(const platform::Progress& progress, platform::Sleeper& sleeper,
                  const std::string& locale, channel::HostOutput& output, std::stop_token stop) {
  if (stop.stop_requested()) return;
  double last = -1.0;
  for (;;) {
    sleeper.sleepFor(kProgressInterval, stop);
    double fraction = progress.fractionCompleted();
    // A NaN compares unequal to itself, so it is written every time (the
    // builder then drops it, as JSON has no NaN) and never hides the next
    // finite sample.
    if (fraction != last) output.emit(installProgressLine(locale, fraction));
    last = fraction;
    if (stop.stop_requested()) return;
  }
}

ProgressPoller::ProgressPoller(std::shared_ptr<const platform::Progress> progress,
                               std::shared_ptr<platform::Sleeper> sleeper, std::string locale,
                               channel::HostOutput& output)
    : thread_([progress = std::move(progress), sleeper = std::move(sleeper),
               locale = std::move(locale), out = &output](std::stop_token stop) {
        try {
          pollProgress(*progress, *sleeper, locale, *out, stop);
        } catch (...) {
          // Nobody is left to report to; the download goes on without progress.
        }
      }) {}

}  // namespace earshot::assets
