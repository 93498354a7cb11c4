#pragma once

#include <simdjson.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "channel/line_reader.h"

namespace earshot::channel {

// A JSON syntax error; what() is the JSON library's own description.
class JsonSyntaxError : public std::runtime_error {
 public:
  explicit JsonSyntaxError(const std::string& description) : std::runtime_error(description) {}
};

// A parsed input line. Valid until the parser parses the next line.
class IncomingMessage {
 public:
  explicit IncomingMessage(simdjson::dom::element root) : root_(root) {}

  // Only objects carry messages; a top-level array parses but is not one.
  bool isObject() const { return root_.is_object(); }

  // Member reads by kind. A missing member, null and a member of another
  // kind are all absent. Keys are case-sensitive; the first of duplicate
  // keys counts.
  std::optional<std::string_view> string(std::string_view key) const;
  // Any JSON number exactly representable as a double, integers included.
  std::optional<double> number(std::string_view key) const;
  std::optional<bool> boolean(std::string_view key) const;
  // Whether the member is there with a value other than null.
  bool has(std::string_view key) const;
  // The elements of an array member that holds only strings, in order;
  // nullopt when the member is missing or anything else.
  std::optional<std::vector<std::string_view>> strings(std::string_view key) const;

 private:
  simdjson::dom::element root_;
};

// Parses input lines in place, reusing its memory from line to line.
class JsonMessageParser {
 public:
  // The top-level value must be an object or an array; anything else (an
  // empty line, a bare scalar, trailing content, comments) throws
  // JsonSyntaxError.
  IncomingMessage parse(const InputLine& line);

 private:
  simdjson::dom::parser parser_;
};

}  // namespace earshot::channel
