#include "records/apfs/Container.h"

#include <algorithm>

#include "records/apfs/JKeys.h"

namespace norix {

namespace {
bool isObject(ByteView block, uint16_t type, const char* magic) {
    return block.size() == kApfsBlockBytes && block.u16le(24) == type &&
           (!magic || block.matches(32, magic)) && ObjPhys::checksumValid(block);
}
}  // namespace

std::optional<NxSuperblock> NxSuperblock::initWithBlock(ByteView block) {
    if (!isObject(block, kType, "NXSB")) return std::nullopt;
    NxSuperblock sb;
    sb.hdr = ObjPhys::initWithObjPhysBlock(block);
    sb.nx_block_size = block.u32le(36);
    sb.nx_block_count = block.u64le(40);
    sb.nx_xp_desc_blocks = block.u32le(104);
    sb.nx_xp_desc_base = block.u64le(112);
    sb.nx_xp_desc_index = block.u32le(136);
    sb.nx_xp_desc_len = block.u32le(140);
    sb.nx_omap_oid = block.u64le(160);
    const uint32_t volumes = std::min<uint32_t>(block.u32le(180), 100);
    for (uint32_t i = 0; i < volumes; ++i)
        if (const OidT oid = block.u64le(184 + 8 * i)) sb.nx_fs_oid.push_back(oid);
    return sb;
}

std::optional<OmapPhys> OmapPhys::initWithBlock(ByteView block) {
    if (!isObject(block, kType, nullptr)) return std::nullopt;
    return OmapPhys{block.u64le(48)};
}

std::optional<ApfsSuperblock> ApfsSuperblock::initWithBlock(ByteView block) {
    if (!isObject(block, kType, "APSB")) return std::nullopt;
    ApfsSuperblock sb;
    sb.apfs_fs_flags = block.u64le(264);
    sb.apfs_omap_oid = block.u64le(128);
    sb.apfs_root_tree_oid = block.u64le(136);
    sb.apfs_volname = apfsCString(block.sub(704, 256));
    return sb;
}

}  // namespace norix
