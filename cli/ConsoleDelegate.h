#pragma once
#include <chrono>
#include <cstdio>
#include <string>

#include "scan/RecoveryModule.h"

namespace norix::cli {

// A status line on a stream: rewritten in place on a terminal, one line per report
// elsewhere.
class ProgressLine {
public:
    explicit ProgressLine(std::FILE* out);
    void show(const std::string& text);
    bool terminal() const { return terminal_; }

private:
    std::FILE* out_;
    bool terminal_;
};

// Shows a running scan's progress on stderr: one updating line on a terminal,
// a plain line every tenth of the way otherwise.
class ConsoleDelegate : public RecoveryToDelegate {
public:
    explicit ConsoleDelegate(std::FILE* out);
    void quickCompleted() override;
    void openLoadingWindow() override;
    void setBSDPath(const std::string& path) override;
    void showNotice(const std::string& text) override;

    // Called about once a second while the scan runs.
    void showProgress(const RecoveryModule& module);
    void finish(const RecoveryModule& module);

private:
    std::FILE* out_;
    ProgressLine progress_;
    int lastTenth_ = -1;
    std::chrono::steady_clock::time_point start_;
};

// "%02d:%02d:%02d", or "%02d:%02d:%02d:%02d" from one day on.
std::string durationText(long long seconds);

}  // namespace norix::cli
