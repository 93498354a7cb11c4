#pragma once

#include <string>
#include <string_view>

namespace earshot::platform::linuxos {

// The words of an engine hypothesis as text: joined by single spaces, with
// no fillers or noise ("<s>", "</s>", "<sil>", "[NOISE]", "++UM++") and no
// alternate-pronunciation markers ("read(2)" is "read").
std::string hypothesisText(std::string_view hypothesis);

}  // namespace earshot::platform::linuxos
