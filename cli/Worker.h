#pragma once
#include <functional>

namespace norix::cli {

// Runs a job on a worker thread while this thread shows its progress once a second;
// the first Ctrl-C calls onInterrupt (the job then winds down by itself). False when
// the job threw.
bool runWithProgress(const std::function<void()>& job, const std::function<void()>& progress,
                     const std::function<void()>& onInterrupt);

}  // namespace norix::cli
