#pragma once
// An HFS+ record: big-endian on disk, offsets from the structure's start; a pure parse
// of the bytes given (a view too short throws std::out_of_range).
#include <cstdint>
#include <optional>

#include "disk/ByteView.h"
#include "records/hfs/HPlusCatalogCommon.h"
#include "records/hfs/HPlusForkData.h"

namespace norix {

// A file record (248 bytes).
struct HPlusCatalogFile : HPlusCatalogCommon {
    static constexpr int16_t kType = 2;
    uint32_t textEncoding = 0;   // 80
    HPlusForkData dataFork;      // 88
    HPlusForkData resourceFork;  // 168
    uint32_t fileID() const { return id; }
    // blockSize: the volume's allocation block size in bytes, or 0 when no volume header
    // is known (the fork sizes are then not checked against their block counts). With a
    // block size, an empty data fork is accepted (an empty file); without one it is not.
    static std::optional<HPlusCatalogFile> initHPlusCatalogFileWithBlock_andBlockSize(ByteView block,
                                                                                      uint32_t blockSize);
};

}  // namespace norix
