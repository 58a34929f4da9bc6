#include "cli/ConsoleDelegate.h"

#include <unistd.h>

namespace norix::cli {

std::string durationText(long long seconds) {
    if (seconds < 0) seconds = 0;
    char text[48];
    const long long days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60,
                    secs = seconds % 60;
    if (days > 0)
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld:%02lld", days, hours, minutes, secs);
    else
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", hours, minutes, secs);
    return text;
}

ProgressLine::ProgressLine(std::FILE* out) : out_(out), terminal_(isatty(fileno(out)) != 0) {}

void ProgressLine::show(const std::string& text) {
    if (terminal_) std::fprintf(out_, "\r\033[K%s", text.c_str());
    else std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

ConsoleDelegate::ConsoleDelegate(std::FILE* out)
    : out_(out), progress_(out), start_(std::chrono::steady_clock::now()) {}

void ConsoleDelegate::quickCompleted() {
    if (progress_.terminal()) std::fprintf(out_, "\n");
    std::fprintf(out_, "Quick scan completed\n");
}

void ConsoleDelegate::openLoadingWindow() {
    if (progress_.terminal()) std::fprintf(out_, "\n");
    std::fprintf(out_, "Arranging results...\n");
}

void ConsoleDelegate::setBSDPath(const std::string& path) {
    std::fprintf(out_, "Reading the APFS container at %s\n", path.c_str());
}

void ConsoleDelegate::showNotice(const std::string& text) {
    if (progress_.terminal()) std::fprintf(out_, "\n");
    std::fprintf(out_, "norix: %s\n", text.c_str());
}

void ConsoleDelegate::showProgress(const RecoveryModule& module) {
    const uint64_t total = module.totalSector();
    const double fraction = total ? std::min(1.0, double(module.currentSectorNumber()) / double(total)) : 0.0;
    const int tenth = static_cast<int>(fraction * 10);
    if (!progress_.terminal() && tenth == lastTenth_) return;
    lastTenth_ = tenth;

    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_).count();
    const std::string remaining =
        fraction > 0.0 ? durationText(static_cast<long long>(elapsed / fraction - elapsed)) : "--:--:--";
    const double megabytes = double(module.currentSectorNumber()) * module.blockSize / 1e6;
    char text[200];
    std::snprintf(text, sizeof text, "Scanning %5.1f%%  %.0f MB/s  elapsed %s  remaining %s  files found %d",
                  fraction * 100.0, elapsed > 0 ? megabytes / double(elapsed) : 0.0, durationText(elapsed).c_str(),
                  remaining.c_str(), module.filesFound());
    progress_.show(text);
}

void ConsoleDelegate::finish(const RecoveryModule& module) {
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_).count();
    if (progress_.terminal()) std::fprintf(out_, "\n");
    uint32_t files = 0;
    {
        std::shared_lock lock(module.treeLock());
        if (const BaseTree* root = module.dirRoot()) files = root->fileCount;
    }
    std::fprintf(out_, "%s after %s, %u files found\n", module.isStopped() ? "Scan stopped" : "Scan completed",
                 durationText(elapsed).c_str(), files);
    // The sectors read as zeros: what lay there is missing from the results.
    if (const auto text = unreadableSectorsText(module.unreadableRanges(), module.blockSize); !text.empty())
        std::fprintf(out_, "%s\n", text.c_str());
}

}  // namespace norix::cli
