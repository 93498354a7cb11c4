#include "channel/json_message.h"

#include <cstdint>

namespace earshot::channel {

static_assert(LineReader::kLinePadding >= simdjson::SIMDJSON_PADDING,
              "the reader must leave the padding the parser reads past the text");

namespace {

simdjson::dom::element member(simdjson::dom::element root, std::string_view key, bool& found) {
  found = false;
  simdjson::dom::object object;
  if (root.get_object().get(object) != simdjson::SUCCESS) return {};
  // Iterate rather than look up so that the first of duplicate keys wins
  // whatever the library's lookup does.
  for (auto field : object) {
    if (field.key == key) {
      found = true;
      return field.value;
    }
  }
  return {};
}

}  // namespace

std::optional<std::string_view> IncomingMessage::string(std::string_view key) const {
  bool found;
  simdjson::dom::element value = member(root_, key, found);
  std::string_view text;
  if (!found || value.get_string().get(text) != simdjson::SUCCESS) return std::nullopt;
  return text;
}

std::optional<double> IncomingMessage::number(std::string_view key) const {
  bool found;
  simdjson::dom::element value = member(root_, key, found);
  if (!found) return std::nullopt;
  switch (value.type()) {
    case simdjson::dom::element_type::DOUBLE:
      return double(value);
    case simdjson::dom::element_type::INT64: {
      int64_t whole = int64_t(value);
      double converted = static_cast<double>(whole);
      // 2^63 itself is not an int64, so the comparison below is exact.
      if (converted >= 9223372036854775808.0 || static_cast<int64_t>(converted) != whole) {
        return std::nullopt;
      }
      return converted;
    }
    case simdjson::dom::element_type::UINT64: {
      uint64_t whole = uint64_t(value);
      double converted = static_cast<double>(whole);
      if (converted >= 18446744073709551616.0 || static_cast<uint64_t>(converted) != whole) {
        return std::nullopt;
      }
      return converted;
    }
    default:
      return std::nullopt;
  }
}

std::optional<bool> IncomingMessage::boolean(std::string_view key) const {
  bool found;
  simdjson::dom::element value = member(root_, key, found);
  bool flag;
  if (!found || value.get_bool().get(flag) != simdjson::SUCCESS) return std::nullopt;
  return flag;
}

bool IncomingMessage::has(std::string_view key) const {
  bool found;
  simdjson::dom::element value = member(root_, key, found);
  return found && !value.is_null();
}

std::optional<std::vector<std::string_view>> IncomingMessage::strings(std::string_view key) const {
  bool found;
  simdjson::dom::element value = member(root_, key, found);
  simdjson::dom::array array;
  if (!found || value.get_array().get(array) != simdjson::SUCCESS) return std::nullopt;
  std::vector<std::string_view> texts;
  for (simdjson::dom::element element : array) {
    std::string_view text;
    if (element.get_string().get(text) != simdjson::SUCCESS) return std::nullopt;
    texts.push_back(text);
  }
  return texts;
}

IncomingMessage JsonMessageParser::parse(const InputLine& line) {
  simdjson::dom::element root;
  // The reader's padding lets the parser work on the line where it is.
  auto error =
      parser_.parse(line.text.data(), line.text.size(), /*realloc_if_needed=*/false).get(root);
  if (error != simdjson::SUCCESS) throw JsonSyntaxError(simdjson::error_message(error));
  if (!root.is_object() && !root.is_array()) {
    // The library accepts a bare scalar; host messages never are one.
    throw JsonSyntaxError(simdjson::error_message(simdjson::TAPE_ERROR));
  }
  return IncomingMessage(root);
}

}  // namespace earshot::channel
