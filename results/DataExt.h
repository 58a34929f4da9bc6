#pragma once
#include <array>
#include <cstdint>

namespace norix {

// One run of a node's data: start block and block count in units of the node's
// blockSize, the start counted from the node's blocksStartsAtSector.
struct DataExt {
    uint32_t startBlock = 0;
    uint32_t blockCount = 0;

    DataExt() = default;
    DataExt(uint32_t start, uint32_t count) : startBlock(start), blockCount(count) {}
    static DataExt initWithStartBlock_andBlockCount(uint32_t start, uint32_t count) { return {start, count}; }
    void setSstartBlock(uint32_t start) { startBlock = start; }
    // startBlock then blockCount, each big-endian: the session-file form.
    std::array<uint8_t, 8> getWritableData() const;
    bool operator==(const DataExt&) const = default;
};

}  // namespace norix
