#include "cli/Recover.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include "cli/ConsoleDelegate.h"
#include "cli/Worker.h"
#include "results/TreeClassMethod.h"

namespace norix::cli {

namespace fs = std::filesystem;

namespace {

// The destination itself, or the nearest of its parents that exists.
fs::path nearestExisting(const std::string& destination) {
    fs::path path = fs::absolute(destination).lexically_normal();
    std::error_code ec;
    while (!fs::exists(path, ec) && path.has_parent_path() && path != path.parent_path()) path = path.parent_path();
    return path;
}

// The whole disk a partition's device number belongs to (itself for a whole disk).
dev_t wholeDiskOf(dev_t device) {
    const fs::path sys = "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::error_code ec;
    if (!fs::exists(sys / "partition", ec)) return device;
    const fs::path parent = fs::canonical(sys, ec).parent_path();
    unsigned maj = 0, min = 0;
    if (FILE* f = std::fopen((parent / "dev").c_str(), "r")) {
        const bool ok = std::fscanf(f, "%u:%u", &maj, &min) == 2;
        std::fclose(f);
        if (ok) return makedev(maj, min);
    }
    return device;
}

std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string sizeWithUnit(int64_t bytes) { return TreeClassMethod::sizeText(static_cast<uint64_t>(std::max<int64_t>(bytes, 0))); }

// Checks the chosen files; returns how many and how many bytes.
std::pair<int64_t, int64_t> checkChosenFiles(BaseTree& root, const RecoverOptions& options) {
    std::vector<std::string> wanted;
    for (const auto& path : options.paths) wanted.push_back(lowerCased(path));
    std::vector<BaseTree*> chosen;
    std::vector<BaseTree*> pending{&root};
    while (!pending.empty()) {
        BaseTree* node = pending.back();
        pending.pop_back();
        for (auto& child : node->childrenArray) pending.push_back(child.get());
        if (node->fileType != 2 || (options.deletedOnly && !node->deleted)) continue;
        const std::string full = lowerCased(node->pathName + "/" + node->fileName);
        const bool matches = options.all || wanted.empty() ||
                             std::any_of(wanted.begin(), wanted.end(),
                                         [&](const std::string& w) { return full.find(w) != std::string::npos; });
        if (matches) chosen.push_back(node);
    }
    int64_t files = 0, bytes = 0;
    for (BaseTree* file : chosen) {
        file->checked_withFileCount_andfileSize(true, files, bytes);
        file->setSelectedForParent();
    }
    return {files, bytes};
}

}  // namespace

bool destinationOnSource(const std::string& destination, const std::string& devicePath) {
    struct stat dest {}, source {};
    if (::stat(nearestExisting(destination).c_str(), &dest) != 0 || ::stat(devicePath.c_str(), &source) != 0)
        return false;
    if (S_ISBLK(source.st_mode)) return dest.st_dev == source.st_rdev || wholeDiskOf(dest.st_dev) == source.st_rdev;
    return dest.st_dev == source.st_dev;
}

int recoverChecked(RecoveryModule& module, const RecoverOptions& options) {
    int64_t selectedFile = 0, selectedSize = 0;
    {
        std::unique_lock lock(module.treeLock());
        std::tie(selectedFile, selectedSize) = checkChosenFiles(*module.dirRoot(), options);
    }
    if (selectedFile == 0) {
        std::fprintf(stderr, "norix: Check any files to recover\n");
        return 2;
    }
    struct statvfs space {};
    if (::statvfs(nearestExisting(options.destination).c_str(), &space) == 0 &&
        static_cast<uint64_t>(space.f_bavail) * space.f_frsize < static_cast<uint64_t>(selectedSize)) {
        std::fprintf(stderr, "norix: Insufficient disk space to store selected data\n");
        return 5;
    }

    std::atomic<int64_t> savedFile{0}, savedSize{0};
    std::atomic<bool> stop{false};
    int64_t skipped = 0;
    const CollisionAnswer answer{options.skipCollisions ? CollisionAnswer::SkipAll : CollisionAnswer::RenameAll, {}};
    const auto start = std::chrono::steady_clock::now();
    auto message = [&] {
        char text[200];
        std::snprintf(text, sizeof text, "Saved: %lld (%s) / %lld files (%s)", static_cast<long long>(savedFile.load()),
                      sizeWithUnit(savedSize).c_str(), static_cast<long long>(selectedFile),
                      sizeWithUnit(selectedSize).c_str());
        return std::string(text);
    };
    const bool ran = runWithProgress(
        [&] {
            module.startSavingWithSavingPath_withSavingFileCount_andSavingSize_boolForStop(
                options.destination, savedFile, savedSize, stop, [&](const std::string&) { return answer; }, &skipped);
        },
        [&] {
            // A selection under 100 bytes shows 100% once it is all written.
            const int64_t percent = selectedSize >= 100 ? savedSize / (selectedSize / 100)
                                                        : (savedSize >= selectedSize ? 100 : 0);
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
            const long long remaining = percent > 0 ? elapsed * (100 - percent) / percent : 0;
            std::fprintf(stderr, "Saving %3lld%%  elapsed %s  remaining %s  %s\n", static_cast<long long>(percent),
                         durationText(elapsed).c_str(), durationText(remaining).c_str(), message().c_str());
        },
        [&] { stop = true; });
    std::fprintf(stderr, "%s%s to %s\n", stop ? "Saving stopped. " : "", message().c_str(),
                 options.destination.c_str());
    if (skipped) std::fprintf(stderr, "%lld files skipped: their names were taken\n", static_cast<long long>(skipped));
    return ran && !stop && savedFile + skipped == selectedFile ? 0 : 5;
}

}  // namespace norix::cli
