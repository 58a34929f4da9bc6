#include "records/fat/FatDirectoryEntryPart2.h"

namespace norix {

FatDirectoryEntryPart2 FatDirectoryEntryPart2::initFDEP2WithBlock(ByteView fromCreatedTime) {
    const ByteView b = fromCreatedTime.sub(0, 14);  // entry bytes 14-27
    FatDirectoryEntryPart2 part;
    part.u16CreatedTime = b.u16le(0);           // entry bytes 14-15
    part.u16CreatedDate = b.u16le(2);           // entry bytes 16-17
    part.u16LastAccessDate = b.u16le(4);        // entry bytes 18-19
    part.u16FirstClusterHighWrd = b.u16le(6);   // entry bytes 20-21
    part.u16WriteTime = b.u16le(8);             // entry bytes 22-23
    part.u16WriteDate = b.u16le(10);            // entry bytes 24-25
    part.u16FirstClusterLowWrd = b.u16le(12);   // entry bytes 26-27
    return part;
}

}  // namespace norix
