// APFS: the sweep of a container for file-system tree nodes, the live trees that say
// which of the items found still exist, and the turning of the collected records into
// tree nodes.
//
// Every 4 KiB block that is a file-system tree node gives its inodes and file extents;
// copy-on-write leaves old copies of nodes behind, and where several copies of one
// record are met the one from the newest transaction wins. The container's newest valid
// checkpoint leads through the object maps to each volume's live tree: an item is
// existing exactly when that tree holds its inode, and every live file is listed, wherever
// its nodes lie. When the live tree cannot be read, an item is deleted when its folder
// was never found.
#include <algorithm>
#include <thread>
#include <unordered_set>

#include "disk/DiskReader.h"
#include "disk/Platform.h"
#include "records/apfs/BtreeNodePhysT.h"
#include "records/apfs/Container.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

namespace norix {

namespace {

constexpr uint64_t kBlock = kApfsBlockBytes;
constexpr uint32_t kSubtypeFsTree = 14, kSubtypeOmap = 11;
constexpr uint64_t kRootFolder = 2, kPrivateFolder = 3;
constexpr uint64_t kQuickChunkBlocks = 64;
// No tree is deeper than this, no walk reads more nodes, no folder chain is longer.
constexpr int kMaxTreeDepth = 16;
constexpr size_t kMaxTreeNodes = 1u << 20;
constexpr size_t kMaxFolderDepth = 1024;
constexpr uint32_t kMaxCheckpointBlocks = 1u << 16;
constexpr const char* kEncrypted = "encrypted APFS volume: files cannot be read without its key";

// Nanoseconds since 1970 as the tree keeps dates, seconds since 1904; 0 when out of range.
uint32_t treeDate(uint64_t nanoseconds) {
    const uint64_t seconds = nanoseconds / 1000000000 + TreeClassMethod::kSecondsFrom1904To1970;
    return seconds > UINT32_MAX ? 0 : static_cast<uint32_t>(seconds);
}

Item itemFrom(const JInodeValT& inode, uint64_t id, XidT xid) {
    Item item;
    for (size_t i = 0; i < inode.xfields.xf.size(); ++i) {
        if (const auto* name = std::get_if<XfName>(&inode.xfields.xf[i])) item.name = name->name;
        if (const auto* stream = std::get_if<XfSize>(&inode.xfields.xf[i]); stream && stream->size)
            item.file_size = stream->size;
    }
    item.node_id = id;
    item.parent = inode.parent_id;
    item.private_id = inode.private_id;
    item.creationtime = inode.change_time;
    item.modificationtime = inode.mod_time;
    item.accesstime = inode.access_time;
    // The mode says what the inode is: an empty file has as few fields as a folder.
    item.type = inode.isFolder() ? "folder" : "file";
    item.xid = xid;
    return item;
}

}  // namespace

bool RecoveryModule::magicFunctionFSTree(ByteView block) {
    if (!block.has(0, 32)) return false;
    const uint8_t type = block.u8(24), subtype = block.u8(28);
    return (type == 2 || type == 3) && block.u8(25) == 0 &&
           (subtype == 11 || subtype == 14 || subtype == 15 || subtype == 31) && block.u8(29) == 0 &&
           block.u8(30) == 0 && block.u8(31) == 0;
}

bool RecoveryModule::checkAPFSStartBlockWithCurrentBlock(ByteView block) {
    return block.has(0, 36) && block.u8(24) == 1 && block.u8(27) == 0x80 && block.matches(32, "NXSB");
}

void RecoveryModule::fillUIntForAPFSFromBuffer(ByteView block) {
    u17 = block.u8(17);
    u40 = block.u8(40);
    u41 = block.u8(41);
    u42 = block.u8(42);
}

// --- the block parser ---

uint32_t RecoveryModule::deepScanForAPFS_withSize_withScanType_withItemDict_andExtentDict(
    ByteView block, uint32_t /*size*/, const std::string& /*scanType*/, ApfsItemDict& items,
    ApfsExtentDict& extents) {
    return parseApfsNode(block, items, extents, false);
}

uint32_t RecoveryModule::parseApfsNode(ByteView block, ApfsItemDict& items, ApfsExtentDict& extents, bool live) {
    if (block.size() < kBlock || !magicFunctionFSTree(block)) return 0;
    block = block.sub(0, kBlock);
    const auto obj = Obj::initWithObjBlock(block);
    if (!obj || obj->getSubType() != kSubtypeFsTree || obj->getFlags() != 0) return 0;
    // Records of the live tree are the current ones whatever copies the sweep meets.
    const XidT xid = live ? UINT64_MAX : obj->hdr.o_xid;
    uint32_t count = 0;
    for (const NodeEntry& entry : obj->getDataArray()) {
        ++count;
        try {
            const uint64_t id = entry.getObjKeyId();
            if (const auto* extent = std::get_if<JExtentValT>(&entry._m_val)) {
                const auto* key = std::get_if<JExtentKeyT>(&entry._m_key);
                if (!key || extent->len == 0) continue;
                ApfsRun& run = extents.extents[id][key->getOffset()];
                if (run.length == 0 || xid >= run.xid) run = {extent->phys_block_num, extent->len, xid, live};
            } else if (const auto* inode = std::get_if<JInodeValT>(&entry._m_val)) {
                ++count;
                if (live) items.live.insert(id);
                Item item = itemFrom(*inode, id, xid);
                if (item.name.empty()) continue;
                auto [found, added] = items.items.try_emplace(id, item);
                if (!added && xid >= found->second.xid) found->second = std::move(item);
            }
        } catch (const std::exception& e) {
            log(e.what(), "deepScanForAPFS inside For Loop");
        }
    }
    return count;
}

// --- the live trees ---

bool RecoveryModule::readApfsBlocks(uint64_t containerSector, uint64_t firstBlock, std::span<uint8_t> buffer) const {
    const uint64_t z = blockSize;
    if (z == 0 || z > kBlock || kBlock % z != 0 || buffer.size() % kBlock != 0) return false;
    if (firstBlock > (UINT64_MAX - containerSector * z) / kBlock) return false;
    std::fill(buffer.begin(), buffer.end(), 0);
    return !DiskReader::readDataFromSector_withSectorSize_AtPath_InBuffer_ofNumberOfSectors(
        containerSector + firstBlock * (kBlock / z), static_cast<uint32_t>(z), diskPath(), buffer, buffer.size() / z,
        &unreadable_);
}

// The physical block of the newest version (no later than xid) of a virtual object.
std::optional<uint64_t> RecoveryModule::apfsOmapLookup(uint64_t containerSector, uint64_t treeBlock, OidT oid,
                                                       XidT xid) const {
    std::vector<uint8_t> bytes(kBlock);
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        if (!readApfsBlocks(containerSector, treeBlock, bytes)) return std::nullopt;
        const ByteView block(bytes);
        const ObjPhys hdr = ObjPhys::initWithObjPhysBlock(block);
        if ((hdr.o_type != 2 && hdr.o_type != 3) || hdr.o_subtype != kSubtypeOmap || !ObjPhys::checksumValid(block))
            return std::nullopt;
        const BtreeNodePhysT node = BtreeNodePhysT::headerOf(block);
        // Keys (oid, xid) are sorted: the last one not above the one wanted.
        std::optional<BtreeNodePhysT::Place> best;
        for (uint32_t i = 0; i < std::min(node.btn_nkeys, BtreeNodePhysT::kMaxKeys); ++i) {
            const auto place = node.placeOf(block, i, 16, node.btn_level ? 8 : 16);
            if (!place) return std::nullopt;
            const OidT keyOid = block.u64le(place->key);
            if (keyOid > oid || (keyOid == oid && block.u64le(place->key + 8) > xid)) break;
            best = place;
        }
        if (!best) return std::nullopt;
        if (node.btn_level == 0)
            return block.u64le(best->key) == oid ? std::optional(block.u64le(best->value + 8)) : std::nullopt;
        treeBlock = block.u64le(best->value);
    }
    return std::nullopt;
}

