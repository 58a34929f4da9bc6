#pragma once
// An HFS+ record: big-endian on disk, offsets from the structure's start; a pure parse
// of the bytes given (a view too short throws std::out_of_range).
#include <array>
#include <cstdint>

#include "disk/ByteView.h"
#include "records/hfs/HPlusExtDesc.h"

namespace norix {

// Fork data (80 bytes): the size of a fork and its first eight extents.
struct HPlusForkData {
    uint64_t logicalSize = 0;  // 0
    uint32_t clumpSize = 0;    // 8
    uint32_t totalBlocks = 0;  // 12
    std::array<HPlusExtDesc, 8> extents{};  // 16, 24, ... 72
    static HPlusForkData initFordDataWithBlock(ByteView block);
};

}  // namespace norix
