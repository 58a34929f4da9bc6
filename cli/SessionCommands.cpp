#include "cli/SessionCommands.h"

#include <cstdio>
#include <filesystem>

#include "cli/Escape.h"
#include "cli/PrintFilter.h"
#include "cli/TreePrinter.h"
#include "cli/Usage.h"
#include "cli/Worker.h"
#include "disk/DiskArbitrator.h"
#include "results/RecoverySession.h"

namespace norix::cli {

namespace {

// The exit codes of the norix command.
enum ExitCode { kDone = 0, kCannotOpen = 3, kFailed = 4 };

// A session and what the loading said about it, on stderr. Nothing when not even its
// root could be read.
std::optional<LoadedSession> loadSession(const std::string& path) {
    LoadedSession session = RecoverySession::loadRecoverySessionFromPath(path);
    if (!session.dirRoot) {
        std::fprintf(stderr, "norix: %s\n", session.error.value_or("no tree").c_str());
        return std::nullopt;
    }
    const SessionHeader& header = session.header;
    std::fprintf(stderr, "Recovery Session Loaded: %s (scan %s%s)\n", terminalSafe(session.bsdPath).c_str(),
                 header.scanAborted ? "aborted" : header.scanCompleted ? "completed" : "not completed",
                 header.isSpecialScan ? ", folder scan" : "");
    if (session.error) std::fprintf(stderr, "norix: %s; what came before it is kept\n", session.error->c_str());
    return session;
}

}  // namespace

bool isSessionFile(const std::string& path) {
    return std::filesystem::path(path).extension() == std::string(".") + RecoverySession::kExtension;
}

bool writeSession(const RecoveryModule& module, const std::string& path) {
    const SessionHeader header{1, static_cast<uint8_t>(module.isStopped() ? 1 : 0), 0};
    std::string device = module.diskPath();
    // A relative image path would name another file once the session is opened elsewhere.
    if (!device.empty() && device.front() != '/') device = std::filesystem::absolute(device).string();
    if (auto error = RecoverySession::saveRecoverySessionAtPath(path, header, device, *module.dirRoot(),
                                                                module.treeLock())) {
        std::fprintf(stderr, "norix: %s\n", error->c_str());
        return false;
    }
    std::fprintf(stderr, "Recovery session saved: %s\n", path.c_str());
    return true;
}

std::optional<int> openSessionForSaving(const std::string& path, RecoveryModule& module, bool& damaged) {
    auto session = loadSession(path);
    if (!session) return kCannotOpen;
    damaged = session->error.has_value();
    std::string device = session->bsdPath;
    // An APFS session names the container, which is not matched by name.
    if (session->dirRoot->entry != kApfs) {
        auto manager = DiskArbitrator().getDiskManager();
        const auto found = RecoverySession::checkForScannedDrive(
            *session, manager ? manager->getTheDisksArray() : std::vector<std::shared_ptr<Disk>>{});
        if (!found) {
            std::fprintf(stderr, "norix: %s\n", kDiskNotConnectedMessage);
            return kCannotOpen;
        }
        if (*found != device) std::fprintf(stderr, "The scanned drive is now %s\n", found->c_str());
        device = *found;
    }
    module.adoptRecoverySession(std::move(session->dirRoot), device);
    return std::nullopt;
}

int sessionCommand(const std::vector<std::string>& args) {
    const std::string command = "session: ";
    std::string file, error;
    bool json = false;
    PrintFilter filter;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") json = true;
        else if (filter.takeOption(args, i, error)) continue;
        else if (!error.empty()) return usageError(command + error);
        else if (args[i].starts_with("--")) return usageError(command + "unknown option " + args[i]);
        else if (file.empty()) file = args[i];
        else return usageError(command + "only one FILE may be given");
    }
    if (file.empty()) return usageError(command + "FILE is missing");
    if (auto alert = filter.finish()) return usageError(command + *alert);

    const auto session = loadSession(file);
    if (!session) return kCannotOpen;
    const auto listed = [&](const BaseTree& node) { return filter.listed(node); };
    if (json) printTreeJson(*session->dirRoot, stdout, listed);
    else printTreeText(*session->dirRoot, stdout, listed);
    return session->error ? kFailed : kDone;
}

int searchCommand(const std::vector<std::string>& args, const ScanInto& scan) {
    const std::string command = "search: ";
    std::vector<std::string> positional;
    std::string error;
    PrintFilter filter;
    for (size_t i = 0; i < args.size(); ++i) {
        if (filter.takeOption(args, i, error)) continue;
        if (!error.empty()) return usageError(command + error);
        if (args[i].starts_with("--")) return usageError(command + "unknown option " + args[i]);
        positional.push_back(args[i]);
    }
    if (positional.size() != 2 || positional[1].empty()) return usageError(command + "give one SOURCE and one KEYWORD");
    if (auto alert = filter.finish()) return usageError(command + *alert);

    RecoveryModule module;
    bool damaged = false;
    if (isSessionFile(positional[0])) {
        auto session = loadSession(positional[0]);
        if (!session) return kCannotOpen;
        damaged = session->error.has_value();
        module.adoptRecoverySession(std::move(session->dirRoot), session->bsdPath);
    } else if (const int code = scan(positional[0], module); code != kDone) {
        return code;
    }
    const auto result = module.startSearch_andFlag(positional[1], std::make_shared<std::atomic<bool>>(true));
    std::shared_lock lock(module.treeLock());
    size_t shown = 0;
    for (const BaseTree* match : result->matches()) {
        if (!filter.listed(*match)) continue;
        std::printf("%s%s\n", terminalSafe(match->description()).c_str(), match->fileType == 1 ? "/" : "");
        ++shown;
    }
    std::fprintf(stderr, "%zu found\n", shown);
    if (module.isStopped()) return kInterruptedExit;
    return damaged ? kFailed : kDone;
}

}  // namespace norix::cli