void RecoveryModule::walkApfsTree(uint64_t containerSector, uint64_t omapTree, OidT root, XidT xid,
                                  ApfsItemDict& items, ApfsExtentDict& extents) {
    std::vector<std::pair<OidT, int>> pending{{root, 0}};
    std::unordered_set<uint64_t> visited;
    std::vector<uint8_t> bytes(kBlock);
    while (!pending.empty() && visited.size() < kMaxTreeNodes) {
        if (waitWhilePausedOrStopped()) return;
        const auto [oid, depth] = pending.back();
        pending.pop_back();
        const auto at = apfsOmapLookup(containerSector, omapTree, oid, xid);
        if (!at || !visited.insert(*at).second || !readApfsBlocks(containerSector, *at, bytes)) continue;
        const ByteView block(bytes);
        if (!ObjPhys::checksumValid(block)) continue;
        const auto obj = Obj::initWithObjBlock(block);
        if (!obj || obj->getSubType() != kSubtypeFsTree) continue;
        if (obj->body.btn_level == 0) {
            parseApfsNode(block, items, extents, true);
            if (containerSector == 0 && apfsQuickContainer_) {
                const uint64_t sectors = kBlock / blockSize;
                rememberQuickSectors(*at * sectors, (*at + 1) * sectors);
            }
            continue;
        }
        if (depth + 1 >= kMaxTreeDepth) continue;
        for (const NodeEntry& entry : obj->getDataArray())
            if (const auto* child = std::get_if<PointerValT>(&entry._m_val))
                pending.emplace_back(child->pointer, depth + 1);
    }
}

