// HFS+: the quick scan of the catalog and journal, and the rebuilding of lost HFS+
// volumes found by the deep scan.
//
// The quick scan reads the volume header, the extents-overflow and catalog B-tree
// headers, lists every record of the catalog's leaf chain, then the whole records of
// removed items left in the free space of those leaf nodes, then the records in stale
// copies of leaf nodes in the journal. Everything found outside the live catalog is
// listed as deleted, once per (id, parent, name).
//
// The deep scan places lost volumes by their headers (confirmed by the catalog's header
// node where the header puts it), reads catalog leaf nodes wherever it meets them, and
// when the sweep is over places each volume's records under a lost partition of its own,
// with that volume's start and block size.
#include <algorithm>
#include <set>
#include <tuple>
#include <unordered_set>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "records/hfs/HPlusCatalogKey.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

namespace norix {

namespace {

constexpr uint16_t kFirstRecordOffset = 14;  // records start after the node descriptor
// The journal is swept in windows of this many bytes, and nodes are looked for at every
// 512-byte step in it (transactions are laid out in 512-byte units).
constexpr size_t kJournalWindow = 4u << 20;
constexpr size_t kJournalStep = 512;
// No B-tree walk visits more nodes than its header counts, nor more than this.
constexpr uint32_t kMaxTreeNodes = 1u << 24;
// Catalog data runs when no volume header is known: 4 KiB blocks of 512-byte sectors.
constexpr uint32_t kAssumedSectorsPerBlock = 8;

// A node descriptor 0..13 at the start of a B-tree header node: forward link 0, kind
// header, height 0 and three records.
bool isHeaderNode(const BTNodeDesc& d) {
    return d.fLink == 0 && d.kind == BTNodeDesc::kHeader && d.height == 0 && d.numRecords == 3;
}

}  // namespace

std::optional<std::vector<uint8_t>> RecoveryModule::readHfsBytes(uint64_t volumeOffset, size_t length) const {
    // Whole device sectors are read, so any sector size and any offset work.
    const uint64_t sector = blockSize ? blockSize : 512;
    const uint64_t start = HFSLastVIBBlock * sector + volumeOffset;
    const uint64_t first = start / sector;
    const uint64_t count = (start % sector + length + sector - 1) / sector;
    std::vector<uint8_t> buffer(count * sector, 0);
    if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
            first, static_cast<uint32_t>(sector), diskPath(), buffer, count, &unreadable_))
        return std::nullopt;
    const size_t skip = static_cast<size_t>(start % sector);
    return std::vector<uint8_t>(buffer.begin() + skip, buffer.begin() + skip + length);
}

void RecoveryModule::quickScanForHFS() {
    vib.reset();
    extBtHdrRec.reset();
    catBtHdrRec.reset();
    catArray.clear();
    journalBlockStart = journalBlockSize = 0;
    hfsJournalDeleted = hfsSlackDeleted = 0;
    hfsOverflowExtents_.clear();
    hfsFound_.clear();
    HFSLastVIBBlock = 0;
    // 1024 bytes into the volume: sector 2 of 512-byte sectors, inside sector 0 of larger ones.
    const auto header = readHfsBytes(1024, 512);
    if (!header) {
        consoleLog("Error in readinD Data");
        return;
    }
    scanForHFSWithBlock(ByteView(*header));
    consoleLog("Folder Count : %d\n File Count : %d\nLost Count : %d", folderCount.load(), fileCount.load(),
               lost.load());
}

void RecoveryModule::scanForHFSWithBlock(ByteView block) {
    fillVIBWithBlock_WithStartSector(block, 0);
    if (!vib) return;
    getJounalDetails();
    checkCatLogNodes();
    checkJournalBlocks();
    try {
        placeHfsItems(hfsFound_, "Q", dirRoot()->getChildAtIndex(0));
    } catch (const std::exception& e) {
        log(e.what(), "ProcessCatFragForDeletedFiles");
    }
}

void RecoveryModule::fillVIBWithBlock_WithStartSector(ByteView block, uint64_t startSector) {
    try {
        vib = VIB::initVIBWithBlock(block);
        if (vib) checkCatlogAndExtentsWithStartSector(startSector);
    } catch (const std::exception& e) {
        log(e.what(), "fillVIBWithBlock");
    }
}

