#pragma once
// An HFS+ record: big-endian on disk, offsets from the structure's start; a pure parse
// of the bytes given (a view too short throws std::out_of_range).
#include <cstdint>
#include <optional>

#include "disk/ByteView.h"
#include "records/hfs/HPlusCatalogCommon.h"
#include "records/hfs/XFolderInfo.h"

namespace norix {

// A folder record (88 bytes).
struct HPlusCatalogFolder : HPlusCatalogCommon {
    static constexpr int16_t kType = 1;
    XFolderInfo finderInfo;     // 64
    uint32_t textEncoding = 0;  // 80
    uint32_t reserved = 0;      // 84
    uint32_t folderID() const { return id; }
    static std::optional<HPlusCatalogFolder> initHPlusCatalogFolder(ByteView block);
};

}  // namespace norix
