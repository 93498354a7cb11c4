#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace earshot::channel {

// A message to the host, built member by member in the order written. It
// serializes to one line of compact JSON.
class OutgoingMessage {
 public:
  explicit OutgoingMessage(std::string_view type) { add("type", type); }
  // An object without "type", to be a member of a message.
  static OutgoingMessage object() { return OutgoingMessage(); }

  OutgoingMessage& add(std::string_view key, std::string_view text);
  OutgoingMessage& add(std::string_view key, const char* text) {
    return add(key, std::string_view(text));
  }
  OutgoingMessage& add(std::string_view key, bool flag);
  OutgoingMessage& add(std::string_view key, double number);
  OutgoingMessage& add(std::string_view key, int64_t number);
  OutgoingMessage& add(std::string_view key, const std::vector<std::string>& texts);
  OutgoingMessage& add(std::string_view key, const std::vector<OutgoingMessage>& objects);

  // The JSON text without a line feed, or nullopt when the message cannot be
  // written as JSON (a number that is not finite). Text that is not UTF-8 is
  // written with each invalid part replaced by U+FFFD.
  std::optional<std::string> serialize() const;

 private:
  OutgoingMessage() = default;
  void key(std::string_view name);
  void text(std::string_view value);

  std::string json_ = "{";
  bool valid_ = true;
};

}  // namespace earshot::channel