void RecoveryModule::checkCatlogAndExtentsWithStartSector(uint64_t startSector) {
    try {
        HFSLastVIBBlock = startSector;
        const uint64_t bs = vib->blockSize;
        const auto extents = readHfsBytes(bs * vib->getExtentFileDescForIndex(0).startBlock, 512);
        if (!extents) {
            consoleLog("Error in readinD Data");
            return;
        }
        if (isHeaderNode(BTNodeDesc::initBTNodeDescWIthBlock(ByteView(*extents))))
            extBtHdrRec = BTHdrRec::initBTHdrRecWithBlock(ByteView(*extents).from(kFirstRecordOffset));
        const auto catalog = readHfsBytes(bs * vib->getCatlogFileDescForIndex(0).startBlock, 512);
        if (!catalog) {
            consoleLog("Error in readinD Data");
            return;
        }
        catArray.assign(vib->cat.extents.begin(), vib->cat.extents.end());
        if (isHeaderNode(BTNodeDesc::initBTNodeDescWIthBlock(ByteView(*catalog))))
            catBtHdrRec = BTHdrRec::initBTHdrRecWithBlock(ByteView(*catalog).from(kFirstRecordOffset));
        readExtentsOverflow();
    } catch (const std::exception& e) {
        log(e.what(), "checkCatlogAndExtentsWithStartSector");
    }
}

// Collects the data-fork extent records of the extents-overflow tree's leaf chain.
void RecoveryModule::readExtentsOverflow() {
    if (!extBtHdrRec || extBtHdrRec->nodeSize < 512) return;
    const uint32_t nodeSize = extBtHdrRec->nodeSize;
    const std::vector<HPlusExtDesc> layout(vib->extentsFile.extents.begin(), vib->extentsFile.extents.end());
    const uint32_t bound = std::min(extBtHdrRec->totalNodes, kMaxTreeNodes);
    std::unordered_set<uint32_t> visited;
    for (uint32_t n = extBtHdrRec->firstLeafNode; n != 0 && visited.size() < bound && visited.insert(n).second;) {
        const auto offset = vib->nodeByteOffset(n, nodeSize, layout);
        const auto bytes = offset ? readHfsBytes(*offset, nodeSize) : std::nullopt;
        if (!bytes) return;
        const ByteView node(*bytes);
        const BTNodeDesc d = BTNodeDesc::initBTNodeDescWIthBlock(node);
        if (d.kind != BTNodeDesc::kLeaf || d.height != 1) return;
        for (uint32_t r = 0; r < d.numRecords && 2u * r + 2 <= nodeSize - kFirstRecordOffset; ++r) {
            // Key: length 10 (0), fork type (2, 0 = data), file id (4), first block (8);
            // then eight extent descriptors.
            const uint16_t o = node.u16be(nodeSize - 2 * r - 2);
            if (o < kFirstRecordOffset || !node.has(o, 12 + 64) || node.u16be(o) != 10 || node.u8(o + 2) != 0)
                continue;
            std::array<HPlusExtDesc, 8> runs{};
            for (size_t i = 0; i < runs.size(); ++i)
                runs[i] = HPlusExtDesc::initExtDescWithBlock(node.sub(o + 12 + 8 * i, 8));
            hfsOverflowExtents_[{node.u32be(o + 4), node.u32be(o + 8)}] = runs;
        }
        n = d.fLink;
    }
}

void RecoveryModule::getJounalDetails() {
    // Only a journal the volume says it uses, kept inside the volume, is read.
    if (!vib->journaled() || vib->journalInfoBlock == 0 || vib->journalInfoBlock >= vib->totalBlocks) return;
    const uint64_t bs = vib->blockSize;
    const auto info = readHfsBytes(bs * vib->journalInfoBlock, 52);
    if (!info) {
        consoleLog("Error in readinD Data");
        return;
    }
    // Journal info block: flags (0; bit 1: the journal is on another device), offset (36), size (44).
    const ByteView block(*info);
    const uint64_t start = block.u64be(36), size = block.u64be(44);
    const uint64_t volumeBytes = bs * vib->totalBlocks;
    if ((block.u32be(0) & 2) != 0 || start > volumeBytes || size > volumeBytes - start) return;
    journalBlockStart = start;
    journalBlockSize = size;
}

