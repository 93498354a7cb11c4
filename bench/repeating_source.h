#pragma once

#include <algorithm>
#include <cstring>
#include <string_view>

#include "channel/byte_source.h"

// Serves the same bytes over and over, so one LineReader (and its 2 MB
// buffer) lasts a whole benchmark run.
class RepeatingByteSource final : public earshot::channel::ByteSource {
 public:
  explicit RepeatingByteSource(std::string_view bytes) : bytes_(bytes) {}

  size_t readSome(char* out, size_t capacity) override {
    size_t count = std::min(capacity, bytes_.size() - offset_);
    std::memcpy(out, bytes_.data() + offset_, count);
    offset_ = (offset_ + count) % bytes_.size();
    return count;
  }

 private:
  std::string_view bytes_;
  size_t offset_ = 0;
};
