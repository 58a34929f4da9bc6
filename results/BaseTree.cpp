#include "results/BaseTree.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "results/TreeClassMethod.h"

namespace norix {

namespace {

// A folder child as the outline lists it: on "Deep Scan" the hide-HFS setting
// leaves out the lost HFS partitions.
bool listedFolder(const BaseTree& parent, const BaseTree& child, bool hideHFS) {
    if (child.fileType != 1) return false;
    return !(hideHFS && parent.fileName == kDeepScan && child.fileName.find("HFS") != std::string::npos);
}

}  // namespace

BaseTree::~BaseTree() {
    // Each node is destroyed only after its children were taken from it, so the
    // destructors never nest, however deep the tree.
    std::vector<std::unique_ptr<BaseTree>> pending = std::move(childrenArray);
    while (!pending.empty()) {
        std::unique_ptr<BaseTree> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->childrenArray) pending.push_back(std::move(child));
        node->childrenArray.clear();
    }
}

void BaseTree::setName(const std::string& name) {
    fileName = name;
    std::erase(fileName, '\r');
}

BaseTree* BaseTree::addChild(std::unique_ptr<BaseTree> child) {
    if (!child) return nullptr;
    childrenArray.push_back(std::move(child));
    return childrenArray.back().get();
}

BaseTree* BaseTree::getChildAtIndex(size_t index) const {
    return index < childrenArray.size() ? childrenArray[index].get() : nullptr;
}

uint32_t BaseTree::getFolderCountWithFlag(bool hideHFS) const {
    return static_cast<uint32_t>(std::ranges::count_if(
        childrenArray, [&](const auto& child) { return listedFolder(*this, *child, hideHFS); }));
}

BaseTree* BaseTree::getChildFolderinIndex_withflag(size_t index, bool hideHFS) const {
    for (const auto& child : childrenArray) {
        if (!listedFolder(*this, *child, hideHFS)) continue;
        if (index == 0) return child.get();
        --index;
    }
    return nullptr;
}

std::optional<std::string> BaseTree::getExtension() const {
    if (fileName.empty()) return std::nullopt;
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return std::string{};
    std::string extension = fileName.substr(dot + 1);
    std::ranges::transform(extension, extension.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string BaseTree::getDateInString() const {
    if (entry == 1 || entry == 2) return TreeClassMethod::getStringForDOSDate(modDate);
    return TreeClassMethod::getDateFromValue(modDate);
}

std::optional<std::time_t> BaseTree::getDateInDateFormat() const {
    const std::string text = getDateInString();
    int month = 0, day = 0, year = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d%c", &month, &day, &year, &rest) != 3) return std::nullopt;
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    // mktime rolls an impossible day such as 2-31 into the next month; such a date is no date.
    if (when == -1 || local.tm_mon != month - 1 || local.tm_mday != day) return std::nullopt;
    return when;
}

std::string BaseTree::description() const {
    return pathName + "/" + fileName;
}

void BaseTree::checked_withFileCount_andfileSize(bool flag, int64_t& fileTotal, int64_t& byteTotal) {
    const auto settled = [flag](const BaseTree& node) { return flag ? node.isAllChecked() : node.isAllUnChecked(); };
    std::vector<BaseTree*> pending{this};
    while (!pending.empty()) {
        BaseTree* node = pending.back();
        pending.pop_back();
        node->checked = flag ? 1 : 0;
        node->selected = flag ? 2 : 0;
        // Children already in the wanted state are left alone, so no file is counted twice.
        if (!settled(*node))
            for (const auto& child : node->childrenArray)
                if (!settled(*child)) pending.push_back(child.get());
        if (node->fileType == 2) {
            const int64_t size = static_cast<int64_t>(node->fileSize);
            fileTotal += flag ? 1 : -1;
            byteTotal += flag ? size : -size;
        }
        node->setRearrange();
    }
}

bool BaseTree::isAllChecked() const {
    if (childrenArray.empty()) return selected == 2;
    return std::ranges::all_of(childrenArray, [](const auto& child) { return child->selected == 2; });
}

bool BaseTree::isAllUnChecked() const {
    if (childrenArray.empty()) return selected == 0;
    return std::ranges::all_of(childrenArray, [](const auto& child) { return child->selected == 0; });
}

void BaseTree::setSelected() {
    selected = isAllChecked() ? 2 : isAllUnChecked() ? 0 : 1;
    setRearrange();
}

void BaseTree::setSelectedForParent() {
    for (BaseTree* ancestor = pndirPointer; ancestor; ancestor = ancestor->pndirPointer) ancestor->setSelected();
}

}  // namespace norix