void RecoveryModule::checkCatLogNodes() {
    try {
        if (!catBtHdrRec || catBtHdrRec->firstLeafNode == 0 || catBtHdrRec->nodeSize < 512) return;
        const uint32_t nodeSize = catBtHdrRec->nodeSize;
        const uint32_t bound = std::min(catBtHdrRec->totalNodes, kMaxTreeNodes);
        std::unordered_set<uint32_t> visited;
        // The free space of each live leaf node, examined once the live catalog is read.
        std::vector<std::vector<uint8_t>> slacks;
        for (uint32_t n = catBtHdrRec->firstLeafNode; n != 0 && visited.size() < bound && visited.insert(n).second;) {
            if (waitWhilePausedOrStopped()) return;
            const auto offset = vib->nodeByteOffset(n, nodeSize, catArray);
            const auto bytes = offset ? readHfsBytes(*offset, nodeSize) : std::nullopt;
            if (!bytes) return;
            const ByteView node(*bytes);
            const BTNodeDesc d = BTNodeDesc::initBTNodeDescWIthBlock(node);
            if (d.isLeaf() && node.u16be(nodeSize - 2) == kFirstRecordOffset) {
                parseCatalogNode(node, HfsSource::Catalog);
                rememberQuickHfsNode(*offset, nodeSize);
                // The free space runs from the offset the table's last entry gives to the table.
                const size_t table = nodeSize - 2 * (size_t{d.numRecords} + 1);
                if (d.numRecords < (nodeSize - kFirstRecordOffset) / 2 - 1) {
                    const size_t freeStart = node.u16be(table);
                    if (freeStart >= kFirstRecordOffset && freeStart < table)
                        slacks.emplace_back(bytes->begin() + freeStart, bytes->begin() + table);
                }
            }
            n = d.fLink;
        }
        for (const auto& slack : slacks) {
            if (waitWhilePausedOrStopped()) return;
            scanNodeSlack(ByteView(slack));
        }
    } catch (const std::exception& e) {
        log(e.what(), "checkCatLogNodes");
    }
}

// A removed record stays whole after the last record of a node when nothing moved over
// it: every even offset of the free space is tried as the start of one.
void RecoveryModule::scanNodeSlack(ByteView slack) {
    for (size_t o = 0; o + 8 < slack.size();) {
        size_t end = 0;
        const bool taken = parseCatalogRecord(slack, o, slack.size(), HfsSource::NodeFreeSpace, -1, &end) ==
                           HfsRecord::Taken;
        o = taken && end > o ? end : o + 2;
    }
}

void RecoveryModule::checkJournalBlocks() {
    try {
        if (!catBtHdrRec || catBtHdrRec->nodeSize < kJournalStep || journalBlockSize < kJournalStep) return;
        const size_t nodeSize = catBtHdrRec->nodeSize;
        const uint64_t steps = journalBlockSize / kJournalStep;
        const uint64_t progressStep = std::max<uint64_t>(steps / 20, 1);
        int64_t lastProgress = -1;
        // Each window holds the node ending at each of its steps from its nodeSize-th byte on;
        // the next window starts so that its first such end follows this window's last.
        const size_t window = std::max(kJournalWindow, nodeSize * 2);
        for (uint64_t base = 0; base + nodeSize <= journalBlockSize; base += window - nodeSize + kJournalStep) {
            const size_t length = static_cast<size_t>(std::min<uint64_t>(window, journalBlockSize - base));
            const auto bytes = readHfsBytes(journalBlockStart + base, length);
            if (!bytes) {
                consoleLog("Error in readind Data");
                return;
            }
            const ByteView view(*bytes);
            for (size_t end = nodeSize; end <= length; end += kJournalStep) {
                if (waitWhilePausedOrStopped()) return;
                const auto progress = static_cast<int64_t>((base + end) / kJournalStep / progressStep);
                if (progress != lastProgress && del) del->increasePercentage(std::to_string(progress));
                lastProgress = progress;
                // A node's end: record 0 at 14, record 1 after it.
                if (view.u16be(end - 2) != kFirstRecordOffset || view.u16be(end - 4) < 15) continue;
                const ByteView node = view.sub(end - nodeSize, nodeSize);
                const BTNodeDesc d = BTNodeDesc::initBTNodeDescWIthBlock(node);
                if (!d.isLeaf() || d.numRecords > 254 || d.reserved != 0) continue;
                parseCatalogNode(node, HfsSource::Journal);
                rememberQuickHfsNode(journalBlockStart + base + end - nodeSize, nodeSize);
            }
        }
    } catch (const std::exception& e) {
        log(e.what(), "checkJournalBlocks");
    }
}

