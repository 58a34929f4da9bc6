// norix: the command-line front end of the recovery engine.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/ConsoleDelegate.h"
#include "cli/DriveList.h"
#include "cli/TreePrinter.h"
#include "disk/DiskArbitrator.h"
#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "scan/RecoveryModule.h"

namespace {

using namespace norix;

enum ExitCode { kDone = 0, kUsage = 2, kCannotOpen = 3, kScanFailed = 4 };

const char* kUsageText =
    "usage: norix <command> [options]\n"
    "\n"
    "commands:\n"
    "  drives [--json]                    list the drives and volumes that can be scanned\n"
    "  scan SOURCE [--type Q|D] [--json]  scan a device or disk-image file and print what was found\n"
    "                                     Q: quick scan of the file system, then deep scan\n"
    "                                     D: deep scan only (default when SOURCE has no known file system)\n"
    "  help                               show this text\n"
    "\n"
    "The scanned source is only ever read. Ctrl-C stops a scan and still prints what was found.\n"
    "exit codes: 0 done, 2 usage error, 3 source cannot be opened, 4 scan failed\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "norix: %s\n\n%s", message.c_str(), kUsageText);
    return kUsage;
}

std::atomic<bool> interrupted{false};
extern "C" void onInterrupt(int) { interrupted = true; }

// The data folder holds the scan log; its parents are made one level at a time.
void prepareDataFolder() {
    std::filesystem::path partial;
    for (const auto& part : std::filesystem::path(dataFolder())) {
        partial /= part;
        makeFolder(partial.string());
    }
}

int drivesCommand(const std::vector<std::string>& args) {
    bool json = false;
    for (const auto& arg : args) {
        if (arg == "--json") json = true;
        else return usageError("drives: unknown option " + arg);
    }
    auto manager = DiskArbitrator().getDiskManager();
    if (!manager) {
        std::fprintf(stderr, "norix: the drive catalogue could not be read\n");
        return kScanFailed;
    }
    cli::printDrives(*manager, json, stdout);
    return kDone;
}

struct ScanOptions {
    std::string source;
    std::optional<std::string> type;
    bool json = false;
};

std::optional<ScanOptions> parseScan(const std::vector<std::string>& args, std::string& error) {
    ScanOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--type") {
            if (i + 1 == args.size() || (args[i + 1] != "Q" && args[i + 1] != "D")) {
                error = "scan: --type takes Q or D";
                return std::nullopt;
            }
            options.type = args[++i];
        } else if (arg.starts_with("--")) {
            error = "scan: unknown option " + arg;
            return std::nullopt;
        } else if (options.source.empty()) {
            options.source = arg;
        } else {
            error = "scan: only one SOURCE may be given";
            return std::nullopt;
        }
    }
    if (options.source.empty()) {
        error = "scan: SOURCE is missing";
        return std::nullopt;
    }
    return options;
}

int scanCommand(const std::vector<std::string>& args) {
    std::string error;
    auto options = parseScan(args, error);
    if (!options) return usageError(error);

    std::string reason;
    auto disk = DiskArbitrator::diskForPath(options->source, &reason);
    if (!disk) {
        std::fprintf(stderr, "norix: %s\n", reason.c_str());
        return kCannotOpen;
    }
    const std::string devicePath = disk->getBSDPath().value_or(options->source);
    std::vector<uint8_t> probe(disk->getBlockSize() ? disk->getBlockSize() : 512);
    if (auto readError = DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            0, static_cast<uint32_t>(probe.size()), devicePath, probe, 1)) {
        std::fprintf(stderr, "norix: %s: %s\n", devicePath.c_str(), readError->localizedDescription().c_str());
        return kCannotOpen;
    }

    const std::string scanType = options->type.value_or(isKnownVolumeKind(disk->getVolumeKind()) ? "Q" : "D");
    const std::string rootName =
        disk->isImageFile() ? std::filesystem::path(devicePath).filename().string() : driveLabelFor(*disk);

    prepareDataFolder();
    RecoveryModule module;
    cli::ConsoleDelegate console(stderr);
    module.setDel(&console);
    module.setDiskPathWithString_withRootName(devicePath, rootName);

    std::atomic<bool> finished{false}, failed{false};
    std::thread worker([&] {
        try {
            module.setTheDiskInModule(disk);
            module.setFileCheckArray({});
            module.recoverFromDisk_withScantType_andName_selectedPath(disk, scanType, rootName, std::nullopt);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "norix: scan failed: %s\n", e.what());
            failed = true;
        }
        finished = true;
    });

    std::signal(SIGINT, onInterrupt);
    auto nextReport = std::chrono::steady_clock::now();
    while (!finished) {
        if (interrupted && !module.isStopped()) module.setStop(true);
        if (std::chrono::steady_clock::now() >= nextReport) {
            console.showProgress(module);
            nextReport += std::chrono::seconds(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    worker.join();
    std::signal(SIGINT, SIG_DFL);
    if (failed) return kScanFailed;
    console.finish(module);

    std::shared_lock lock(module.treeLock());
    if (options->json) cli::printTreeJson(*module.dirRoot(), stdout);
    else cli::printTreeText(*module.dirRoot(), stdout);
    return kDone;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usageError("a command is missing");
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "help" || command == "--help" || command == "-h") {
        std::fputs(kUsageText, stdout);
        return kDone;
    }
    if (command == "drives") return drivesCommand(args);
    if (command == "scan") return scanCommand(args);
    return usageError("unknown command " + command);
}
