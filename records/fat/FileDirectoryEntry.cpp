#include "records/fat/FileDirectoryEntry.h"

#include <algorithm>

namespace norix {

std::optional<FileDirectoryEntry> FileDirectoryEntry::initFDEWithData(ByteView data) {
    const ByteView b = data.sub(0, 32);
    FileDirectoryEntry fde;
    fde.entry_type = b.u8(0);                  // byte 0
    fde.secondary_count = b.u8(1);             // byte 1
    fde.set_checksum = b.u16le(2);             // bytes 2-3
    fde.file_attributes = b.u16le(4);          // bytes 4-5
    fde.reserved1 = b.u16le(6);                // bytes 6-7
    fde.create_date = b.u32le(8);              // bytes 8-11
    fde.last_modified = b.u32le(12);           // bytes 12-15
    fde.last_accessed = b.u32le(16);           // bytes 16-19
    fde.create_10ms = b.u8(20);                // byte 20
    fde.last_modified_10ms = b.u8(21);         // byte 21
    fde.create_tz_offset = b.u8(22);           // byte 22
    fde.last_modified_tz_offset = b.u8(23);    // byte 23
    fde.last_accessed_tz_offset = b.u8(24);    // byte 24
    const auto tail = b.bytes(25, 7);          // bytes 25-31
    std::copy(tail.begin(), tail.end(), fde.reserved2.begin());
    fde.isFolderEntry = (fde.file_attributes & 0x10) != 0;

    // A set has at most 18 secondary entries (a stream extension and 17 name pieces).
    if (fde.secondary_count > 18 || fde.reserved1 != 0) return std::nullopt;
    return fde;
}

}  // namespace norix
