#pragma once

#include <string>
#include <vector>

#include "threading/mutex.h"

namespace earshot::platform::scripted {

// Every platform call the logic makes, in order, as short text such as
// "supportedLocale(en_US)". Shared by all scripted services of one platform;
// written from several threads.
class CallLog {
 public:
  void record(std::string call) {
    threading::MutexLock lock(mutex_);
    calls_.push_back(std::move(call));
  }
  std::vector<std::string> calls() const {
    threading::MutexLock lock(mutex_);
    return calls_;
  }
  // The calls that start with `prefix`, in order.
  std::vector<std::string> callsStartingWith(const std::string& prefix) const {
    threading::MutexLock lock(mutex_);
    std::vector<std::string> matching;
    for (const auto& call : calls_) {
      if (call.rfind(prefix, 0) == 0) matching.push_back(call);
    }
    return matching;
  }

 private:
  mutable threading::Mutex mutex_;
  std::vector<std::string> calls_ GUARDED_BY(mutex_);
};

}  // namespace earshot::platform::scripted
