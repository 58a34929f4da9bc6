#include "records/hfs/HPlusCatalogCommon.h"

namespace norix {

void HPlusCatalogCommon::read(ByteView block) {
    recordType = static_cast<int16_t>(block.u16be(0));
    flags = block.u16be(2);
    valence = block.u32be(4);
    id = block.u32be(8);
    createDate = block.u32be(12);
    contentModDate = block.u32be(16);
    attributeModDate = block.u32be(20);
    accessDate = block.u32be(24);
    backupDate = block.u32be(28);
}

}  // namespace norix
