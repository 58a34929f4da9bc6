#pragma once
// Bytes 28 to 31 of a 32-byte FAT short directory entry: the file size.

#include <cstdint>

namespace norix {

class FatDirectoryEntryPart3 {
public:
    uint32_t u32FileSize = 0;  // entry bytes 28-31, little-endian; 0 for folders

    static FatDirectoryEntryPart3 initFDEP3WithUInt32(uint32_t fileSize) {
        FatDirectoryEntryPart3 part;
        part.u32FileSize = fileSize;
        return part;
    }
};

}  // namespace norix
