#include "records/hfs/HPlusCatalogFolder.h"

namespace norix {

std::optional<HPlusCatalogFolder> HPlusCatalogFolder::initHPlusCatalogFolder(ByteView block) {
    HPlusCatalogFolder f;
    f.read(block);
    f.finderInfo = XFolderInfo::initXFolderIndoWithBlock(block.sub(64, 16));
    f.textEncoding = block.u32be(80);
    f.reserved = block.u32be(84);
    if (!f.datesAndIdSet() || f.recordType != kType) return std::nullopt;
    return f;
}

}  // namespace norix
