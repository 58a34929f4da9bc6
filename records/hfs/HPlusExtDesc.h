#pragma once
// An HFS+ record: big-endian on disk, offsets from the structure's start; a pure parse
// of the bytes given (a view too short throws std::out_of_range).
#include <cstdint>

#include "disk/ByteView.h"

namespace norix {

// An extent descriptor (8 bytes): a run of allocation blocks.
struct HPlusExtDesc {
    uint32_t startBlock = 0;  // 0
    uint32_t blockCount = 0;  // 4
    static HPlusExtDesc initExtDescWithBlock(ByteView block);
};

}  // namespace norix
