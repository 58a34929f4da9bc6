#pragma once
// An HFS+ record: big-endian on disk, offsets from the structure's start; a pure parse
// of the bytes given (a view too short throws std::out_of_range).
#include <cstdint>
#include <string>

#include "disk/ByteView.h"

namespace norix {

// A catalog key: parent folder id and the item's name, UTF-16 big-endian.
struct HPlusCatalogKey {
    uint16_t keyLength = 0;  // 0, bytes after this field
    uint32_t parentID = 0;   // 2
    uint16_t length = 0;     // 6, name length in UTF-16 units
    std::u16string unicode;  // 8, the `length` units (none when length is over 255)
    static HPlusCatalogKey initHPlusCatalogKeyWithBlock(ByteView block);
    // The name as UTF-8, composed (NFC): the volume stores it decomposed.
    std::string getFileName() const;
};

}  // namespace norix
