#pragma once
// The APFS records the sweep collects from one container until they are turned into
// tree nodes: one item per inode and the file extents of each data stream, each the
// newest copy met (by the transaction of the node it came from).
#include <cstdint>
#include <map>
#include <set>

#include "records/apfs/Item.h"

namespace norix {

struct ApfsItemDict {
    std::map<uint64_t, Item> items;  // inode id -> item
    // The inodes the container's live file-system tree holds, when it could be read:
    // those are the existing items, every other one is deleted.
    std::set<uint64_t> live;
    bool liveKnown = false;
    void clear() {
        items.clear();
        live.clear();
        liveKnown = false;
    }
};

// One file extent: container block, length in bytes, and the node's transaction.
struct ApfsRun {
    uint64_t start = 0, length = 0;
    XidT xid = 0;
    bool live = false;  // read from the live tree
};

struct ApfsExtentDict {
    std::map<uint64_t, std::map<uint64_t, ApfsRun>> extents;  // data-stream id -> logical offset -> run
    void clear() { extents.clear(); }
};

}  // namespace norix