bool RecoveryModule::readApfsLiveTree(uint64_t containerSector, ApfsItemDict& items, ApfsExtentDict& extents,
                                      ByteView known) {
    try {
        apfsContainerBlocks_ = 0;
        std::vector<uint8_t> bytes(kBlock);
        if (!readApfsBlocks(containerSector, 0, bytes)) return false;
        auto newest = NxSuperblock::initWithBlock(ByteView(bytes));
        if (!newest && !known.empty()) newest = NxSuperblock::initWithBlock(known);
        // The checkpoint area holds a copy of the superblock per checkpoint: the newest
        // valid one describes the container.
        if (newest && newest->nx_xp_desc_blocks < kMaxCheckpointBlocks) {
            const NxSuperblock first = *newest;
            for (uint32_t i = 0; i < first.nx_xp_desc_blocks; ++i) {
                if (!readApfsBlocks(containerSector, first.nx_xp_desc_base + i, bytes)) break;
                const auto copy = NxSuperblock::initWithBlock(ByteView(bytes));
                if (copy && copy->hdr.o_xid > newest->hdr.o_xid) newest = copy;
            }
        }
        if (!newest || newest->nx_block_size != kBlock) return false;
        apfsContainerBlocks_ = newest->nx_block_count;
        const XidT xid = newest->hdr.o_xid;
        if (!readApfsBlocks(containerSector, newest->nx_omap_oid, bytes)) return false;
        const auto omap = OmapPhys::initWithBlock(ByteView(bytes));
        if (!omap) return false;
        bool read = false;
        for (const OidT volume : newest->nx_fs_oid) {
            const auto at = apfsOmapLookup(containerSector, omap->om_tree_oid, volume, xid);
            if (!at || !readApfsBlocks(containerSector, *at, bytes)) continue;
            const auto superblock = ApfsSuperblock::initWithBlock(ByteView(bytes));
            if (!superblock) continue;
            if (superblock->encrypted()) {
                // Once per volume, though the deep scan reads the container again.
                const std::string notice = superblock->apfs_volname + ": " + kEncrypted;
                if (apfsNotices_.insert(notice).second) {
                    log(notice, "readApfsLiveTree");
                    if (del) del->showNotice(notice);
                }
                continue;
            }
            if (!readApfsBlocks(containerSector, superblock->apfs_omap_oid, bytes)) continue;
            const auto volumeMap = OmapPhys::initWithBlock(ByteView(bytes));
            if (!volumeMap) continue;
            walkApfsTree(containerSector, volumeMap->om_tree_oid, superblock->apfs_root_tree_oid, xid, items, extents);
            read = true;
        }
        items.liveKnown = items.liveKnown || read;
        return read;
    } catch (const std::exception& e) {
        log(e.what(), "readApfsLiveTree");
        return false;
    }
}

// --- the quick scan ---

