#pragma once
// APFS records: little-endian, read from one 4096-byte block at a byte offset; a pure
// parse of the bytes given. A factory answers nothing when its bounds test fails.
#include <cstdint>
#include <optional>

#include "disk/ByteView.h"

namespace norix {

// Object ids and transaction ids are plain 64-bit numbers.
using OidT = uint64_t;
using XidT = uint64_t;

inline constexpr size_t kApfsBlockBytes = 4096;

// A location inside a B-tree node: offset and length, in bytes.
struct Nloc {
    uint16_t Off = 0;  // 0
    uint16_t len = 0;  // 2
    static Nloc initWithNlocBlock_Offfset(ByteView block, size_t offset);
};

// The 32-byte header at the start of every object.
struct ObjPhys {
    // Storage bits of o_flags (the upper half of the type word).
    static constexpr uint16_t kEphemeral = 0x8000, kPhysical = 0x4000;
    uint64_t o_cksum = 0;     // 0
    OidT o_oid = 0;           // 8
    XidT o_xid = 0;           // 16
    uint16_t o_type = 0;      // 24: object type
    uint16_t o_flags = 0;     // 26
    uint32_t o_subtype = 0;   // 28
    static ObjPhys initWithObjPhysBlock(ByteView block);
    // The Fletcher-64 checksum of the block's bytes after the checksum field, and
    // whether the block carries it: a torn or overwritten object fails.
    static uint64_t checksumOf(ByteView block);
    static bool checksumValid(ByteView block);
};

}  // namespace norix
