#pragma once

#include <span>

#include "platform/linux/engine/decoded_word.h"

struct ps_lattice_s;
struct ngram_model_s;

namespace earshot::platform::linuxos {

// Gives each word of a closed utterance's hypothesis its posterior
// probability in the engine's word lattice of that utterance: the mass of
// the lattice's links for the same word that cover at least half of its
// frames, 0 to 1. `utteranceStart` is the first frame of the utterance, from
// which the lattice counts its frames; `acousticScale` scales the acoustic
// scores against the language model's.
//
// The engine's own posterior pass keeps its sums in 32-bit logarithms, in
// which anything below -2^29 counts as nothing: past about 20 s of speech
// its normaliser falls there and every posterior comes out far above 1.
// These sums are kept in doubles and hold for any length.
void addLatticePosteriors(ps_lattice_s* lattice, ngram_model_s* languageModel, double acousticScale,
                          int utteranceStart, std::span<DecodedWord> words);

}  // namespace earshot::platform::linuxos
