#pragma once
// A checkpoint of a deep scan in progress, kept beside its session file so a sweep cut
// short (a stop, a crash, a pulled cable) continues where it was instead of starting
// over. It is replaced whole each time (written to a temporary file in the same folder,
// synced, then renamed over the old one), never written to the scanned device.
//
// File layout. Integers are little-endian.
//   0   8   "NXCKPT01"
//   8   u64 P, the payload's length
//   16  u64 the FNV-1a hash of the payload
//   24  P   the payload: the header below, the tree (node records of a recovery session,
//           in pre-order, then what a session does not keep of each node), then what
//           the sweep carries from one chunk to the next (see RecoveryModule::checkpointState)
#include <cstdint>
#include <optional>
#include <string>

#include "disk/ByteView.h"

namespace norix {

struct CheckpointHeader {
    std::string devicePath;
    uint64_t deviceBytes = 0;
    uint64_t identity = 0;  // deviceIdentity() of the device when the scan began
    std::string scanType;   // "Q" or "D"
    std::string note;       // the caller's own (the command line keeps the carved types)
    uint64_t nextBlock = 0;  // the 4 KiB block the sweep reads next
};

// FILE.nxdrs -> FILE.nxdrs.checkpoint
std::string checkpointPathFor(const std::string& sessionPath);

// The FNV-1a hash of the device's first 64 KiB (what cannot be read counts as zeros):
// tells another device of the same size and path apart.
uint64_t deviceIdentity(const std::string& devicePath, uint64_t deviceBytes);

// The FNV-1a hash of bytes.
uint64_t checkpointHash(ByteView bytes);

// Replaces the file at path with bytes: a temporary file in the same folder, synced and
// renamed over it. Nothing on success, else why not.
std::optional<std::string> replaceFileAtomically(const std::string& path, ByteView bytes);

}  // namespace norix
