#include "records/fat/FatDataEntry.h"

namespace norix {

FatDataEntry FatDataEntry::initFDEWithBlock(ByteView fromAttributeByte) {
    const ByteView b = fromAttributeByte.sub(0, 21);  // entry bytes 11-31
    FatDataEntry entry;
    entry.FDE1 = FatDirectoryEntryPart1::initFDEP1WithBlock(b.sub(0, 3));       // entry bytes 11-13
    entry.FDE2 = FatDirectoryEntryPart2::initFDEP2WithBlock(b.sub(3, 14));      // entry bytes 14-27
    entry.FDE3 = FatDirectoryEntryPart3::initFDEP3WithUInt32(b.u32le(17));      // entry bytes 28-31
    const uint8_t attribute = entry.FDE1.attributeByte;
    entry.isFolder = attribute >= 0x10 && attribute <= 0x17;
    entry.isFile = attribute >= 0x20 && attribute <= 0x27;
    return entry;
}

}  // namespace norix
