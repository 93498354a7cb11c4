#pragma once

#include <string>
#include <string_view>

namespace earshot::protocol {

// How a JSON string writes '/': the program's lines write it as "\/", the
// host tools' lines and output plain. Either reads back the same.
enum class Slash { escaped, plain };

// Appends `text` as a JSON string literal, quotes included: '"' and '\\'
// escaped, control characters as \n, \r, \t, \b, \f or \u00xx, other bytes
// as they are (the caller makes sure they are UTF-8).
void appendJsonString(std::string& out, std::string_view text, Slash slash = Slash::plain);

// The same as a new string.
std::string jsonString(std::string_view text);

}  // namespace earshot::protocol
