#pragma once
// exFAT volume-label entry (type 0x83; 0x03 when the volume has no label). Little-endian;
// offsets within the 32-byte entry.

#include <cstdint>
#include <string>

#include "disk/ByteView.h"

namespace norix {

class VolumeLabelDirectoryEntry {
public:
    uint8_t entry_type = 0;        // byte 0
    uint8_t character_count = 0;   // byte 1, units of the label in use (at most 11)
    std::u16string volume_label;   // bytes 2-23, the 11 units as stored
    uint32_t reserved = 0;         // bytes 24-27
    // The first character_count units (11 at most) of volume_label as UTF-8.
    std::string volume_label_string;

    // Throws std::out_of_range when data holds fewer than 32 bytes.
    static VolumeLabelDirectoryEntry initVLDWithData(ByteView data);
};

}  // namespace norix
