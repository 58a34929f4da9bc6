#pragma once
#include <chrono>
#include <cstdio>
#include <string>

#include "scan/RecoveryModule.h"

namespace norix::cli {

// Shows a running scan's progress on stderr: one updating line on a terminal,
// a plain line every tenth of the way otherwise.
class ConsoleDelegate : public RecoveryToDelegate {
public:
    explicit ConsoleDelegate(std::FILE* out);
    void quickCompleted() override;
    void openLoadingWindow() override;
    void setBSDPath(const std::string& path) override;

    // Called about once a second while the scan runs.
    void showProgress(const RecoveryModule& module);
    void finish(const RecoveryModule& module);

private:
    void line(const std::string& text);

    std::FILE* out_;
    bool terminal_;
    int lastTenth_ = -1;
    std::chrono::steady_clock::time_point start_;
};

// "%02d:%02d:%02d", or "%02d:%02d:%02d:%02d" from one day on.
std::string durationText(long long seconds);

}  // namespace norix::cli
