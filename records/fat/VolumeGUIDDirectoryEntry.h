#pragma once
// exFAT volume-GUID entry (type 0xA0). Little-endian; offsets within the 32-byte entry.

#include <array>
#include <cstdint>

#include "disk/ByteView.h"

namespace norix {

class VolumeGUIDDirectoryEntry {
public:
    uint8_t entry_type = 0;                // byte 0
    uint8_t secondary_count = 0;           // byte 1, always 0
    uint16_t set_checksum = 0;             // bytes 2-3 (not verified)
    uint16_t general_primary_flags = 0;    // bytes 4-5
    std::array<uint8_t, 16> volume_GUID{}; // bytes 6-21, as stored
    std::array<uint8_t, 10> reserved{};    // bytes 22-31

    // Throws std::out_of_range when data holds fewer than 32 bytes.
    static VolumeGUIDDirectoryEntry initVGDWithData(ByteView data);
};

}  // namespace norix
