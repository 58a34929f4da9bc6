#pragma once
// A recovery session: the scanned device and the whole result tree, kept in a file so
// the results can be browsed and saved later without scanning again.
//
// File layout (".nxdrs"). Integers are big-endian; strings are UTF-16 big-endian code
// units without a terminator, preceded by their length in code units. No magic number,
// version or checksum; the file ends after the last record.
//   0     u8    scan completed (1 once the scan has ended)
//   1     u8    scan aborted (stopped by the user or by the removal of its disk)
//   2     u8    special scan (1 when the scan covered a chosen folder)
//   3     u16   L, the device path's length
//   5     2L    the device path
//   5+2L        the root's record, then its descendants in pre-order: after a folder's
//               record (file type 1) come its C children, each followed by its own
//               descendants; nothing follows a file's record.
// Node record, offsets within it:
//   0 u8 entry    1 u8 deleted    2 u16 N (name length)    4 u16 P (path length)
//   6 u16 fileType (1 folder, 2 file)
//   8 u32 SPC   12 createDate   16 modDate   20 parentID   24 fileID   28 fileCount
//   32 folderCount   36 childrenCount   40 C (entries of childrenArray)   44 clustToRead
//   48 blockSize   52 E (extents)
//   56 u64 fileSize   64 u64 blocksStartsAtSector
//   72 2N name, then 2P path, then E extents of 8 bytes (start block, block count)
// Check marks, scan states, sector ranges and previews are not stored: a loaded tree
// starts with nothing checked.

#include <ctime>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <vector>

#include "disk/ByteView.h"
#include "disk/Disk.h"
#include "results/BaseTree.h"

namespace norix {

struct SessionHeader {
    uint8_t scanCompleted = 0;
    uint8_t scanAborted = 0;
    uint8_t isSpecialScan = 0;
};

struct LoadedSession {
    SessionHeader header;
    std::string bsdPath;
    // The tree, or as much of it as came before the damage; nothing when not even the
    // root's record could be read.
    std::unique_ptr<BaseTree> dirRoot;
    // Why the file was not read to its end; nothing when it was.
    std::optional<std::string> error;
};

// Window 122: the session's device is not attached.
inline constexpr const char* kDiskNotConnectedTitle = "Alert";
inline constexpr const char* kDiskNotConnectedMessage = "Please check the desired disk is connected or not";

class RecoverySession {
public:
    static constexpr const char* kExtension = "nxdrs";

    // "Recover Session MM-dd-yyyyTHH:mm:ss.nxdrs" of the local time.
    static std::string defaultFileName(std::time_t now);
    // Where the sessions written at the end of each scan go, in the documents folder.
    static std::string sessionFolder();

    // Writes the session to a file, emptied first. The tree lock is held for reading
    // while the tree is walked. Nothing on success, else why it failed (also logged).
    static std::optional<std::string> saveRecoverySessionAtPath(const std::string& path, const SessionHeader& header,
                                                                const std::string& bsdPath, const BaseTree& root,
                                                                std::shared_mutex& treeLock);
    // The same into an open file, from its current offset.
    static std::optional<std::string> saveRecoverySessionInHandle(int handle, const SessionHeader& header,
                                                                  const std::string& bsdPath, const BaseTree& root,
                                                                  std::shared_mutex& treeLock);
    // The end-of-scan save: sessionFolder() (made when missing, one level only) plus
    // defaultFileName(now).
    static std::optional<std::string> saveRecoverySessionInDocument(const SessionHeader& header,
                                                                    const std::string& bsdPath, const BaseTree& root,
                                                                    std::shared_mutex& treeLock, std::time_t now);

    static LoadedSession loadRecoverySessionFromPath(const std::string& path);
    static LoadedSession loadRecoverySessionFromData(ByteView bytes);
    // A new root read with its tree from position on; nothing when the root's record
    // is not there. error says what stopped the reading early.
    static std::unique_ptr<BaseTree> loadRecoverySessionFromBytes_inPosition(ByteView bytes, size_t& position,
                                                                             std::optional<std::string>& error);

    // Finds the loaded session's device among the attached disks (an image file by its
    // path): the device path to save from, which may have been renumbered since the
    // scan; nothing when it is not attached (window 122).
    static std::optional<std::string> checkForScannedDrive(const LoadedSession& session,
                                                           const std::vector<std::shared_ptr<Disk>>& disks);
};

}  // namespace norix