// Records read here wait in hfsFound_ until the sweep is over (placeLostHFSVolumes).
void RecoveryModule::ProcessCatFragForDeletedFiles_andScanType_inParent_WithBTNodeDesc_andFlag(
    uint64_t sector, const std::string& /*scanType*/, BaseTree* /*parent*/, const std::optional<BTNodeDesc>& desc,
    uint8_t flag) {
    try {
        if (quickScanListed(sector)) return;  // a node the quick scan read
        const uint32_t z = blockSize ? blockSize : 512;
        // The node size of the lost volume that holds the sector, else the quick scan's
        // catalog's; without either 16 sectors, if the node's descriptor is the one found.
        int volume = -1;
        for (size_t i = 0; i < hfsLostVolumes_.size(); ++i) {
            const HfsVolume& v = hfsLostVolumes_[i];
            const uint64_t sectors = uint64_t{v.header.blockSize} * v.header.totalBlocks / z;
            if (sector >= v.startSector && sector - v.startSector < sectors) volume = static_cast<int>(i);
        }
        const std::optional<BTHdrRec>& header = volume >= 0 ? hfsLostVolumes_[volume].catalogHeader : catBtHdrRec;
        const size_t nodeSize = header ? header->nodeSize : uint16_t(16 * z);
        if (nodeSize < 512) return;
        std::vector<uint8_t> bytes(nodeSize, 0);
        if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                sector, z, diskPath(), bytes, (nodeSize + z - 1) / z, &unreadable_)) {
            consoleLog("Error in readinD Data");
            return;
        }
        const ByteView node(bytes);
        if (!header && !(desc && BTNodeDesc::initBTNodeDescWIthBlock(node) == *desc)) return;
        // Records are tested against the block size of the volume that holds them; a node
        // in that volume's journal is a stale copy, its records deleted items.
        vib.reset();
        bool inJournal = flag != 0;
        if (volume >= 0) {
            const HfsVolume& v = hfsLostVolumes_[static_cast<size_t>(volume)];
            vib = v.header;
            const uint64_t offset = (sector - v.startSector) * z;
            inJournal = inJournal || (offset >= v.journalStart && offset - v.journalStart < v.journalBytes);
        }
        parseCatalogNode(node, inJournal ? HfsSource::Journal : HfsSource::DeepScan, volume);
    } catch (const std::exception& e) {
        log(e.what(), "ProcessCatFragForDeletedFiles");
    }
}

void RecoveryModule::parseCatalogNode(ByteView node, HfsSource source, int volume) {
    const size_t ns = node.size();
    const size_t count = BTNodeDesc::initBTNodeDescWIthBlock(node).numRecords;
    // The offset table grows down from the node's end; records must end before it.
    if (2 * count + 3 + kFirstRecordOffset > ns) return;
    const size_t limit = ns - 2 * count - 3;
    for (size_t r = 0; r < count; ++r) {
        if (waitWhilePausedOrStopped()) return;
        const size_t o = node.u16be(ns - 2 * r - 2);
        if (parseCatalogRecord(node, o, limit, source, volume) == HfsRecord::EndNode) return;
    }
}

RecoveryModule::HfsRecord RecoveryModule::parseCatalogRecord(ByteView node, size_t o, size_t limit,
                                                             HfsSource source, int volume, size_t* end) {
    // Key: length (0), parent id (2), name length in units (6), name (8).
    if (o < (end ? 0 : kFirstRecordOffset) || o + 2 > limit) return HfsRecord::Skipped;
    const size_t k = node.u16be(o);
    if (k < 6 || k > 516 || limit + 1 < o + k + 2) return HfsRecord::Skipped;
    const uint32_t parentID = node.u32be(o + 2);
    const size_t nameUnits = node.u16be(o + 6);
    if (parentID == 0 || nameUnits == 0 || nameUnits > 255 || 6 + 2 * nameUnits > k || limit < o + k + 4)
        return HfsRecord::Skipped;
    HfsItem item{parentID, HPlusCatalogKey::initHPlusCatalogKeyWithBlock(node.sub(o, 2 + k)).getFileName(), {}, {},
                 source, volume};
    const size_t data = o + 2 + k;
    const auto type = static_cast<int16_t>(node.u16be(data));
    if (type == HPlusCatalogFolder::kType) {
        if (o + k + 90 > limit) return HfsRecord::Skipped;
        item.folder = HPlusCatalogFolder::initHPlusCatalogFolder(node.sub(data, 88));
        if (!item.folder) return HfsRecord::Skipped;
        if (end) *end = data + 88;
    } else if (type == HPlusCatalogFile::kType) {
        if (o + k + 250 > limit) return end ? HfsRecord::Skipped : HfsRecord::EndNode;
        item.file = HPlusCatalogFile::initHPlusCatalogFileWithBlock_andBlockSize(node.sub(data, 248),
                                                                                vib ? vib->blockSize : 0);
        if (!item.file) return HfsRecord::Skipped;
        // A copy found outside the live catalog must lie inside the volume.
        const bool checked = source != HfsSource::Catalog && vib;
        if (checked && (!insideHfsVolume(item.file->dataFork) || !insideHfsVolume(item.file->resourceFork)))
            return HfsRecord::Skipped;
        if (end) *end = data + 248;
    } else {
        return HfsRecord::Skipped;  // thread records and others
    }
    ActiveFileSystem = kHfs;
    hfsFound_.push_back(std::move(item));
    return HfsRecord::Taken;
}

