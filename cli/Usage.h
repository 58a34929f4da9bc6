#pragma once
#include <string>

namespace norix::cli {

// The exit code of a malformed command line (or a refused request).
inline constexpr int kUsageExit = 2;

// Says on stderr what is wrong with the command line, in one line, points at
// `norix help`, and answers kUsageExit.
int usageError(const std::string& message);

}  // namespace norix::cli
