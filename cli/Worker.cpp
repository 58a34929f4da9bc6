#include "cli/Worker.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <thread>

namespace norix::cli {

namespace {
std::atomic<bool> interrupted{false};
extern "C" void onInterruptSignal(int) { interrupted = true; }
}  // namespace

bool runWithProgress(const std::function<void()>& job, const std::function<void()>& progress,
                     const std::function<void()>& onInterrupt) {
    std::atomic<bool> finished{false}, failed{false};
    interrupted = false;
    std::thread worker([&] {
        try {
            job();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "norix: %s\n", e.what());
            failed = true;
        }
        finished = true;
    });
    std::signal(SIGINT, onInterruptSignal);
    bool interruptSent = false;
    auto nextReport = std::chrono::steady_clock::now();
    while (!finished) {
        if (interrupted && !interruptSent) {
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
