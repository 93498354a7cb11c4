#pragma once

#include <span>
#include <string>
#include <string_view>

#include "tools/feed/options.h"

namespace earshot::feed {

// Where --help and the man page list a flag.
enum class FlagGroup { Input, Output, Recognition, ModelsAndDevices };

// One command-line flag, stated once: --help, the man page and the parser
// all read it from the table.
struct Flag {
  std::string_view name;       // "--locale"
  std::string_view valueName;  // "LOCALE"; empty for a switch
  FlagGroup group;
  std::string_view help;  // for a person; wrapped by whoever prints it
  // What the flag does to the options, given its value ("" for a switch);
  // throws UsageError naming the flag for a value it cannot take. The
  // checks between flags come after all are applied (parseArguments).
  void (*apply)(FeedOptions& options, const std::string& value);
  std::string_view shortName = {};  // "-h"; empty for most
};

// Every flag, in the order --help lists them within their group.
std::span<const Flag> flagTable();

// The flag spelled `name` ("--locale" or its short name), or null.
const Flag* findFlag(std::string_view name);

// `earshot-feed --help`.
std::string helpText(std::string_view program);

// earshot-feed(1) in troff's man macros, from the same table and texts.
std::string manPage(std::string_view program, std::string_view version);

}  // namespace earshot::feed
