#pragma once

namespace earshot::protocol {

// The sample rates "audio" may carry, in Hz, both inclusive. The program
// refuses others, the converter accepts all of them, and hosts check their
// input against the same limits.
inline constexpr double kLowestRate = 8000.0;
inline constexpr double kHighestRate = 192000.0;

inline constexpr bool isAcceptedRate(double rate) {
  return rate >= kLowestRate && rate <= kHighestRate;
}

}  // namespace earshot::protocol
