#include "platform/linux/engine/engine_log.h"

#include <err.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string_view>

namespace earshot::platform::linuxos {
namespace {

// A plain buffer rather than a std::string: exit() destroys the calling
// thread's thread_local objects before its exit handlers run, and the
// handler that reports an engine exit reads this.
thread_local char lastError[512];

// Keeps errors and warnings for the exception that reports the failure;
// everything else is dropped.
void keepErrors(void*, err_lvl_t level, const char* format, ...) {
  if (level != ERR_WARN && level != ERR_ERROR && level != ERR_FATAL) return;
  char text[sizeof lastError];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  std::string_view kept = text;
  // Errors come as "\"file.c\", line 12: what", fatal ones with "FATAL: "
  // before that; the host needs only "what".
  if (kept.starts_with("FATAL: \"")) kept.remove_prefix(7);
  if (kept.starts_with("\"")) {
    if (auto colon = kept.find(": "); colon != std::string_view::npos)
      kept.remove_prefix(colon + 2);
  }
  while (!kept.empty() && (kept.back() == '\n' || kept.back() == '\r')) kept.remove_suffix(1);
  std::memmove(lastError, kept.data(), kept.size());
  lastError[kept.size()] = '\0';
}

}  // namespace

void silenceEngineLog() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The null stream stops the configuration dump, which writes to the log
    // stream directly; the callback catches every message.
    err_set_logfp(nullptr);
    err_set_callback(keepErrors, nullptr);
  });
}

std::string lastEngineError() {
  return lastError;
}

void clearEngineError() {
  lastError[0] = '\0';
}

}  // namespace earshot::platform::linuxos