bool RecoveryModule::insideHfsVolume(const HPlusForkData& fork) const {
    return std::all_of(fork.extents.begin(), fork.extents.end(), [&](const HPlusExtDesc& e) {
        return uint64_t{e.startBlock} + e.blockCount <= vib->totalBlocks;
    });
}

void RecoveryModule::placeHfsItems(std::vector<HfsItem>& found, const std::string& scanType, BaseTree* parent) {
    // Each item once per (id, parent id, name): a copy from a catalog wins over one from
    // a journal or a node's free space, else the first copy met.
    std::stable_partition(found.begin(), found.end(), [](const HfsItem& item) {
        return item.source == HfsSource::Catalog || item.source == HfsSource::DeepScan;
    });
    std::set<std::tuple<uint32_t, uint32_t, std::string>> seen;
    std::vector<const HfsItem*> items;
    for (const HfsItem& item : found) {
        const uint32_t id = item.folder ? item.folder->folderID() : item.file->fileID();
        if (!seen.insert({id, item.parentID, item.name}).second) continue;
        items.push_back(&item);
        hfsSlackDeleted += item.source == HfsSource::NodeFreeSpace;
        hfsJournalDeleted += item.source == HfsSource::Journal;
    }
    // Folders from the top down: first those whose parent was not found, then, level by
    // level, the folders inside them; folders that only hold each other come last.
    std::multimap<uint32_t, size_t> foldersIn;
    std::unordered_set<uint32_t> folderIDs;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i]->folder) continue;
        foldersIn.emplace(items[i]->parentID, i);
        folderIDs.insert(items[i]->folder->folderID());
    }
    std::vector<size_t> order;
    std::vector<bool> placed(items.size(), false);
    auto take = [&](size_t i) {
        if (placed[i]) return;
        placed[i] = true;
        order.push_back(i);
    };
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i]->folder && !folderIDs.count(items[i]->parentID)) take(i);
    for (size_t next = 0;;) {
        for (; next < order.size(); ++next) {
            const auto [first, last] = foldersIn.equal_range(items[order[next]]->folder->folderID());
            for (auto it = first; it != last; ++it) take(it->second);
        }
        const auto cycle = std::find_if(foldersIn.begin(), foldersIn.end(), [&](auto& f) { return !placed[f.second]; });
        if (cycle == foldersIn.end()) break;
        take(cycle->second);
    }
    for (size_t i = 0; i < items.size(); ++i) take(i);
    for (size_t i : order) {
        if (stop) break;
        placeHfsItem(*items[i], scanType, parent);
    }
    found.clear();
}

void RecoveryModule::rememberQuickHfsNode(uint64_t volumeOffset, size_t length) {
    const uint64_t z = blockSize ? blockSize : 512;
    const uint64_t start = HFSLastVIBBlock * z + volumeOffset;
    rememberQuickSectors(start / z, (start + length + z - 1) / z);
}

