#include "records/hfs/BTHdrRec.h"

namespace norix {

BTHdrRec BTHdrRec::initBTHdrRecWithBlock(ByteView block) {
    BTHdrRec h;
    h.treeDepth = block.u16be(0);
    h.rootNode = block.u32be(2);
    h.leafRecords = block.u32be(6);
    h.firstLeafNode = block.u32be(10);
    h.lastLeafNode = block.u32be(14);
    h.nodeSize = block.u16be(18);
    h.maxKeyLength = block.u16be(20);
    h.totalNodes = block.u32be(22);
    h.freeNodes = block.u32be(26);
    h.clumpSize = block.u32be(32);
    h.btreeType = block.u8(36);
    h.keyCompareType = block.u8(37);
    h.attributes = block.u32be(38);
    return h;
}

}  // namespace norix
