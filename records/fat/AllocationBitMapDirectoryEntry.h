#pragma once
// exFAT allocation-bitmap entry (type 0x81) of a root directory. Little-endian; offsets
// within the 32-byte entry.

#include <array>
#include <cstdint>

#include "disk/ByteView.h"

namespace norix {

class AllocationBitMapDirectoryEntry {
public:
    uint8_t entry_type = 0;               // byte 0
    uint8_t bit_map_flags = 0;            // byte 1, bit 0: which FAT the bitmap serves
    std::array<uint8_t, 18> reserved{};   // bytes 2-19
    uint32_t first_cluster = 0;           // bytes 20-23
    uint64_t data_length = 0;             // bytes 24-31, bytes of bitmap

    // Throws std::out_of_range when data holds fewer than 32 bytes.
    static AllocationBitMapDirectoryEntry initABMWithData(ByteView data);
};

}  // namespace norix
