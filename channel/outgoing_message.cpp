#include "channel/outgoing_message.h"

#include <charconv>
#include <cmath>

#include "channel/utf8.h"
#include "protocol/json_text.h"

namespace earshot::channel {

void OutgoingMessage::key(std::string_view name) {
  if (json_.size() > 1) json_ += ',';
  text(name);
  json_ += ':';
}

void OutgoingMessage::text(std::string_view value) {
  // Texts carry bytes from file names, libraries and model files. A line is
  // never lost for its text: invalid parts become U+FFFD, as in input. (Our
  // own check, not the JSON library's: the entry's exit handler writes a
  // line after the library's static state may be gone.)
  std::string repaired;
  repairUtf8(value, repaired);
  protocol::appendJsonString(json_, repaired, protocol::Slash::escaped);
}

OutgoingMessage& OutgoingMessage::add(std::string_view name, std::string_view value) {
  key(name);
  text(value);
  return *this;
}

OutgoingMessage& OutgoingMessage::add(std::string_view name, bool flag) {
  key(name);
  json_ += flag ? "true" : "false";
  return *this;
}

OutgoingMessage& OutgoingMessage::add(std::string_view name, double number) {
  key(name);
  if (!std::isfinite(number)) {
    valid_ = false;  // JSON has no NaN or infinity
    return *this;
  }
  char digits[32];
  // Shortest text that reads back to the same double.
  auto result = std::to_chars(digits, digits + sizeof digits, number);
  json_.append(digits, result.ptr);
  return *this;
}

OutgoingMessage& OutgoingMessage::add(std::string_view name, int64_t number) {
  key(name);
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, number);
  json_.append(digits, result.ptr);
  return *this;
}

OutgoingMessage& OutgoingMessage::add(std::string_view name,
                                      const std::vector<std::string>& texts) {
  key(name);
  json_ += '[';
  for (size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) json_ += ',';
    text(texts[i]);
  }
  json_ += ']';
  return *this;
}

OutgoingMessage& OutgoingMessage::add(std::string_view name,
                                      const std::vector<OutgoingMessage>& objects) {
  key(name);
  json_ += '[';
  for (size_t i = 0; i < objects.size(); ++i) {
    if (i > 0) json_ += ',';
    json_ += objects[i].json_;
    json_ += '}';
    valid_ = valid_ && objects[i].valid_;
  }
  json_ += ']';
  return *this;
}

std::optional<std::string> OutgoingMessage::serialize() const {
  if (!valid_) return std::nullopt;
  return json_ + '}';
}

}  // namespace earshot::channel
