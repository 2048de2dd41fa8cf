#pragma once
// What every harness shares: a broken invariant aborts with its description,
// which libFuzzer reports as a finding and the replay test as a failure.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace velmora::fuzzing {

inline void require(const std::string& problem) {
  if (problem.empty()) return;
  std::fprintf(stderr, "invariant broken: %s\n", problem.c_str());
  std::abort();
}

inline void require(bool holds, const char* what) {
  if (!holds) require(std::string(what));
}

}  // namespace velmora::fuzzing
