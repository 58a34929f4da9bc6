#pragma once
// exFAT file directory entry (type 0x85, 0x05 once deleted): the primary entry of a
// file's entry set. Little-endian; offsets within the 32-byte entry.

#include <array>
#include <cstdint>
#include <optional>

#include "disk/ByteView.h"

namespace norix {

class FileDirectoryEntry {
public:
    uint8_t entry_type = 0;               // byte 0
    uint8_t secondary_count = 0;          // byte 1, entries that follow in the set
    uint16_t set_checksum = 0;            // bytes 2-3 (not verified)
    uint16_t file_attributes = 0;         // bytes 4-5, 0x10 = folder
    uint16_t reserved1 = 0;               // bytes 6-7
    // Timestamps as stored: year-1980 << 25 | month << 21 | day << 16 | hour << 11 |
    // minute << 5 | second / 2.
    uint32_t create_date = 0;             // bytes 8-11
    uint32_t last_modified = 0;           // bytes 12-15
    uint32_t last_accessed = 0;           // bytes 16-19
    uint8_t create_10ms = 0;              // byte 20
    uint8_t last_modified_10ms = 0;       // byte 21
    uint8_t create_tz_offset = 0;         // byte 22
    uint8_t last_modified_tz_offset = 0;  // byte 23
    uint8_t last_accessed_tz_offset = 0;  // byte 24
    std::array<uint8_t, 7> reserved2{};   // bytes 25-31
    bool isFolderEntry = false;           // file_attributes has the folder bit (0x10)

    // nullopt when secondary_count is above 18 or reserved1 is not 0. The entry type is
    // not checked. Throws std::out_of_range when data holds fewer than 32 bytes.
    static std::optional<FileDirectoryEntry> initFDEWithData(ByteView data);
};

}  // namespace norix
