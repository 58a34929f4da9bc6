#pragma once
// The objects that lead from a container to a volume's live file-system tree: the
// container superblock, an object map and the volume superblock. Each answers nothing
// unless its magic, type and checksum are right.
#include <optional>
#include <string>
#include <vector>

#include "records/apfs/ObjPhys.h"

namespace norix {

struct NxSuperblock {
    static constexpr uint16_t kType = 1;
    ObjPhys hdr;
    uint32_t nx_block_size = 0;     // 36
    uint64_t nx_block_count = 0;    // 40
    uint32_t nx_xp_desc_blocks = 0;  // 104: the high bit marks a tree, not a ring of blocks
    uint64_t nx_xp_desc_base = 0;   // 112
    uint32_t nx_xp_desc_index = 0;  // 136: where this checkpoint's blocks start in the ring
    uint32_t nx_xp_desc_len = 0;    // 140: how many there are, this superblock last
    OidT nx_omap_oid = 0;           // 160 (physical)
    std::vector<OidT> nx_fs_oid;    // 184: the volumes' superblocks (virtual), up to nx_max_file_systems (180)
    static std::optional<NxSuperblock> initWithBlock(ByteView block);
};

// An object map: its B-tree maps (virtual oid, xid) to a physical block.
struct OmapPhys {
    static constexpr uint16_t kType = 0x0B;
    OidT om_tree_oid = 0;  // 48 (physical)
    static std::optional<OmapPhys> initWithBlock(ByteView block);
};

struct ApfsSuperblock {
    static constexpr uint16_t kType = 0x0D;
    static constexpr uint64_t kUnencrypted = 1;
    uint64_t apfs_fs_flags = 0;      // 264
    OidT apfs_omap_oid = 0;          // 128 (physical)
    OidT apfs_root_tree_oid = 0;     // 136 (virtual)
    std::string apfs_volname;        // 704, 256 bytes
    static std::optional<ApfsSuperblock> initWithBlock(ByteView block);
    bool encrypted() const { return (apfs_fs_flags & kUnencrypted) == 0; }
};

}  // namespace norix
