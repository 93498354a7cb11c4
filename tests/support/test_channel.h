#pragma once

#include <memory>
#include <string>
#include <vector>

#include "channel/byte_source.h"
#include "channel/host_output.h"
#include "channel/line_reader.h"
#include "mode/mode_context.h"
#include "platform/scripted/scripted_platform.h"

namespace earshot::testkit {

// A host channel in memory: input from a string (served in chunks of
// `chunk` bytes), output captured in an anonymous file.
class TestChannel {
 public:
  explicit TestChannel(std::string input = {}, size_t chunk = 1 << 16);
  ~TestChannel();
  TestChannel(const TestChannel&) = delete;
  TestChannel& operator=(const TestChannel&) = delete;

  channel::LineReader& input() { return reader_; }
  channel::HostOutput& output() { return output_; }
  // Everything written so far.
  std::string written() const;
  // The lines written so far, without their line feeds.
  std::vector<std::string> lines() const;

 private:
  std::string inputBytes_;
  channel::MemoryByteSource source_;
  channel::LineReader reader_;
  int fd_;
  channel::HostOutput output_;
};

struct ModeOutcome {
  int status = -1;
  std::vector<std::string> lines;
};

// Runs the mode that `arguments` choose, as the process entry does, on the
// scripted platform with `input` as standard input.
ModeOutcome runMode(const std::vector<std::string>& arguments,
                    const platform::scripted::ScriptedPlatform& scripted,
                    const std::string& input = {});

}  // namespace earshot::testkit
