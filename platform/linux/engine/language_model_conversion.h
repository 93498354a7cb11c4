#pragma once

#include <filesystem>

namespace earshot::platform::linuxos {

// Writes the engine's binary form of the ARPA language model `arpa` into
// `binary` with the engine's own reader and writer. Runs in a child process
// (runIsolated): the text of a large model takes gigabytes while it is read,
// which the child gives back when it ends, and a model the engine gives up
// on cannot end this process. Throws std::runtime_error with the reason.
void convertLanguageModel(const std::filesystem::path& arpa, const std::filesystem::path& binary);

}  // namespace earshot::platform::linuxos
