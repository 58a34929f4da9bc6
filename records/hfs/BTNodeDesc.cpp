#include "records/hfs/BTNodeDesc.h"

namespace norix {

BTNodeDesc BTNodeDesc::initBTNodeDescWIthBlock(ByteView block) {
    BTNodeDesc d;
    d.fLink = block.u32be(0);
    d.bLink = block.u32be(4);
    d.kind = static_cast<int8_t>(block.u8(8));
    d.height = block.u8(9);
    d.numRecords = block.u16be(10);
    d.reserved = block.u16be(12);
    return d;
}

}  // namespace norix
