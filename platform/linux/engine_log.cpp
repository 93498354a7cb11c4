#include "platform/linux/engine_log.h"

#include <err.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace earshot::platform::linuxos {
namespace {

thread_local std::string lastError;

// Keeps errors and warnings for the exception that reports the failure;
// everything else is dropped.
void keepErrors(void*, err_lvl_t level, const char* format, ...) {
  if (level != ERR_WARN && level != ERR_ERROR && level != ERR_FATAL) return;
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  lastError = text;
  // Errors come as "\"file.c\", line 12: what"; the host needs only "what".
  if (lastError.rfind("\"", 0) == 0) {
    if (auto colon = lastError.find(": "); colon != std::string::npos)
      lastError.erase(0, colon + 2);
  }
  while (!lastError.empty() && (lastError.back() == '\n' || lastError.back() == '\r')) {
    lastError.pop_back();
  }
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
  lastError.clear();
}

}  // namespace earshot::platform::linuxos
