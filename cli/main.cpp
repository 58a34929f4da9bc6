// norix: the command-line front end of the recovery engine.
#include <atomic>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/ConsoleDelegate.h"
#include "cli/DriveList.h"
#include "cli/PrintFilter.h"
#include "cli/Recover.h"
#include "cli/SessionCommands.h"
#include "cli/TreePrinter.h"
#include "cli/TypesCommand.h"
#include "cli/Usage.h"
#include "cli/Worker.h"
#include "disk/DiskArbitrator.h"
#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "scan/RecoveryModule.h"

namespace {

using namespace norix;

enum ExitCode { kDone = 0, kUsage = cli::kUsageExit, kCannotOpen = 3, kScanFailed = 4 };

const char* kUsageText =
    "usage: norix <command> [options]\n"
    "\n"
    "commands:\n"
    "  drives [--json]                    list the drives and volumes that can be scanned\n"
    "  scan SOURCE [--type Q|D] [--types EXT,...] [--threads N] [--json] [--session FILE] [FILTERS]\n"
    "                                     scan a device or disk-image file and print what was found\n"
    "                                     Q: quick scan of the file system, then deep scan\n"
    "                                     D: deep scan only (default when SOURCE has no known file system)\n"
    "                                     N: threads examining the deep scan's chunks (default: one a core)\n"
    "                                     --session FILE: also save the result as a recovery session; while\n"
    "                                     the deep scan runs, FILE.checkpoint beside it lets it be resumed\n"
    "                                     --types: carve only these file types (this run only)\n"
    "  scan SOURCE --resume FILE [--json] [FILTERS]\n"
    "                                     continue the deep scan of SOURCE that FILE.checkpoint recorded,\n"
    "                                     with its own scan type and file types, and save FILE at its end\n"
    "  session FILE.nxdrs [--json] [FILTERS]\n"
    "                                     print the tree saved in a recovery session\n"
    "  search SOURCE|FILE.nxdrs KEYWORD [FILTERS]\n"
    "                                     list every file and folder whose name contains KEYWORD\n"
    "                                     (any case), with its path\n"
    "  recover SOURCE --out DIR [--all] [--path SUBSTRING ...] [--deleted-only]\n"
    "          [--on-collision rename|skip] [--keep-duplicates] [--force] [--type Q|D] [--types EXT,...]\n"
    "                                     scan SOURCE and copy the chosen files into DIR (made if\n"
    "                                     missing), keeping their folders; --path picks files whose\n"
    "                                     path contains SUBSTRING (any case); existing names are renamed\n"
    "                                     \"name (1).ext\" unless --on-collision skip; a carved or Tags copy\n"
    "                                     of a file already chosen is skipped unless --keep-duplicates;\n"
    "                                     --force allows a DIR on the scanned device;\n"
    "                                     SOURCE may be a FILE.nxdrs: no scan, its device must be attached\n"
    "  types [--json]                     list the file types the deep scan carves ([x] ticked)\n"
    "  types select|unselect EXT...       tick or untick the file types of these extensions\n"
    "  types add --category C --name N --ext E --signature HEX --offset N --max-size N [--unit KB|MB|GB|TB]\n"
    "                                     add a file type of your own: up to 8 header bytes at an\n"
    "                                     offset of 0 to 512; it starts unticked\n"
    "  types remove EXT                   remove the (first) file type of this extension\n"
    "  types from-file FILE [--category C --name N ...]\n"
    "                                     add a file type from a sample file's first 8 bytes\n"
    "  help                               show this text\n"
    "\n"
    "FILTERS (what is printed; folders always are, files must pass each one given):\n"
    "  --filter Images|Audio|Video|Document|Email|Other   files of one category\n"
    "  --deleted, --existing              deleted or existing files (both: either)\n"
    "  --min-size N, --max-size N         files larger than N / of at most N bytes (units KB, MB, GB)\n"
    "\n"
    "The scanned source is only ever read. Ctrl-C stops a scan and still prints what was found\n"
    "(recover then saves nothing); a second Ctrl-C quits at once.\n"
    "exit codes: 0 done, 2 usage error or refused destination, 3 source cannot be opened,\n"
    "            4 scan failed or session damaged or not written, 5 some files (or the\n"
    "            file-type catalogue) could not be saved or were saved only in part,\n"
    "            130 stopped with Ctrl-C\n";

using cli::usageError;

// The data folder holds the scan log.
void prepareDataFolder() { makeFolderWithParents(dataFolder()); }

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
    std::optional<std::string> types;  // extensions to carve, comma-separated
    std::optional<unsigned> threads;   // examining the sweep's chunks
    bool json = false;
};

