#pragma once

#include <optional>
#include <vector>

#include "platform/locale.h"

namespace earshot::platform::linuxos {

// The supported locale equivalent to `requested`: an exact match of the
// canonical form first; otherwise the supported locale with the same
// language, script and region once ICU has filled in the likely ones ("en"
// is en-Latn-US, "en_US_POSIX" is en-US). A region no supported locale has
// ("en-GB" when only en-US is there) matches nothing, and so do empty and
// unknown identifiers.
std::optional<Locale> matchSupportedLocale(const Locale& requested,
                                           const std::vector<Locale>& supported);

}  // namespace earshot::platform::linuxos
