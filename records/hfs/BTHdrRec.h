#pragma once
// An HFS+ record: big-endian on disk, offsets from the structure's start; a pure parse
// of the bytes given (a view too short throws std::out_of_range).
#include <cstdint>

#include "disk/ByteView.h"

namespace norix {

// The B-tree header record (106 bytes, 14 bytes into node 0).
struct BTHdrRec {
    uint16_t treeDepth = 0;      // 0
    uint32_t rootNode = 0;       // 2
    uint32_t leafRecords = 0;    // 6
    uint32_t firstLeafNode = 0;  // 10
    uint32_t lastLeafNode = 0;   // 14
    uint16_t nodeSize = 0;       // 18
    uint16_t maxKeyLength = 0;   // 20
    uint32_t totalNodes = 0;     // 22
    uint32_t freeNodes = 0;      // 26
    uint32_t clumpSize = 0;      // 32
    uint8_t btreeType = 0;       // 36
    uint8_t keyCompareType = 0;  // 37
    uint32_t attributes = 0;     // 38
    static BTHdrRec initBTHdrRecWithBlock(ByteView block);
};

}  // namespace norix
