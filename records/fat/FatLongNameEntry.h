#pragma once
// One 32-byte FAT long-name entry: 13 UTF-16LE units of a long file name. The entries
// of one name stand before its short entry, last part first; part 1 (the start of the
// name) is the one right above the short entry.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "disk/ByteView.h"

namespace norix {

class FatLongNameEntry {
public:
    // Byte 0: sequence number 1-20, 0x40 added on the last part; 0xE5 once deleted.
    uint8_t u8Ordinal = 0;
    uint8_t attributeByte = 0;           // byte 11, 0x0F
    uint8_t u8Type = 0;                  // byte 12, 0
    uint8_t u8Checksum = 0;              // byte 13, checksum of the short name (not verified)
    uint16_t u16FirstClusterLowWrd = 0;  // bytes 26-27, 0
    // The 13 units as stored: bytes 1-10, 14-25 and 28-31. After the end of the name
    // come one 0x0000 and then 0xFFFF padding.
    std::u16string nameUnits;
    // This entry's piece of the name, decoded (see nameUnitsToUtf8).
    std::string nameString;
    bool isDeleted = false;              // byte 0 is 0xE5

    // nullopt when the entry is not a long-name entry (byte 11 not 0x0F or byte 12 not 0).
    // Throws std::out_of_range when entry holds fewer than 32 bytes.
    static std::optional<FatLongNameEntry> initLFNWithBlock(ByteView entry);

    // The whole long name from its parts in name order (part 1 first), decoded once so
    // that a character cut between two parts comes out whole.
    static std::string joinedName(std::span<const FatLongNameEntry> partsInNameOrder);

    // The checksum every part carries of the 11-byte short name it belongs to.
    static uint8_t shortNameChecksum(ByteView shortName);
};

}  // namespace norix
