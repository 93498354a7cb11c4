#pragma once

#include <string>
#include <vector>

namespace earshot::e2e {

struct ProcessRun {
  int status = -1;
  std::vector<std::string> lines;  // standard output, without line feeds
  std::string err;                 // standard error, whole
};

// Runs the built program with `arguments`, writing `input` to its standard
// input while reading both of its outputs, in an environment whose home and
// XDG folders are an empty temporary folder (so only the engine's own models
// are there).
ProcessRun runEarshot(const std::vector<std::string>& arguments, const std::string& input = {});

}  // namespace earshot::e2e
