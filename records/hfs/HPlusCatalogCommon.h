#pragma once
// An HFS+ record: big-endian on disk, offsets from the structure's start; a pure parse
// of the bytes given (a view too short throws std::out_of_range).
#include <cstdint>

#include "disk/ByteView.h"

namespace norix {

// The fields a folder and a file record share (offsets 0 to 31).
struct HPlusCatalogCommon {
    int16_t recordType = 0;  // 0
    uint16_t flags = 0;      // 2
    uint32_t valence = 0;    // 4 (folders; reserved in files)
    uint32_t id = 0;         // 8
    uint32_t createDate = 0, contentModDate = 0, attributeModDate = 0, accessDate = 0, backupDate = 0;  // 12..28
    void read(ByteView block);
    bool datesAndIdSet() const { return accessDate && contentModDate && createDate && id; }
};

}  // namespace norix