void RecoveryModule::placeHfsItem(const HfsItem& item, const std::string& scanType, BaseTree* parent) {
    const HPlusCatalogCommon& record = item.folder ? static_cast<const HPlusCatalogCommon&>(*item.folder)
                                                   : static_cast<const HPlusCatalogCommon&>(*item.file);
    const bool deletedItem = item.source == HfsSource::NodeFreeSpace || item.source == HfsSource::Journal;
    auto node = TreeClassMethod::createNDIR();
    node->setentry(kHfs);
    node->setblockSstartsAtSector(HFSLastVIBBlock);
    node->setFileTypes(item.folder ? 1 : 2);
    node->createButtons();
    node->setcreatedDate(record.createDate);
    node->setmodifiedDate(record.contentModDate);
    node->setfileID(record.id);
    node->setparentID(item.parentID);
    node->setName(item.name);
    BaseTree* linked = node.get();
    bool added = false;
    if (item.folder) {
        folderCount += 1;
        node->setdelete(item.name == ".Trashes" || deletedItem ? 1 : 0);
        added = addFolderDir_toParentDir_withParentID_withscanType_andFileSystem(std::move(node), parent,
                                                                                item.parentID, scanType, "HFS");
    } else {
        fileCount += 1;
        node->setfileSize(item.file->dataFork.logicalSize);
        node->setdelete(deletedItem);
        addHfsFileRuns(*node, *item.file);
        added = addFileDir_toDir_onParentID_withScanType_andFileSytem(std::move(node), parent, item.parentID,
                                                                      scanType, "HFS");
    }
    if (added) countLinked(linked);
}

// With a volume header the runs are in allocation blocks, read as blocks of the volume's
// own size from the volume's start; further runs come from the extents-overflow tree.
// Without one, 4 KiB blocks over 512-byte sectors are assumed. Runs that do not cover
// the file leave it marked incomplete.
void RecoveryModule::addHfsFileRuns(BaseTree& node, const HPlusCatalogFile& file) const {
    const uint64_t sector = blockSize ? blockSize : 512;
    uint32_t unit = static_cast<uint32_t>(sector);
    uint64_t factor = kAssumedSectorsPerBlock;
    if (vib) {
        // In the volume's own blocks when the volume starts on one, else in 512-byte units.
        const uint32_t bs = vib->blockSize;
        unit = HFSLastVIBBlock * sector % bs == 0 ? bs : 512;
        factor = bs / unit;
        if (bs % unit != 0) {
            node.incomplete = node.fileSize > 0;
            return;
        }
    }
    node.setblockSize(unit);
    node.setblockSstartsAtSector(HFSLastVIBBlock * sector / unit);
    uint64_t covered = 0;  // allocation blocks
    auto add = [&](const std::array<HPlusExtDesc, 8>& extents) {
        for (const HPlusExtDesc& e : extents) {
            if (e.blockCount == 0) return false;
            if (uint64_t{e.startBlock} * factor > UINT32_MAX || uint64_t{e.blockCount} * factor > UINT32_MAX)
                return false;
            node.addDataExt(DataExt(static_cast<uint32_t>(e.startBlock * factor),
                                    static_cast<uint32_t>(e.blockCount * factor)));
            covered += e.blockCount;
        }
        return true;
    };
    bool more = add(file.dataFork.extents);
    // Each overflow record continues the fork at the block its key names; the walk ends
    // when one is missing or a record is not full.
    for (size_t i = 0; more && vib && covered < file.dataFork.totalBlocks && i < hfsOverflowExtents_.size(); ++i) {
        const auto next = hfsOverflowExtents_.find({file.fileID(), static_cast<uint32_t>(covered)});
        if (next == hfsOverflowExtents_.end()) break;
        more = add(next->second);
    }
    if (covered * factor * unit < node.fileSize) node.incomplete = 1;
}

// --- the deep scan ---

std::optional<VIB> RecoveryModule::readHfsHeaderAt(uint64_t sector) const {
    const uint32_t z = blockSize ? blockSize : 512;
    std::vector<uint8_t> bytes(std::max<uint32_t>(z, 512), 0);
    if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(sector, z, diskPath(), bytes,
                                                                                        bytes.size() / z, &unreadable_))
        return std::nullopt;
    return VIB::initVIBWithBlock(ByteView(bytes).sub(0, 512));
}

