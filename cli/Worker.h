#pragma once
#include <functional>

namespace norix::cli {

// The exit code of a run stopped with Ctrl-C.
inline constexpr int kInterruptedExit = 130;

// Runs a job on a worker thread while this thread shows its progress once a second;
// the first Ctrl-C calls onInterrupt (the job then winds down by itself), a second
// one ends the program at once with kInterruptedExit. False when the job threw.
bool runWithProgress(const std::function<void()>& job, const std::function<void()>& progress,
                     const std::function<void()>& onInterrupt);

}  // namespace norix::cli
