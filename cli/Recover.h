#pragma once
#include <string>
#include <vector>

#include "scan/RecoveryModule.h"

namespace norix::cli {

struct RecoverOptions {
    std::string destination;
    bool all = false;
    std::vector<std::string> paths;  // substrings of "path/name", any case
    bool deletedOnly = false;
    bool skipCollisions = false;
    bool force = false;
};

inline constexpr const char* kSameDriveMessage =
    "You are trying to save data on the same partition/drive from which you are recovering data. To avoid data "
    "loss, it is highly advisable to save recovered data on a different drive or partition";

// True when the destination lies on the scanned device: the same file system as an
// image file, or a file system on the scanned block device (or one of its partitions).
bool destinationOnSource(const std::string& destination, const std::string& devicePath);

// Checks the chosen files in the scanned tree and saves them, showing progress.
// Returns the exit code: 0 all saved, 2 nothing chosen, 5 something not saved.
int recoverChecked(RecoveryModule& module, const RecoverOptions& options);

}  // namespace norix::cli
