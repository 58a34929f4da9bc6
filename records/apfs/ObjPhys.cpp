#include "records/apfs/ObjPhys.h"

namespace norix {

Nloc Nloc::initWithNlocBlock_Offfset(ByteView block, size_t offset) {
    return {block.u16le(offset), block.u16le(offset + 2)};
}

ObjPhys ObjPhys::initWithObjPhysBlock(ByteView block) {
    ObjPhys h;
    h.o_cksum = block.u64le(0);
    h.o_oid = block.u64le(8);
    h.o_xid = block.u64le(16);
    h.o_type = block.u16le(24);
    h.o_flags = block.u16le(26);
    h.o_subtype = block.u32le(28);
    return h;
}

uint64_t ObjPhys::checksumOf(ByteView block) {
    constexpr uint64_t kMod = 0xFFFFFFFF;
    uint64_t sum1 = 0, sum2 = 0;
    for (size_t at = 8; at + 4 <= block.size(); at += 4) {
        sum1 = (sum1 + block.u32le(at)) % kMod;
        sum2 = (sum2 + sum1) % kMod;
    }
    const uint64_t check1 = kMod - (sum1 + sum2) % kMod;
    const uint64_t check2 = kMod - (sum1 + check1) % kMod;
    return check2 << 32 | check1;
}

bool ObjPhys::checksumValid(ByteView block) {
    return block.size() >= 32 && block.u64le(0) == checksumOf(block);
}

}  // namespace norix
