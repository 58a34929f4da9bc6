#include "records/hfs/XFolderInfo.h"

namespace norix {

XFolderInfo XFolderInfo::initXFolderIndoWithBlock(ByteView block) {
    XFolderInfo info;
    info.V = static_cast<int16_t>(block.u16be(0));
    info.h = static_cast<int16_t>(block.u16be(2));
    info.reserved1 = static_cast<int32_t>(block.u32be(4));
    info.extendedFinderFlags = block.u16be(8);
    info.reserved2 = static_cast<int16_t>(block.u16be(10));
    info.putAwayFolderID = static_cast<int32_t>(block.u32be(12));
    return info;
}

}  // namespace norix
