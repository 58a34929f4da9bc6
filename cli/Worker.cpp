#include "cli/Worker.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <thread>
#include <unistd.h>

namespace norix::cli {

namespace {
std::atomic<int> interrupts{0};

// The worker may be stuck in a read of a bad sector that takes minutes, so the second
// Ctrl-C cannot wait for it: the handler itself ends the process.
extern "C" void onInterruptSignal(int) {
    if (interrupts.fetch_add(1) > 0) _exit(kInterruptedExit);
    static constexpr char kNote[] = "\nStopping... (Ctrl-C again to quit at once)\n";
    [[maybe_unused]] const auto written = write(STDERR_FILENO, kNote, sizeof kNote - 1);
}
}  // namespace

bool runWithProgress(const std::function<void()>& job, const std::function<void()>& progress,
                     const std::function<void()>& onInterrupt) {
    std::atomic<bool> finished{false}, failed{false};
    interrupts = 0;
    std::signal(SIGINT, onInterruptSignal);
    std::thread worker([&] {
        try {
            job();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "norix: %s\n", e.what());
            failed = true;
        }
        finished = true;
    });
    bool interruptSent = false;
    auto nextReport = std::chrono::steady_clock::now();
    while (!finished) {
        if (interrupts > 0 && !interruptSent) {
            onInterrupt();
            interruptSent = true;
        }
        if (std::chrono::steady_clock::now() >= nextReport) {
            progress();
            nextReport += std::chrono::seconds(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    worker.join();
    std::signal(SIGINT, SIG_DFL);
    return !failed;
}

}  // namespace norix::cli
