#include "tests/hardening/protocol.h"

#include "app/channel/byte_source.h"
#include "app/channel/json_message.h"
#include "app/channel/line_reader.h"

namespace earshot::hardening {

std::string jsonErrorOf(const std::string& line) {
  std::string input = line + "\n";
  MemoryByteSource source(input);
  LineReader reader(source);
  JsonMessageParser parser;
  try {
    parser.parse(*reader.next());
  } catch (const JsonSyntaxError& error) {
    return error.what();
  }
  return "(no syntax error)";
}

}  // namespace earshot::hardening
