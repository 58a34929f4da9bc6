#include "results/TreeClassMethod.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace norix {

namespace {

bool isFolder(const BaseTree& node) {
    return node.fileType == 1;
}

bool isFile(const BaseTree& node) {
    return node.fileType == 2;
}

// Counts never wrap below zero, whatever order removals arrive in.
template <class Count>
void reduceBy(Count& count, uint64_t amount) {
    count = count > amount ? static_cast<Count>(count - amount) : 0;
}

// Depth-first, in child order, over the descendants of `node` that `enter` accepts
// (and below those only); the first one `match` accepts. An explicit stack keeps
// very deep trees off the call stack.
template <class Node, class Enter, class Match>
Node* firstDescendant(Node* node, Enter enter, Match match) {
    std::vector<Node*> pending;
    const auto pushChildren = [&](Node* parent) {
        for (auto child = parent->childrenArray.rbegin(); child != parent->childrenArray.rend(); ++child)
            if (enter(**child)) pending.push_back(child->get());
    };
    pushChildren(node);
    while (!pending.empty()) {
        Node* candidate = pending.back();
        pending.pop_back();
        if (match(*candidate)) return candidate;
        pushChildren(candidate);
    }
    return nullptr;
}

constexpr auto anyNode = [](const BaseTree&) { return true; };

std::string lowerCased(std::string text) {
    std::ranges::transform(text, text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The first sector of a folder's first cluster, or of the first cluster of one of
// its extents (cluster numbers, counted from cluster 2 at blocksStartsAtSector).
bool ownsDirectorySector(const BaseTree& folder, uint64_t sector) {
    if (folder.startRange <= sector && sector <= folder.endrange) return true;
    if (folder.SPC == 0 || sector < folder.blocksStartsAtSector) return false;
    const uint64_t cluster = (sector - folder.blocksStartsAtSector) / folder.SPC;
    return std::ranges::any_of(folder.dataExtArray, [cluster](const DataExt& extent) {
        return extent.startBlock >= 2 && extent.startBlock - 2 == cluster;
    });
}

// The path of parent's children. Siblings share one copy: the first or the last child
// linked before holds it, unless the folder was renamed since.
SharedText childPath(const BaseTree& parent, const BaseTree* child) {
    std::string path = parent.pathName + "/" + parent.fileName;
    const auto& siblings = parent.childrenArray;
    if (!siblings.empty())
        for (const BaseTree* sibling : {siblings.front().get(), siblings.back().get()})
            if (sibling != child && sibling->pathName == path) return sibling->pathName;
    return SharedText(std::move(path));
}

// Links a fixed branch under `parent` and counts it into its ancestors.
BaseTree* addFixedBranch(BaseTree* parent, const char* name, uint32_t fileID, uint32_t parentID, uint8_t deleted) {
    auto branch = TreeClassMethod::createNDIRWithName(name);
    branch->fileID = fileID;
    branch->parentID = parentID;
    branch->deleted = deleted;
    branch->pathName = parent->pathName.empty() ? parent->fileName : parent->pathName + "/" + parent->fileName;
    branch->pndirPointer = parent;
    BaseTree* linked = parent->addChild(std::move(branch));
    TreeClassMethod::addChildCountInDIR(linked);
    parent->folderCount += 1;
    return linked;
}

}  // namespace

std::unique_ptr<BaseTree> TreeClassMethod::createNDIR() {
    return std::make_unique<BaseTree>();
}

std::unique_ptr<BaseTree> TreeClassMethod::createRootWithName(const std::string& name) {
    auto root = createNDIRWithName(name);
    root->fileID = 2;
    root->parentID = 1;
    return root;
}

std::unique_ptr<BaseTree> TreeClassMethod::createNDIRWithName(const std::string& name) {
    auto node = createNDIR();
    node->setName(name);
    node->fileType = 1;
    node->createButtons();
    return node;
}

void TreeClassMethod::addQuickNodesInDir(BaseTree* root) {
    if (!root) return;
    BaseTree* quick = addFixedBranch(root, kQuickScan, 2, root->fileID, 0);
    addFixedBranch(quick, kExistingFiles, 2, root->fileID, 0);
    addFixedBranch(quick, kDeletedFiles, 7, root->fileID, 1);
}

void TreeClassMethod::addDeepNodesInDIR(BaseTree* root) {
    if (!root) return;
    BaseTree* deep = addFixedBranch(root, kDeepScan, 2, root->fileID, 0);
    addFixedBranch(deep, kLostAndFound, 0, 2, 0);
    BaseTree* tags = addFixedBranch(deep, kTags, 0, 2, 1);
    for (const char* category : {"Word", "PowerPoint", "Sheet", "Artist", "Camera"}) addFixedBranch(tags, category, 0, 0, 1);
}

std::unique_ptr<BaseTree> TreeClassMethod::createAndValuesFromDIR(const BaseTree* node) {
    if (!node) return nullptr;
    auto copy = createNDIR();
    copy->fileType = node->fileType;
    copy->fileSize = node->fileSize;
    copy->blockSize = node->blockSize;
    copy->blocksStartsAtSector = node->blocksStartsAtSector;
    copy->dataExtArray = node->dataExtArray;
    return copy;
}

std::unique_ptr<BaseTree> TreeClassMethod::removeDIR(BaseTree* node) {
    if (!node || !node->pndirPointer) return nullptr;
    BaseTree* parent = node->pndirPointer;
    auto& siblings = parent->childrenArray;
    const auto slot = std::ranges::find_if(siblings, [node](const auto& child) { return child.get() == node; });
    if (slot == siblings.end()) return nullptr;
    std::unique_ptr<BaseTree> removed = std::move(*slot);
    siblings.erase(slot);

    // A folder takes everything below it out of its ancestors' totals too.
    const uint64_t nodes = 1 + (isFile(*node) ? 0 : uint64_t{node->childrenCount});
    const uint64_t files = isFile(*node) ? 1 : node->fileCount;
    if (isFolder(*node)) reduceBy(parent->folderCount, 1);
    for (BaseTree* ancestor = parent; ancestor; ancestor = ancestor->pndirPointer) {
        reduceBy(ancestor->childrenCount, nodes);
        reduceBy(ancestor->fileCount, files);
        reduceBy(ancestor->fileSize, node->fileSize);
    }
    node->pndirPointer = nullptr;
    node->freeButton();
    return removed;
}

void TreeClassMethod::addChildCountInDIR(BaseTree* node) {
    if (!node) return;
    for (BaseTree* ancestor = node->pndirPointer; ancestor; ancestor = ancestor->pndirPointer) {
        ancestor->childrenCount += 1;
        if (isFile(*node)) ancestor->fileCount += 1;
    }
}

void TreeClassMethod::reduceFileCountInDir(BaseTree* node) {
    if (!node) return;
    for (BaseTree* ancestor = node->pndirPointer; ancestor; ancestor = ancestor->pndirPointer) {
        reduceBy(ancestor->fileSize, node->fileSize);
        reduceBy(ancestor->fileCount, 1);
        reduceBy(ancestor->childrenCount, 1);
    }
}

void TreeClassMethod::addChildCountInDIR_withCount(BaseTree* node, uint32_t count) {
    if (!node) return;
    for (BaseTree* ancestor = node->pndirPointer; ancestor && ancestor->fileName != kDeepScan;
         ancestor = ancestor->pndirPointer)
        ancestor->fileCount += count;
}

void TreeClassMethod::reduceChildCountInDIR_withCount(BaseTree* node, uint32_t count) {
    if (!node) return;
    for (BaseTree* ancestor = node->pndirPointer; ancestor && ancestor->fileName != kDeepScan;
         ancestor = ancestor->pndirPointer)
        reduceBy(ancestor->fileCount, count);
}

void TreeClassMethod::freeZeroChildFoldersFromNDIR(BaseTree* node) {
    if (!node) return;
    // Post-order: a folder's empty folders go before the folder itself is judged,
    // so a folder holding only empty folders goes as well.
    std::vector<std::pair<BaseTree*, bool>> pending{{node, false}};
    while (!pending.empty()) {
        auto [folder, childrenPruned] = pending.back();
        pending.pop_back();
        if (!childrenPruned) {
            pending.emplace_back(folder, true);
            for (const auto& child : folder->childrenArray)
                if (isFolder(*child) && !child->childrenArray.empty()) pending.emplace_back(child.get(), false);
            continue;
        }
        const size_t removed = std::erase_if(
            folder->childrenArray, [](const auto& child) { return isFolder(*child) && child->childrenArray.empty(); });
        reduceBy(folder->folderCount, removed);
    }
}

void TreeClassMethod::addParent_toNDIR(BaseTree* parent, BaseTree* child) {
    if (!parent || !child) return;
    // Below a deleted folder everything is deleted; a node deleted on its own stays so.
    child->deleted = child->deleted || parent->deleted;
    if (child->parentID == 0) child->parentID = parent->fileID;
    child->pndirPointer = parent;
    if (!parent->pathName.empty()) child->pathName = childPath(*parent, child);
}

void TreeClassMethod::addDataExtStartBlock_blockCount_toDir(uint32_t startBlock, uint32_t blockCount, BaseTree* node) {
    if (node) node->addDataExt(DataExt(startBlock, blockCount));
}

BaseTree* TreeClassMethod::searchForPath_inDir(const std::string& lowerPath, BaseTree* node) {
    if (!node) return nullptr;
    return firstDescendant(node, anyNode, [&](const BaseTree& candidate) {
        return lowerCased(candidate.pathName + "/" + candidate.fileName).find(lowerPath) != std::string::npos;
    });
}

BaseTree* TreeClassMethod::searchForKeyWord_inNDIR(const std::string& keyword, BaseTree* node) {
    if (!node) return nullptr;
    return firstDescendant(node, anyNode, [&](const BaseTree& candidate) { return candidate.fileName == keyword; });
}

BaseTree* TreeClassMethod::checkForParentInDIR_withID(BaseTree* node, uint32_t fileID) {
    if (!node) return nullptr;
    if (node->fileID == fileID) return node;
    return firstDescendant(node, anyNode, [fileID](const BaseTree& candidate) { return candidate.fileID == fileID; });
}

bool TreeClassMethod::checkForNDIR_withFileID_andNodeName(const BaseTree* node, uint32_t fileID,
                                                          const std::string& name) {
    if (!node) return false;
    const auto same = [&](const BaseTree& candidate) { return candidate.fileID == fileID && candidate.fileName == name; };
    return same(*node) || firstDescendant(node, anyNode, same);
}

BaseTree* TreeClassMethod::getNDIRFromLostAndFound_withExtensionName(BaseTree* lostAndFound, const std::string& name) {
    if (!lostAndFound) return nullptr;
    const auto& children = lostAndFound->childrenArray;
    const auto found = std::ranges::find_if(children, [&](const auto& child) { return child->fileName == name; });
    return found == children.end() ? nullptr : found->get();
}

BaseTree* TreeClassMethod::checkForParentForExFatAndFatWithStartSector_inParent(uint64_t sector, BaseTree* parent) {
    if (!parent) return nullptr;
    return firstDescendant(parent, isFolder, [sector](const BaseTree& folder) { return ownsDirectorySector(folder, sector); });
}

std::string TreeClassMethod::getDateFromValue(uint32_t secondsSince1904) {
    if (secondsSince1904 == 0) return "";
    const std::time_t when = static_cast<std::time_t>(secondsSince1904 - kSecondsFrom1904To1970);
    std::tm local{};
    char text[16];
    if (!localtime_r(&when, &local) || std::strftime(text, sizeof text, "%m-%d-%Y", &local) == 0) return "";
    return text;
}

std::string TreeClassMethod::getStringForDOSDate(uint32_t dosDateTime) {
    const unsigned year = (dosDateTime >> 25) + 1980;
    const unsigned month = (dosDateTime >> 21) & 0x0F;
    const unsigned day = (dosDateTime >> 16) & 0x1F;
    if (dosDateTime < 0x2000000 || month < 1 || month > 12 || day == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%u-%u-%u", month, day, year);
    return text;
}

std::string TreeClassMethod::checkSizeForNumber(double& size) {
    double scaled = size;
    for (const char* unit : {"KB", "MB", "GB", "TB", "PB", "EB"}) {
        scaled /= 1024;
        if (scaled <= 1024) {
            size = scaled;
            return unit;
        }
    }
    size = scaled / 1024;
    return "ZB";
}

std::string TreeClassMethod::sizeText(uint64_t bytes) {
    double size = static_cast<double>(bytes);
    const std::string unit = checkSizeForNumber(size);
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %s", size, unit.c_str());
    return text;
}

void TreeClassMethod::convertHostUniCharArrayToBig_length(std::span<uint16_t> units, size_t length) {
    if constexpr (std::endian::native == std::endian::big) return;
    for (uint16_t& unit : units.first(std::min(length, units.size()))) unit = static_cast<uint16_t>(unit << 8 | unit >> 8);
}

void TreeClassMethod::convertBigArrayToHost_length(std::span<uint16_t> units, size_t length) {
    convertHostUniCharArrayToBig_length(units, length);
}

void TreeClassMethod::writeError_inFile_forMethod(const std::string& message, const std::string& path,
                                                  const std::string& method) {
    // The log is kept only where its file was created beforehand.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return;
    const std::string line = method + " Exception: " + message + "\n";
    // One write per entry: O_APPEND puts it whole at the end even with several writers.
    // A failed write is dropped; logging never fails its caller.
    [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
}

}  // namespace norix