// Takes --threads N, a whole number of 1 or more; returns false on anything else.
bool takeThreadsOption(const std::vector<std::string>& args, size_t& i, ScanOptions& options, std::string& error) {
    const std::string value = i + 1 < args.size() ? args[i + 1] : "";
    unsigned threads = 0;
    const auto [end, failed] = std::from_chars(value.data(), value.data() + value.size(), threads);
    if (value.empty() || failed != std::errc() || end != value.data() + value.size() || threads == 0 ||
        threads > 1024) {
        error = "--threads takes a number of threads from 1 to 1024" + (value.empty() ? "" : ", not " + value);
        return false;
    }
    options.threads = threads;
    ++i;
    return true;
}

// Takes --type for every scanning command; returns false on a bad value.
bool takeTypeOption(const std::vector<std::string>& args, size_t& i, ScanOptions& options, std::string& error) {
    if (i + 1 == args.size() || (args[i + 1] != "Q" && args[i + 1] != "D")) {
        error = "--type takes Q or D";
        return false;
    }
    options.type = args[++i];
    return true;
}

// A source ready to scan: its disk, the device path every read uses, and the root name.
struct Source {
    std::shared_ptr<Disk> disk;
    std::string devicePath;
    std::string rootName;
};

std::optional<Source> openSource(const std::string& path) {
    std::string reason;
    auto disk = DiskArbitrator::diskForPath(path, &reason);
    if (!disk) {
        std::fprintf(stderr, "norix: %s\n", reason.c_str());
        return std::nullopt;
    }
    Source source{disk, disk->getBSDPath().value_or(path), ""};
    // Only a source that cannot be opened is refused: one whose first sector is unreadable
    // is still scanned, and the scan lists that sector.
    std::vector<uint8_t> probe(disk->getBlockSize() ? disk->getBlockSize() : 512);
    UnreadableRanges unreadable(static_cast<uint32_t>(probe.size()));
    if (auto readError = DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            0, static_cast<uint32_t>(probe.size()), source.devicePath, probe, 1, &unreadable)) {
        std::fprintf(stderr, "norix: %s: %s\n", source.devicePath.c_str(), readError->localizedDescription().c_str());
        return std::nullopt;
    }
    source.rootName = disk->isImageFile() ? std::filesystem::path(source.devicePath).filename().string()
                                          : driveLabelFor(*disk);
    return source;
}

// The file system on the source when it is one whose files the quick scan cannot list,
// named as its users know it ("NTFS", "ext4").
std::optional<std::string> unreadFileSystem(const Disk& disk) {
    const auto kind = disk.getVolumeKind();
    if (!kind || kind->empty() || isKnownVolumeKind(kind)) return std::nullopt;
    static const std::map<std::string, std::string> kNames{
        {"ntfs", "NTFS"}, {"xfs", "XFS"}, {"btrfs", "Btrfs"}, {"crypto_LUKS", "LUKS"}};
    const auto name = kNames.find(*kind);
    return name == kNames.end() ? *kind : name->second;
}

// Scans the source; the module holds the tree afterwards. False when the scan failed.
// Carves the ticked file types unless given other checkers. resume: the module holds a
// checkpoint of this source's scan, which is continued.
bool scanSource(const Source& source, const std::optional<std::string>& type, RecoveryModule& module,
                std::optional<SelectedSigArray> checkers = std::nullopt, bool resume = false) {
    std::string unused;
    if (!checkers) checkers = cli::checkersForScan(std::nullopt, unused);
    std::string scanType = type.value_or(isKnownVolumeKind(source.disk->getVolumeKind()) ? "Q" : "D");
    // Its metadata would give an empty quick scan: only the sweep is run, and said why.
    if (const auto other = unreadFileSystem(*source.disk)) {
        std::fprintf(stderr, "%s volume: its files are not listed; the deep scan still finds files by their contents\n",
                     other->c_str());
        scanType = "D";
    }
    prepareDataFolder();
    cli::ConsoleDelegate console(stderr);
    module.setDel(&console);
    if (resume) module.setDiskPathWithString(source.devicePath);
    else module.setDiskPathWithString_withRootName(source.devicePath, source.rootName);
    // How often the deep scan's checkpoint is written (milliseconds), for tests.
    if (const char* interval = std::getenv("NORIX_CHECKPOINT_MS"))
        module.checkpointInterval = std::chrono::milliseconds(std::strtoll(interval, nullptr, 10));
    const bool ok = cli::runWithProgress(
        [&] {
            module.setTheDiskInModule(source.disk);
            module.setFileCheckArray(std::move(*checkers));
            if (resume) module.resumeFromDisk(source.disk);
            else
                module.recoverFromDisk_withScantType_andName_selectedPath(source.disk, scanType, source.rootName,
                                                                         std::nullopt);
        },
        [&] { console.showProgress(module); }, [&] { module.setStop(true); });
    module.setDel(nullptr);
    if (ok) console.finish(module);
    return ok;
}