void RecoveryModule::quickSacnForAPFS(std::span<const uint8_t> /*sectorZero*/) {
    try {
        const auto disk = theDisk();
        const uint64_t n = disk ? disk->getDiskSize() / kBlock : 0;
        if (n < 4) return;
        ApfsItemDict items;
        ApfsExtentDict extents;
        previousBlockNumberAPFS = 0;
        apfsQuickContainer_ = true;
        readApfsLiveTree(0, items, extents);
        // The first quarter of the container, 64 blocks per read.
        const uint64_t step = std::max<uint64_t>(n / 80, 1);
        const uint64_t sectorsPerBlock = blockSize ? kBlock / blockSize : 0;
        int64_t lastProgress = -1;
        uint64_t total = 0;
        std::vector<uint8_t> chunk(kQuickChunkBlocks * kBlock);
        for (uint64_t b = 0; b < n / 4 && sectorsPerBlock; b += kQuickChunkBlocks) {
            if (waitWhilePausedOrStopped()) break;
            const uint64_t count = std::min(kQuickChunkBlocks, n - b);
            if (!readApfsBlocks(0, b, std::span(chunk).first(count * kBlock))) {
                consoleLog("Error in reading\n");
                continue;
            }
            for (uint64_t j = 0; j < count; ++j) {
                const auto progress = static_cast<int64_t>((b + j) / step);
                if (progress != lastProgress && del) del->increasePercentage(std::to_string(progress));
                lastProgress = progress;
                if (waitWhilePausedOrStopped()) break;
                const uint32_t found = parseApfsNode(ByteView(chunk).sub(j * kBlock, kBlock), items, extents, false);
                if (found) rememberQuickSectors((b + j) * sectorsPerBlock, (b + j + 1) * sectorsPerBlock);
                total += found;
            }
        }
        if (total != 0 || !items.items.empty())
            enumerateDirectoryEntryApfsItemsDict_ExtentDict_Parent_andScantType(items, extents,
                                                                                dirRoot()->getChildAtIndex(0), "Q");
    } catch (const std::exception& e) {
        log(e.what(), "quickSacnForAPFS");
    }
}

// --- the deep scan's block step ---

bool RecoveryModule::deepScanApfsBlock(ByteView block, uint64_t sector) {
    if (!apfsDeepItems_ || !apfsDeepExtents_) return false;
    if (quickScanListed(sector)) return true;
    if (!checkAPFSStartBlockWithCurrentBlock(block))
        return deepScanForAPFS_withSize_withScanType_withItemDict_andExtentDict(block, kBlock, "D", *apfsDeepItems_,
                                                                               *apfsDeepExtents_) != 0;
    // A copy of the superblock of the container being collected (its checkpoints) has
    // its identifier: two containers of one size are still two.
    const bool first = apfsEntryCount == 0;
    const auto uuid = block.bytes(72, apfsContainerUuid_.size());
    if (!first && std::equal(uuid.begin(), uuid.end(), apfsContainerUuid_.begin())) return true;
    if (first && startSectorForPhysicalScan == 0) startSectorForPhysicalScan = sector;
    fillUIntForAPFSFromBuffer(block);
    std::copy(uuid.begin(), uuid.end(), apfsContainerUuid_.begin());
    if (!first) {
        enumerateDirectoryEntryApfsItemsDict_ExtentDict_Parent_andScantType(*apfsDeepItems_, *apfsDeepExtents_,
                                                                            deepNode(), "D");
        apfsDeepItems_->clear();
        apfsDeepExtents_->clear();
    }
    previousBlockNumberAPFS = sector;
    apfsEntryCount += 1;
    if (readApfsLiveTree(sector, *apfsDeepItems_, *apfsDeepExtents_)) return true;
    // A copy from the checkpoint ring, the container's first block being damaged: the
    // container starts as many blocks before it as the copy lies into the container,
    // when its live tree can be read from there.
    const auto copy = NxSuperblock::initWithBlock(block);
    if (!copy || copy->nx_xp_desc_blocks == 0 || copy->nx_xp_desc_blocks >= kMaxCheckpointBlocks) return true;
    const uint64_t into = copy->nx_xp_desc_base +
                          (uint64_t{copy->nx_xp_desc_index} + copy->nx_xp_desc_len + copy->nx_xp_desc_blocks - 1) %
                              copy->nx_xp_desc_blocks;
    const uint64_t perBlock = kBlock / blockSize;
    if (into <= sector / perBlock &&
        readApfsLiveTree(sector - into * perBlock, *apfsDeepItems_, *apfsDeepExtents_, block))
        previousBlockNumberAPFS = sector - into * perBlock;
    return true;
}

// --- from records to tree nodes ---

