#pragma once

#include <ostream>
#include <string>

#include "tools/feed/views.h"

namespace earshot::feed {

// Where a run of earshot writes and what it can be told from outside.
struct RunSettings {
  std::string earshot;  // path to run
  Style style = Style::Plain;
  int columns = 0;  // terminal width; 0 when unknown
  std::ostream& out;
  std::ostream& err;
  // An eventfd: once readable, the run stops reading audio and ends the
  // session in order ("stop"). Written by the SIGINT handler.
  int wakeFd = -1;
};

}  // namespace earshot::feed