bool RecoveryModule::checkForHFSVolumeBlocks(uint64_t sector) {
    try {
        // The header lies 1024 bytes into its volume: it starts a sector only on sectors of 1 KiB or less.
        const uint64_t z = blockSize;
        if (z == 0 || 1024 % z != 0 || sector < 1024 / z) return false;
        const uint64_t headerSectors = 1024 / z;
        const auto header = readHfsHeaderAt(sector);
        if (!header) return false;
        for (const HfsVolume& known : hfsLostVolumes_)
            if (known.header.isEqualToVib(*header)) return false;  // another copy of a volume placed
        // The header is the volume's own (1024 bytes in) or its backup (1024 bytes before
        // the end); the volume is taken where its catalog's header node is where the header says.
        const uint64_t span = uint64_t{header->blockSize} * header->totalBlocks / z;
        std::vector<uint64_t> starts{sector - headerSectors};
        if (sector + headerSectors >= span && span > 2 * headerSectors) starts.push_back(sector + headerSectors - span);
        const uint64_t catalogBytes = uint64_t{header->blockSize} * header->cat.extents[0].startBlock;
        for (const uint64_t start : starts) {
            const uint64_t node = start * z + catalogBytes;
            std::vector<uint8_t> bytes(z, 0);
            if (DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
                    node / z, static_cast<uint32_t>(z), diskPath(), bytes, 1, &unreadable_) ||
                node % z != 0 || !isHeaderNode(BTNodeDesc::initBTNodeDescWIthBlock(ByteView(bytes))))
                continue;
            // Read the volume's trees as the quick scan does, keeping the quick scan's catalog node size.
            const auto quickCatalog = catBtHdrRec;
            const uint64_t quickJournal = journalBlockStart, quickJournalBytes = journalBlockSize;
            vib = header;
            catBtHdrRec.reset();
            hfsOverflowExtents_.clear();
            journalBlockStart = journalBlockSize = 0;
            checkCatlogAndExtentsWithStartSector(start);
            getJounalDetails();
            hfsLostVolumes_.push_back(
                {*header, start, catBtHdrRec, journalBlockStart, journalBlockSize, std::move(hfsOverflowExtents_)});
            catBtHdrRec = quickCatalog;
            journalBlockStart = quickJournal;
            journalBlockSize = quickJournalBytes;
            if (startSectorForPhysicalScan == 0) startSectorForPhysicalScan = start;
            hfsEntryCount = static_cast<int32_t>(hfsLostVolumes_.size());
            return true;
        }
    } catch (const std::exception& e) {
        log(e.what(), "checkForHFSVolumeBlocks");
    }
    return false;
}

uint32_t RecoveryModule::deepScanForHFS_inSectorNumber_withSize_andParent(ByteView buffer, uint64_t sector,
                                                                         uint32_t size, BaseTree* parent) {
    try {
        // However many descriptors the bytes hold, the node at the sector is read once.
        const size_t length = std::min<size_t>(size, buffer.size());
        for (size_t o = 0; o + 15 <= length; ++o) {
            const BTNodeDesc d = BTNodeDesc::initBTNodeDescWIthBlock(buffer.sub(o, 14));
            if (!d.isLeaf() || d.numRecords > 254 || d.reserved != 0) continue;
            ActiveFileSystem = kHfs;
            ProcessCatFragForDeletedFiles_andScanType_inParent_WithBTNodeDesc_andFlag(sector, "D", parent, d, 0);
            return 1;
        }
    } catch (const std::exception& e) {
        log(e.what(), "deepScanForHFS");
    }
    return 0;
}

void RecoveryModule::placeLostHFSVolumes() {
    try {
        std::map<int, std::vector<HfsItem>> byVolume;
        for (HfsItem& item : hfsFound_) byVolume[item.volume].push_back(std::move(item));
        hfsFound_.clear();
        const auto volumes = static_cast<int32_t>(hfsLostVolumes_.size());
        // Each volume in a partition of its own, labelled in the order the volumes were
        // met; records outside every volume after them, with the assumed block size.
        for (auto& [index, items] : byVolume) {
            hfsEntryCount = index >= 0 ? index + 1 : volumes + 1;
            vib.reset();
            HFSLastVIBBlock = 0;
            hfsOverflowExtents_.clear();
            if (index >= 0) {
                HfsVolume& volume = hfsLostVolumes_[static_cast<size_t>(index)];
                vib = volume.header;
                HFSLastVIBBlock = volume.startSector;
                hfsOverflowExtents_ = std::move(volume.overflowExtents);
            }
            placeHfsItems(items, "D", deepNode());
        }
        hfsEntryCount = volumes;
    } catch (const std::exception& e) {
        log(e.what(), "placeLostHFSVolumes");
    }
}

}  // namespace norix