std::optional<RecoveryModule::ApfsTargets> RecoveryModule::apfsTargets(const std::string& scanType) {
    std::unique_lock lock(treeLock());
    BaseTree* root = dirRoot();
    if (!root) return std::nullopt;
    // What the deep scan finds in the container the quick scan read joins the quick
    // scan's listing: nothing is listed twice.
    BaseTree* quick = root->getChildAtIndex(0);
    const bool quickListing = quick && quick->fileName == kQuickScan && quick->childCount() >= 2;
    if (scanType == "Q" || (apfsQuickContainer_ && previousBlockNumberAPFS == 0 && quickListing)) {
        if (!quickListing) return std::nullopt;
        return ApfsTargets{quick->getChildAtIndex(0), quick->getChildAtIndex(1), true};
    }
    BaseTree* deep = deepNode();
    if (!deep) return std::nullopt;
    const int32_t n = std::max(apfsEntryCount, 1);
    const std::string label = n == 1 ? "Apfs" : "Apfs - " + std::to_string(n - 1);
    const std::string name = "Lost Partition: " + label;
    for (size_t i = 2; i < deep->childCount(); ++i)
        if (deep->getChildAtIndex(i)->fileName == name) {
            BaseTree* partition = deep->getChildAtIndex(i);
            return ApfsTargets{partition, partition->getChildAtIndex(0) ? partition->getChildAtIndex(0) : partition,
                               false};
        }
    BaseTree* partition = linkChild(TreeClassMethod::createNDIRWithName(name), deep);
    TreeClassMethod::addChildCountInDIR(partition);
    BaseTree* lost = linkChild(TreeClassMethod::createNDIRWithName("Lost"), partition);
    TreeClassMethod::addChildCountInDIR(lost);
    lock.unlock();
    if (del) del->reloadOutlineData();
    return ApfsTargets{partition, lost, false};
}

void RecoveryModule::enumerateDirectoryEntryApfsItemsDict_ExtentDict_Parent_andScantType(
    ApfsItemDict& items, ApfsExtentDict& extents, BaseTree* /*parent*/, const std::string& scanType) {
    try {
        if (items.items.empty()) return;
        const auto targets = apfsTargets(scanType);
        if (!targets) return;
        // In the quick scan's listing, what it placed already is found by id.
        std::map<uint64_t, BaseTree*> placed;
        if (targets->quick) {
            std::shared_lock lock(treeLock());
            std::vector<BaseTree*> pending{targets->base, targets->deleted};
            while (!pending.empty()) {
                BaseTree* node = pending.back();
                pending.pop_back();
                for (auto& child : node->childrenArray) {
                    if (child->entry == kApfs) placed.emplace(child->fileID, child.get());
                    pending.push_back(child.get());
                }
            }
        }
        for (const auto& [id, item] : items.items)
            if (id != kRootFolder && id != kPrivateFolder && !placed.count(id))
                ApfsTreeItem_andItemsDict_ParentDict_ExtentDict_withScanType(item, items, extents, *targets,
                                                                             placed);
    } catch (const std::exception& e) {
        log(e.what(), "enumerateDirectoryEntryApfsItemsDict");
    }
}

void RecoveryModule::ApfsTreeItem_andItemsDict_ParentDict_ExtentDict_withScanType(
    const Item& item, const ApfsItemDict& items, const ApfsExtentDict& extents, const ApfsTargets& targets,
    std::map<uint64_t, BaseTree*>& placed) {
    try {
        // The item and its folders up to one already placed, the volume's root, or a
        // folder never found (the chain is an orphan's); a loop of stale parents ends there too.
        std::vector<const Item*> chain{&item};
        BaseTree* anchor = nullptr;
        bool orphan = false;
        std::unordered_set<uint64_t> seen{item.node_id};
        while (chain.back()->parent > kRootFolder) {
            const uint64_t parent = chain.back()->parent;
            if (const auto known = placed.find(parent); known != placed.end()) {
                anchor = known->second;
                orphan = !anchor || anchor->fileType != 1;
                if (orphan) anchor = nullptr;
                break;
            }
            const auto found = items.items.find(parent);
            if (found == items.items.end() || !found->second.isFolder() || !seen.insert(parent).second ||
                chain.size() >= kMaxFolderDepth) {
                orphan = true;
                break;
            }
            chain.push_back(&found->second);
        }
        // From the top down: each folder is placed before what it holds.
        BaseTree* target = anchor;
        bool parentDeleted = anchor && anchor->deleted;
        for (size_t i = chain.size(); i-- > 0;) {
            const Item& it = *chain[i];
            const bool top = i + 1 == chain.size();
            const bool orphaned = top && orphan;
            const bool deleted = items.liveKnown ? !items.live.count(it.node_id) : orphaned || parentDeleted;
            if (top && !anchor)
                target = orphaned ? targets.deleted : deleted && targets.quick ? targets.deleted : targets.base;
            auto node = apfsNode(it, deleted, extents);
            if (orphaned) node->setdelete(1);
            BaseTree* linked = node.get();
            bool added = false;
            const uint32_t parentID = node->parentID;
            if (it.isFolder()) {
                folderCount += 1;
                added = addFolderDir_toParentDir_withParentID_withscanType_andFileSystem(
                    std::move(node), target, parentID, targets.quick ? "Q" : "D", "Apfs");
            } else {
                fileCount += 1;
                added = addFileDir_toDir_onParentID_withScanType_andFileSytem(std::move(node), target, parentID,
                                                                              targets.quick ? "Q" : "D", "Apfs");
            }
            if (added) countLinked(linked);
            // What a refused folder holds goes where the folder would have gone.
            placed[it.node_id] = added ? linked : target;
            target = added && it.isFolder() ? linked : target;
            parentDeleted = deleted || orphaned;
        }
    } catch (const std::exception& e) {
        log(e.what(), "searchEntered");
    }
}

