#include "records/fat/FatDirectoryEntryPart1.h"

namespace norix {

FatDirectoryEntryPart1 FatDirectoryEntryPart1::initFDEP1WithBlock(ByteView fromAttributeByte) {
    FatDirectoryEntryPart1 part;
    part.attributeByte = fromAttributeByte.u8(0);   // entry byte 11
    part.u8Reserved = fromAttributeByte.u8(1);      // entry byte 12
    part.u8CrtTimeTenth = fromAttributeByte.u8(2);  // entry byte 13
    return part;
}

}  // namespace norix
