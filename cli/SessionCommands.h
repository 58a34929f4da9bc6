#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "scan/RecoveryModule.h"

namespace norix::cli {

// A path naming a recovery session rather than a device or disk image.
bool isSessionFile(const std::string& path);

// Writes the scanned tree as a recovery session; says why on stderr and returns false
// when it cannot.
bool writeSession(const RecoveryModule& module, const std::string& path);

// Loads a session into the module to save files from it, once its device is found
// attached. Nothing when ready, else the exit code; damaged tells that the session
// was cut short or damaged and only what came before the damage was loaded.
std::optional<int> openSessionForSaving(const std::string& path, RecoveryModule& module, bool& damaged);

// norix session FILE [--json] [filters]
int sessionCommand(const std::vector<std::string>& args);

// Scans a source into the module; the exit code (0 when done).
using ScanInto = std::function<int(const std::string& source, RecoveryModule& module)>;
// norix search SOURCE|FILE.nxdrs KEYWORD [filters]
int searchCommand(const std::vector<std::string>& args, const ScanInto& scan);

}  // namespace norix::cli