// The checkpoint beside the session FILE read into the module, checked to be of the
// source; its scan type and carved types come back in options. Nothing when ready, else
// the exit code.
std::optional<int> loadCheckpointFor(const Source& source, const std::string& sessionPath, RecoveryModule& module,
                                     ScanOptions& options) {
    const std::string path = checkpointPathFor(sessionPath);
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "norix: %s: no checkpoint to resume (%s)\n", path.c_str(), std::strerror(errno));
        return kCannotOpen;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    CheckpointHeader header;
    if (const auto damaged = file.bad() ? "it cannot be read" : module.loadCheckpoint(ByteView(bytes), header)) {
        std::fprintf(stderr, "norix: %s: %s; it is left as it is\n", path.c_str(), damaged->c_str());
        return kScanFailed;
    }
    if (const auto refusal = RecoveryModule::checkpointRefusal(header, *source.disk, source.devicePath)) {
        std::fprintf(stderr, "norix: %s: %s; not resumed\n", path.c_str(), refusal->c_str());
        return kUsage;
    }
    options.type = header.scanType;
    if (header.note.starts_with("types=")) options.types = header.note.substr(6);
    return std::nullopt;
}

int scanCommand(const std::vector<std::string>& args) {
    ScanOptions options;
    std::optional<std::string> sessionPath, resumePath;
    cli::PrintFilter filter;
    std::string error;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--json") options.json = true;
        else if (arg == "--session" || arg == "--types" || arg == "--resume") {
            const bool types = arg == "--types";
            if (i + 1 == args.size())
                return usageError("scan: " + arg + " takes " + (types ? "a list of extensions, e.g. jpg,png" : "a FILE"));
            (types ? options.types : arg == "--session" ? sessionPath : resumePath) = args[++i];
        } else if (filter.takeOption(args, i, error)) continue;
        else if (!error.empty()) return usageError("scan: " + error);
        else if (arg == "--type") {
            if (!takeTypeOption(args, i, options, error)) return usageError("scan: " + error);
        } else if (arg == "--threads") {
            if (!takeThreadsOption(args, i, options, error)) return usageError("scan: " + error);
        } else if (arg.starts_with("--")) return usageError("scan: unknown option " + arg);
        else if (options.source.empty()) options.source = arg;
        else return usageError("scan: only one SOURCE may be given");
    }
    if (options.source.empty()) return usageError("scan: SOURCE is missing");
    if (auto alert = filter.finish()) return usageError("scan: " + *alert);
    if (resumePath && (sessionPath || options.type || options.types))
        return usageError("scan: --resume continues with the checkpoint's own scan type, types and session");

    const auto source = openSource(options.source);
    if (!source) return kCannotOpen;
    RecoveryModule module;
    if (resumePath) {
        if (const auto failed = loadCheckpointFor(*source, *resumePath, module, options)) return *failed;
        sessionPath = resumePath;
    }
    if (options.threads) module.examinerThreads = *options.threads;
    auto checkers = cli::checkersForScan(options.types, error);
    if (!checkers) return usageError("scan: --types: " + error);
    if (sessionPath && cli::destinationOnSource(*sessionPath, source->devicePath))
        std::fprintf(stderr, "norix: the session is on the scanned drive: no checkpoint is kept\n");
    else if (sessionPath) {
        module.checkpointPath = checkpointPathFor(*sessionPath);
        if (options.types) module.checkpointNote = "types=" + *options.types;
    }
    if (!scanSource(*source, options.type, module, std::move(checkers), resumePath.has_value())) return kScanFailed;
    const bool sessionWritten = !sessionPath || cli::writeSession(module, *sessionPath);
    // A finished scan saved in its session needs its checkpoint no more.
    std::error_code ignored;
    if (sessionPath && sessionWritten && !module.isStopped())
        std::filesystem::remove(checkpointPathFor(*sessionPath), ignored);

    std::shared_lock lock(module.treeLock());
    const auto listed = [&](const BaseTree& node) { return filter.listed(node); };
    if (options.json) cli::printTreeJson(*module.dirRoot(), stdout, listed);
    else cli::printTreeText(*module.dirRoot(), stdout, listed);
    if (module.isStopped()) return cli::kInterruptedExit;
    return sessionWritten ? kDone : kScanFailed;
}

