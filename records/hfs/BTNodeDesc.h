#pragma once
// An HFS+ record: big-endian on disk, offsets from the structure's start; a pure parse
// of the bytes given (a view too short throws std::out_of_range).
#include <cstdint>

#include "disk/ByteView.h"

namespace norix {

// The descriptor at the start of every B-tree node (14 bytes).
struct BTNodeDesc {
    static constexpr int8_t kLeaf = -1, kIndex = 0, kHeader = 1;
    uint32_t fLink = 0, bLink = 0;  // 0, 4
    int8_t kind = 0;                // 8
    uint8_t height = 0;             // 9
    uint16_t numRecords = 0;        // 10
    uint16_t reserved = 0;          // 12
    static BTNodeDesc initBTNodeDescWIthBlock(ByteView block);
    bool operator==(const BTNodeDesc&) const = default;
    // A catalog leaf node as the scans accept it.
    bool isLeaf() const { return height == 1 && kind == kLeaf && numRecords > 0; }
};

}  // namespace norix
