#pragma once
// exFAT stream-extension entry (type 0xC0, 0x40 once deleted): where a file's data
// lies and how long its name is. Little-endian; offsets within the 32-byte entry.

#include <cstdint>
#include <optional>

#include "disk/ByteView.h"

namespace norix {

class StreamExtensionDirectoryEntery {
public:
    uint8_t entry_type = 0;               // byte 0
    uint8_t general_secondary_flags = 0;  // byte 1; bit 1 set: no FAT chain (contiguous)
    uint8_t reserved1 = 0;                // byte 2
    uint8_t name_length = 0;              // byte 3, UTF-16 units in the name
    uint16_t name_hash = 0;               // bytes 4-5 (not verified)
    uint16_t reserved2 = 0;               // bytes 6-7
    uint64_t valid_data_length = 0;       // bytes 8-15
    uint32_t reserved3 = 0;               // bytes 16-19
    uint32_t first_cluster = 0;           // bytes 20-23
    uint64_t data_length = 0;             // bytes 24-31, the size in bytes

    // nullopt when the entry type is not 0xC0, 0x40 or 0xC1, or a reserved field is not
    // 0. Throws std::out_of_range when data holds fewer than 32 bytes.
    static std::optional<StreamExtensionDirectoryEntery> initSEDWithData(ByteView data);
};

}  // namespace norix
