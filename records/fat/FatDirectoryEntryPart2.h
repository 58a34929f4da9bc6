#pragma once
// Bytes 14 to 27 of a 32-byte FAT short directory entry: the dates, times and the two
// halves of the first cluster. Times and dates are the packed FAT values
// (date: year-1980 << 9 | month << 5 | day; time: hour << 11 | minute << 5 | second / 2).

#include <cstdint>

#include "disk/ByteView.h"

namespace norix {

class FatDirectoryEntryPart2 {
public:
    uint16_t u16CreatedTime = 0;          // entry bytes 14-15
    uint16_t u16CreatedDate = 0;          // entry bytes 16-17
    uint16_t u16LastAccessDate = 0;       // entry bytes 18-19
    uint16_t u16FirstClusterHighWrd = 0;  // entry bytes 20-21
    uint16_t u16WriteTime = 0;            // entry bytes 22-23
    uint16_t u16WriteDate = 0;            // entry bytes 24-25
    uint16_t u16FirstClusterLowWrd = 0;   // entry bytes 26-27

    // fromCreatedTime starts at entry byte 14; throws std::out_of_range when it holds
    // fewer than 14 bytes.
    static FatDirectoryEntryPart2 initFDEP2WithBlock(ByteView fromCreatedTime);
};

}  // namespace norix
