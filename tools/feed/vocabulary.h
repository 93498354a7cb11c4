#pragma once

#include <string>
#include <vector>

#include "tools/feed/options.h"

namespace earshot::feed {

// The phrases of --vocabulary, then of --vocabulary-file's lines (blank
// lines skipped), checked against what earshot takes in "init" (at most
// 100 phrases of 1 to 10 words and 100 bytes), so that a mistake is told
// here by phrase, file and line instead of as earshot's refusal of the
// whole list. Throws UsageError.
std::vector<std::string> vocabularyOf(const FeedOptions& options);

}  // namespace earshot::feed
