#include "records/hfs/HPlusForkData.h"

namespace norix {

HPlusForkData HPlusForkData::initFordDataWithBlock(ByteView block) {
    HPlusForkData fork;
    fork.logicalSize = block.u64be(0);
    fork.clumpSize = block.u32be(8);
    fork.totalBlocks = block.u32be(12);
    for (size_t i = 0; i < fork.extents.size(); ++i)
        fork.extents[i] = HPlusExtDesc::initExtDescWithBlock(block.sub(16 + 8 * i, 8));
    return fork;
}

}  // namespace norix
