#pragma once

#include <string>
#include <vector>

namespace earshot::feed {

struct ProcessRun {
  int status = -1;  // exit status, or -1 when ended by a signal
  int signal = 0;
  std::string out, err;
};

// Runs `argv` with `input` on its standard input, collecting both outputs
// (read together, so neither pipe can fill up and stall the child).
ProcessRun runProcess(const std::vector<std::string>& argv, const std::string& input = "");

}  // namespace earshot::feed
