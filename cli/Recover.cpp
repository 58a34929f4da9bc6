#include "cli/Recover.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <unordered_set>

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

// Where a file's data begins on the device, in bytes; nothing for a file without data
// or with a position past what 64 bits hold.
std::optional<uint64_t> dataStart(const BaseTree& file) {
    if (file.dataExtArray.empty() || file.fileSize == 0) return std::nullopt;
    const uint64_t startBlock = file.dataExtArray.front().startBlock;
    uint64_t start = 0;
    bool overflows;
    if (file.entry == 6)  // a raw JPEG's extent starts that many bytes into its first unit
        overflows = __builtin_mul_overflow(file.blocksStartsAtSector, file.blockSize, &start) ||
                    __builtin_add_overflow(start, startBlock, &start);
    else
        overflows = __builtin_add_overflow(file.blocksStartsAtSector, startBlock, &start) ||
                    __builtin_mul_overflow(start, file.blockSize, &start);
    if (overflows) return std::nullopt;
    return start;
}

struct Chosen {
    int64_t files = 0, bytes = 0, duplicates = 0;
};

// Checks the chosen files. A file carved by its header or listed again under "Tags"
// whose data starts where a file already chosen starts is the same file once more:
// it is left out (and counted) unless every copy is wanted, so each file is saved
// once, under its file-system name and folder when it has one.
Chosen checkChosenFiles(RecoveryModule& module, const RecoverOptions& options) {
    std::vector<std::string> wanted;
    for (const auto& path : options.paths) wanted.push_back(lowerCased(path));
    std::unordered_set<const BaseTree*> copyBranches;
    if (const BaseTree* deep = module.deepNode(); deep && deep->fileName == kDeepScan)
        for (const auto& branch : deep->childrenArray)
            if (branch->fileName == kLostAndFound || branch->fileName == kTags)
                copyBranches.insert(branch.get());

    std::vector<BaseTree*> chosen, copies;  // each in the tree's order
    std::vector<std::pair<BaseTree*, bool>> pending{{module.dirRoot(), false}};
    while (!pending.empty()) {
        auto [node, inCopies] = pending.back();
        pending.pop_back();
        inCopies = inCopies || copyBranches.contains(node);
        for (auto it = node->childrenArray.rbegin(); it != node->childrenArray.rend(); ++it)
            pending.emplace_back(it->get(), inCopies);
        if (node->fileType != 2 || (options.deletedOnly && !node->deleted)) continue;
        const std::string full = lowerCased(node->pathName + "/" + node->fileName);
        const bool matches = options.all || wanted.empty() ||
                             std::any_of(wanted.begin(), wanted.end(),
                                         [&](const std::string& w) { return full.find(w) != std::string::npos; });
        if (matches) (inCopies ? copies : chosen).push_back(node);
    }
    Chosen result;
    std::unordered_set<uint64_t> starts;
    for (const BaseTree* file : chosen)
        if (const auto start = dataStart(*file)) starts.insert(*start);
    for (BaseTree* copy : copies) {
        const auto start = dataStart(*copy);
        if (!options.keepDuplicates && start && !starts.insert(*start).second) ++result.duplicates;
        else chosen.push_back(copy);
    }
    for (BaseTree* file : chosen) {
        file->checked_withFileCount_andfileSize(true, result.files, result.bytes);
        file->setSelectedForParent();
    }
    return result;
}

}  // namespace

bool destinationOnSource(const std::string& destination, const std::string& devicePath) {
    struct stat dest {}, source {};
    if (::stat(nearestExisting(destination).c_str(), &dest) != 0 || ::stat(devicePath.c_str(), &source) != 0 ||
        !S_ISBLK(source.st_mode))
        return false;
    return dest.st_dev == source.st_rdev || wholeDiskOf(dest.st_dev) == source.st_rdev;
}

bool prepareDestination(const std::string& destination) {
    std::error_code error;
    fs::create_directories(destination, error);
    if (!error && !fs::is_directory(destination, error)) error = std::make_error_code(std::errc::not_a_directory);
    if (!error && ::access(destination.c_str(), W_OK | X_OK) != 0)
        error = std::error_code(errno, std::generic_category());
    if (!error) return true;
    std::fprintf(stderr, "norix: cannot save into %s: %s\n", destination.c_str(), error.message().c_str());
    return false;
}

int recoverChecked(RecoveryModule& module, const RecoverOptions& options) {
    Chosen chosen;
    {
        std::unique_lock lock(module.treeLock());
        chosen = checkChosenFiles(module, options);
    }
    const int64_t selectedFile = chosen.files, selectedSize = chosen.bytes;
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
    SaveReport report;
    const CollisionAnswer answer{options.skipCollisions ? CollisionAnswer::SkipAll : CollisionAnswer::RenameAll, {}};
    const auto start = std::chrono::steady_clock::now();
    auto message = [&] {
        char text[200];
        std::snprintf(text, sizeof text, "Saved: %lld (%s) / %lld files (%s)", static_cast<long long>(savedFile.load()),
                      sizeWithUnit(savedSize).c_str(), static_cast<long long>(selectedFile),
                      sizeWithUnit(selectedSize).c_str());
        return std::string(text);
    };
    ProgressLine progress(stderr);
    bool progressShown = false;
    const bool ran = runWithProgress(
        [&] {
            report = module.startSavingWithSavingPath_withSavingFileCount_andSavingSize_boolForStop(
                options.destination, savedFile, savedSize, stop, [&](const std::string&) { return answer; });
        },
        [&] {
            // A selection under 100 bytes shows 100% once it is all written.
            const int64_t percent = selectedSize >= 100 ? savedSize / (selectedSize / 100)
                                                        : (savedSize >= selectedSize ? 100 : 0);
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
            const long long remaining = percent > 0 ? elapsed * (100 - percent) / percent : 0;
            char text[300];
            std::snprintf(text, sizeof text, "Saving %3lld%%  elapsed %s  remaining %s  %s",
                          static_cast<long long>(percent), durationText(elapsed).c_str(),
                          durationText(remaining).c_str(), message().c_str());
            progress.show(text);
            progressShown = true;
        },
        [&] { stop = true; });
    if (progress.terminal() && progressShown) std::fputc('\n', stderr);
    const char* stopped = stop                     ? "Saving stopped. "
                          : report.destinationFull ? "Saving stopped: the destination is full. "
                                                   : "";
    std::fprintf(stderr, "%s%s to %s\n", stopped, message().c_str(), options.destination.c_str());
    for (const std::string& path : report.cutShort) std::fprintf(stderr, "Cut short and removed: %s\n", path.c_str());
    if (!report.unreadable.empty())
        std::fprintf(stderr, "%zu files saved in part: the device could not read all of them, zeros stand in\n",
                     report.unreadable.size());
    for (const auto& file : report.unreadable)
        std::fprintf(stderr, "Saved in part: %s (%s lost)\n", file.path.c_str(), byteRangesText(file.lost).c_str());
    if (report.skipped)
        std::fprintf(stderr, "%lld files skipped: their names were taken\n", static_cast<long long>(report.skipped));
    if (chosen.duplicates)
        std::fprintf(stderr, "%lld duplicates skipped: copies whose data starts where a file already saved starts "
                     "(--keep-duplicates saves them)\n",
                     static_cast<long long>(chosen.duplicates));
    return ran && !stop && savedFile + report.skipped == selectedFile ? 0 : 5;
}

}  // namespace norix::cli
