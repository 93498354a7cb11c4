#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/feed/audio_input.h"

namespace earshot::feed {

// The desktop sound server's recording through PulseAudio's simple API
// (PipeWire serves it too): 16 kHz mono, delivered `chunkMs` at a time.
// `device` is a source name, empty for the server's default. read() blocks
// for one chunk and returns 0 once `wakeFd` is readable. Throws InputError
// when no sound server answers or the source does not exist.
std::unique_ptr<AudioInput> openMicrophone(const std::string& device, int chunkMs, int wakeFd);

struct Source {
  std::string name, description;
};

// The sound server's recording sources, monitors of outputs included.
// Throws InputError when no sound server answers.
std::vector<Source> listSources();

// The sources as a person reads them: name, then what it is.
std::string sourcesTable(const std::vector<Source>& sources);

}  // namespace earshot::feed
