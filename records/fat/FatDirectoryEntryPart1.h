#pragma once
// Bytes 11 to 13 of a 32-byte FAT short directory entry.

#include <cstdint>

#include "disk/ByteView.h"

namespace norix {

class FatDirectoryEntryPart1 {
public:
    uint8_t attributeByte = 0;   // entry byte 11
    uint8_t u8Reserved = 0;      // entry byte 12 (lower-case flags of the short name)
    uint8_t u8CrtTimeTenth = 0;  // entry byte 13, creation time in tenths of a second

    // fromAttributeByte starts at entry byte 11; throws std::out_of_range when it holds
    // fewer than 3 bytes.
    static FatDirectoryEntryPart1 initFDEP1WithBlock(ByteView fromAttributeByte);
};

}  // namespace norix