std::unique_ptr<BaseTree> RecoveryModule::apfsNode(const Item& item, bool deleted,
                                                   const ApfsExtentDict& extents) const {
    auto node = TreeClassMethod::createNDIR();
    node->setblockSize(blockSize);
    node->setentry(kApfs);
    node->setFileTypes(item.isFolder() ? 1 : 2);
    node->createButtons();
    node->setparentID(item.parent < 3 ? 2 : static_cast<uint32_t>(item.parent));
    node->setfileID(static_cast<uint32_t>(item.node_id));
    node->setdelete(deleted ? 1 : 0);
    node->setcreatedDate(treeDate(item.creationtime));
    node->setmodifiedDate(treeDate(item.modificationtime));
    node->setName(item.name);
    node->setblockSstartsAtSector(previousBlockNumberAPFS);
    if (!item.isFolder()) {
        node->setfileSize(item.file_size);
        addApfsRuns(*node, item, extents);
    }
    return node;
}

// The runs from the file's start on, as long as each continues the one before and lies
// inside the container and the device (past them lie another volume's bytes, or none);
// the runs of the live tree alone when it has any (older copies may describe other
// places). Positions are counted from the first run's block, so a container of any
// size is addressed with 32-bit runs. Runs that do not cover the file leave it incomplete.
void RecoveryModule::addApfsRuns(BaseTree& node, const Item& item, const ApfsExtentDict& extents) const {
    const auto found = extents.extents.find(item.private_id ? item.private_id : item.node_id);
    uint64_t covered = 0;
    if (found != extents.extents.end() && blockSize != 0) {
        const uint64_t containerBytes = previousBlockNumberAPFS * blockSize;
        uint64_t blocks = apfsContainerBlocks_ ? apfsContainerBlocks_ : UINT64_MAX;
        if (const auto disk = theDisk()) {
            const uint64_t deviceBytes = disk->getDiskSize();
            blocks = std::min(blocks, deviceBytes > containerBytes ? (deviceBytes - containerBytes) / kBlock : 0);
        }
        const bool anyLive =
            std::any_of(found->second.begin(), found->second.end(), [](const auto& run) { return run.second.live; });
        std::vector<ApfsRun> runs;
        for (const auto& [offset, run] : found->second) {
            if (anyLive && !run.live) continue;
            const uint64_t runBlocks = run.length / kBlock + (run.length % kBlock != 0);
            if (offset != covered || run.start > blocks || runBlocks > blocks - run.start) break;
            runs.push_back(run);
            covered += run.length;
        }
        // In 4 KiB units when the container starts on one, else in 512-byte units.
        const uint32_t unit = containerBytes % kBlock == 0 ? static_cast<uint32_t>(kBlock) : 512;
        const uint64_t perBlock = kBlock / unit;
        const uint64_t base = runs.empty() ? 0
                                           : std::min_element(runs.begin(), runs.end(), [](auto& a, auto& b) {
                                                 return a.start < b.start;
                                             })->start;
        covered = 0;
        node.setblockSize(unit);
        node.setblockSstartsAtSector(containerBytes / unit + base * perBlock);
        for (const ApfsRun& run : runs) {
            const uint64_t start = (run.start - base) * perBlock, count = (run.length + unit - 1) / unit;
            if (start > UINT32_MAX || count > UINT32_MAX) break;
            node.addDataExt(DataExt(static_cast<uint32_t>(start), static_cast<uint32_t>(count)));
            covered += run.length;
        }
    }
    if (covered < node.fileSize) node.incomplete = 1;
}

}  // namespace norix
