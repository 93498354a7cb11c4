#pragma once

#include <string>
#include <string_view>

namespace earshot::channel {

bool isValidUtf8(std::string_view text);

// Writes `in` to `out` with each maximal invalid UTF-8 part replaced by
// U+FFFD, as UTF-8 decoders do.
void repairUtf8(std::string_view in, std::string& out);

}  // namespace earshot::channel
