#pragma once
// One 32-byte FAT short directory entry from its attribute byte on (entry bytes 11 to
// 31); the 11 name bytes before it are the scan's business.

#include <cstdint>

#include "disk/ByteView.h"
#include "records/fat/FatDirectoryEntryPart1.h"
#include "records/fat/FatDirectoryEntryPart2.h"
#include "records/fat/FatDirectoryEntryPart3.h"

namespace norix {

class FatDataEntry {
public:
    // Attribute 0x10-0x17: a folder, whatever its read-only, hidden and system bits.
    bool isFolder = false;
    // Attribute 0x20-0x27: a file with the archive bit. Anything else (volume label 0x08,
    // long-name part 0x0F, 0x30, a file without the archive bit) is neither.
    bool isFile = false;
    // Set by the scan when the entry's first name byte is 0xE5.
    bool isDeleted = false;
    FatDirectoryEntryPart1 FDE1;  // entry bytes 11-13
    FatDirectoryEntryPart2 FDE2;  // entry bytes 14-27
    FatDirectoryEntryPart3 FDE3;  // entry bytes 28-31

    // fromAttributeByte starts at entry byte 11; throws std::out_of_range when it holds
    // fewer than the 21 bytes up to the end of the entry.
    static FatDataEntry initFDEWithBlock(ByteView fromAttributeByte);

    void setDeleted(bool deleted) { isDeleted = deleted; }
};

}  // namespace norix