int recoverCommand(const std::vector<std::string>& args) {
    ScanOptions scanOptions;
    cli::RecoverOptions options;
    std::string error;
    // What each option that takes a value takes, for the message when it is missing.
    const std::map<std::string, std::string> valueOf{{"--out", "a folder DIR"},
                                                     {"--path", "a SUBSTRING of the paths to recover"},
                                                     {"--on-collision", "rename or skip"},
                                                     {"--types", "a list of extensions, e.g. jpg,png"}};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (const auto takes = valueOf.find(arg); takes != valueOf.end() && i + 1 == args.size())
            return usageError("recover: " + arg + " takes " + takes->second);
        if (arg == "--out") options.destination = args[++i];
        else if (arg == "--all") options.all = true;
        else if (arg == "--path") options.paths.push_back(args[++i]);
        else if (arg == "--deleted-only") options.deletedOnly = true;
        else if (arg == "--force") options.force = true;
        else if (arg == "--keep-duplicates") options.keepDuplicates = true;
        else if (arg == "--on-collision") {
            if (args[i + 1] != "rename" && args[i + 1] != "skip")
                return usageError("recover: --on-collision takes rename or skip, not " + args[i + 1]);
            options.skipCollisions = args[++i] == "skip";
        } else if (arg == "--type") {
            if (!takeTypeOption(args, i, scanOptions, error)) return usageError("recover: " + error);
        } else if (arg == "--types") scanOptions.types = args[++i];
        else if (arg.starts_with("--")) return usageError("recover: unknown option " + arg);
        else if (scanOptions.source.empty()) scanOptions.source = arg;
        else return usageError("recover: only one SOURCE may be given");
    }
    if (scanOptions.source.empty()) return usageError("recover: SOURCE is missing");
    if (options.destination.empty()) return usageError("recover: --out DIR is missing");
    if (!options.all && options.paths.empty() && !options.deletedOnly)
        return usageError("recover: say what to recover: --all, --path SUBSTRING or --deleted-only");
    auto checkers = cli::checkersForScan(scanOptions.types, error);
    if (!checkers) return usageError("recover: --types: " + error);

    const auto refusedDestination = [&](const std::string& devicePath) {
        if (options.force || !cli::destinationOnSource(options.destination, devicePath)) return false;
        std::fprintf(stderr, "norix: %s\n(use --force to save there anyway)\n", cli::kSameDriveMessage);
        return true;
    };
    RecoveryModule module;
    if (cli::isSessionFile(scanOptions.source)) {
        // A saved session needs no scan: its tree is loaded and its device looked for.
        bool damaged = false;
        if (const auto failed = cli::openSessionForSaving(scanOptions.source, module, damaged)) return *failed;
        if (refusedDestination(module.diskPath()) || !cli::prepareDestination(options.destination)) return kUsage;
        const int code = cli::recoverChecked(module, options);
        // What a damaged session held is saved; the damage is still reported.
        return damaged && code == kDone ? kScanFailed : code;
    }
    const auto source = openSource(scanOptions.source);
    if (!source) return kCannotOpen;
    // The destination is settled before the scan, which may take hours.
    if (refusedDestination(source->devicePath) || !cli::prepareDestination(options.destination)) return kUsage;
    if (!scanSource(*source, scanOptions.type, module, std::move(checkers))) return kScanFailed;
    if (module.isStopped()) {
        std::fprintf(stderr, "norix: the scan was stopped; nothing was saved\n");
        return cli::kInterruptedExit;
    }
    return cli::recoverChecked(module, options);
}

}  // namespace

int main(int argc, char** argv) {
    settleTimeZone();
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
    if (command == "recover") return recoverCommand(args);
    if (command == "types") return cli::typesCommand(args, usageError);
    if (command == "session") return cli::sessionCommand(args);
    if (command == "search")
        return cli::searchCommand(args, [](const std::string& path, RecoveryModule& module) {
            const auto source = openSource(path);
            if (!source) return static_cast<int>(kCannotOpen);
            return static_cast<int>(scanSource(*source, std::nullopt, module) ? kDone : kScanFailed);
        });
    return usageError("unknown command " + command);
}
