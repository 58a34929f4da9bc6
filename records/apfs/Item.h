#pragma once
// What the sweep keeps of one inode while it builds the tree.
#include <cstdint>
#include <string>

#include "records/apfs/ObjPhys.h"

namespace norix {

struct Item {
    std::string name;
    std::string type;  // "file" or "folder"
    uint8_t deleted = 0;
    uint64_t parent = 0;
    uint64_t private_id = 0;  // the data stream's id: its file extents are filed under it
    uint64_t node_id = 0;
    uint64_t creationtime = 0, accesstime = 0, modificationtime = 0;  // ns since 1970
    uint64_t file_size = 0;
    XidT xid = 0;  // transaction of the node the copy came from
    bool isFolder() const { return type == "folder"; }
};

}  // namespace norix
