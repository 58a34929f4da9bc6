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
    bool keepDuplicates = false;  // also save carved and "Tags" copies of files already chosen
    bool force = false;
};

inline constexpr const char* kSameDriveMessage =
    "You are trying to save data on the same partition/drive from which you are recovering data. To avoid data "
    "loss, it is highly advisable to save recovered data on a different drive or partition";

// True when the scanned source is a block device and the destination lies on it (on
// that device, or on a partition of it when it is a whole disk). Writing beside an
// image file cannot overwrite it.
bool destinationOnSource(const std::string& destination, const std::string& devicePath);

// Creates the destination with its parents; says why on stderr and returns false when
// it is not a folder that can be written to.
bool prepareDestination(const std::string& destination);

// Checks the chosen files in the scanned tree and saves them, showing progress; a
// carved or "Tags" copy of a file already chosen is left out unless keepDuplicates.
// Returns the exit code: 0 all saved, 2 nothing chosen, 5 something not saved or saved in part.
int recoverChecked(RecoveryModule& module, const RecoverOptions& options);

}  // namespace norix::cli
