#include "records/hfs/HPlusCatalogFile.h"

namespace norix {

namespace {
// A fork's size fits its blocks, and it has exactly the blocks its size needs.
bool forkSizeMatches(const HPlusForkData& fork, uint32_t blockSize) {
    return fork.logicalSize <= uint64_t{fork.totalBlocks} * blockSize &&
           fork.totalBlocks == (fork.logicalSize + blockSize - 1) / blockSize;
}
}  // namespace

std::optional<HPlusCatalogFile> HPlusCatalogFile::initHPlusCatalogFileWithBlock_andBlockSize(ByteView block,
                                                                                           uint32_t blockSize) {
    HPlusCatalogFile f;
    f.read(block);
    f.textEncoding = block.u32be(80);
    f.dataFork = HPlusForkData::initFordDataWithBlock(block.sub(88, 80));
    f.resourceFork = HPlusForkData::initFordDataWithBlock(block.sub(168, 80));
    if (!f.datesAndIdSet() || f.recordType != kType) return std::nullopt;
    const HPlusExtDesc& first = f.dataFork.extents[0];
    const bool hasData = f.dataFork.logicalSize && f.dataFork.totalBlocks && first.startBlock && first.blockCount;
    // An empty file has no blocks and no extent; only a known block size lets it pass.
    const bool empty = blockSize != 0 && f.dataFork.logicalSize == 0 && f.dataFork.totalBlocks == 0 &&
                       first.startBlock == 0 && first.blockCount == 0;
    if (!hasData && !empty) return std::nullopt;
    if (blockSize == 0) return f;
    if (!forkSizeMatches(f.dataFork, blockSize) || !forkSizeMatches(f.resourceFork, blockSize)) return std::nullopt;
    return f;
}

}  // namespace norix
