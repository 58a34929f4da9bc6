#pragma once
// An HFS+ record: big-endian on disk, offsets from the structure's start; a pure parse
// of the bytes given (a view too short throws std::out_of_range).
#include <cstdint>

#include "disk/ByteView.h"

namespace norix {

// Extended Finder information of a folder (16 bytes).
struct XFolderInfo {
    int16_t V = 0, h = 0;              // 0, 2
    int32_t reserved1 = 0;             // 4
    uint16_t extendedFinderFlags = 0;  // 8
    int16_t reserved2 = 0;             // 10
    int32_t putAwayFolderID = 0;       // 12
    static XFolderInfo initXFolderIndoWithBlock(ByteView block);
};

}  // namespace norix
