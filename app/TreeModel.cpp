#include "app/TreeModel.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

namespace norix::app {

namespace {
enum Column { kName, kSize, kFiles, kColumns };
}

TreeModel::TreeModel(QObject* parent) : QAbstractItemModel(parent) {}
TreeModel::~TreeModel() = default;

void TreeModel::setModule(RecoveryModule* module) {
    module_ = module;
    reload();
    emit moduleChanged(module);
}

void TreeModel::reload() {
    beginResetModel();
    top_.children.clear();
    top_.fetched = false;
    endResetModel();
    if (module_) fetchMore({});
}

TreeModel::Item* TreeModel::itemOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Item*>(index.internalPointer()) : const_cast<Item*>(&top_);
}

BaseTree* TreeModel::resolve(const Item* item) const {
    if (!module_ || item == &top_) return nullptr;
    return resolvePath(*module_, pathOf(createIndex(item->row, 0, const_cast<Item*>(item))));
}

NodePath TreeModel::pathOf(const QModelIndex& index) const {
    NodePath path;
    if (!index.isValid()) return path;
    for (const Item* item = itemOf(index); item->parent != &top_; item = item->parent) path.push_back(item->position);
    std::ranges::reverse(path);
    return path;
}

QModelIndex TreeModel::indexForPath(const NodePath& path) {
    QModelIndex current = index(0, 0);
    for (const size_t position : path) {
        if (canFetchMore(current)) fetchMore(current);
        const auto& children = itemOf(current)->children;
        const auto at = std::ranges::find_if(children, [&](const auto& child) { return child->position == position; });
        if (at == children.end()) return {};
        current = createIndex((*at)->row, 0, at->get());
    }
    return current;
}

namespace {

// The outline lists every branch below the root, and folders below those.
bool outlined(const BaseTree& parent, const BaseTree& child) {
    return parent.getParent() == nullptr || child.fileType == 1;
}

}  // namespace

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const {
    const Item* item = itemOf(parent);
    if (row < 0 || column < 0 || column >= kColumns || static_cast<size_t>(row) >= item->children.size()) return {};
    return createIndex(row, column, item->children[static_cast<size_t>(row)].get());
}

QModelIndex TreeModel::parent(const QModelIndex& index) const {
    const Item* item = itemOf(index);
    if (!index.isValid() || item->parent == &top_) return {};
    return createIndex(item->parent->row, 0, item->parent);
}

int TreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    return static_cast<int>(itemOf(parent)->children.size());
}

int TreeModel::columnCount(const QModelIndex&) const { return kColumns; }

bool TreeModel::hasChildren(const QModelIndex& parent) const {
    if (!parent.isValid()) return !top_.children.empty();
    if (parent.column() > 0) return false;
    if (!module_) return false;
    std::shared_lock lock(module_->treeLock());
    const BaseTree* node = resolve(itemOf(parent));
    if (!node || node->fileType == 2) return false;
    if (!node->getParent()) return node->childCount() > 0;
    return node->fileName == kDeepScan ? node->getFolderCountWithFlag(false) > 0 : node->folderCount > 0;
}

bool TreeModel::canFetchMore(const QModelIndex& parent) const {
    return module_ && !itemOf(parent)->fetched && (!parent.isValid() || hasChildren(parent));
}

void TreeModel::fetchMore(const QModelIndex& parent) {
    Item* item = itemOf(parent);
    if (!module_ || item->fetched) return;
    std::vector<size_t> positions;
    {
        std::shared_lock lock(module_->treeLock());
        if (item == &top_) {
            if (module_->dirRoot()) positions.push_back(0);
        } else if (const BaseTree* node = resolve(item); node && node->fileType != 2) {
            for (size_t position = 0; position < node->childCount(); ++position)
                if (outlined(*node, *node->getChildAtIndex(position))) positions.push_back(position);
        }
    }
    item->fetched = true;
    if (positions.empty()) return;
    beginInsertRows(parent, 0, static_cast<int>(positions.size()) - 1);
    for (const size_t position : positions) {
        auto child = std::make_unique<Item>();
        child->parent = item;
        child->row = static_cast<int>(item->children.size());
        child->position = position;
        item->children.push_back(std::move(child));
    }
    endInsertRows();
}

QVariant TreeModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !module_) return {};
    std::shared_lock lock(module_->treeLock());
    const BaseTree* node = resolve(itemOf(index));
    if (!node) return {};
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case kName: return QString::fromStdString(node->fileName);
        case kSize: return QString::fromStdString(TreeClassMethod::sizeText(node->fileSize));
        case kFiles: return node->fileType == 2 ? QVariant() : QVariant(node->fileCount);
        }
    }
    if (role == Qt::CheckStateRole && index.column() == kName)
        return node->selected == 2 ? Qt::Checked : node->selected == 1 ? Qt::PartiallyChecked : Qt::Unchecked;
    if (role == Qt::ToolTipRole) return QString::fromStdString(node->pathName + "/" + node->fileName);
    return {};
}

bool TreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid()) return false;
    // A click checks an unchecked node and unchecks a partly or fully checked one.
    (void)value;
    setChecked(index, data(index, Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Unchecked);
    return true;
}

void TreeModel::setChecked(const QModelIndex& index, bool checked) {
    if (!module_ || !index.isValid()) return;
    int64_t files = 0, bytes = 0;
    {
        std::unique_lock lock(module_->treeLock());
        BaseTree* node = resolve(itemOf(index));
        if (!node) return;
        node->checked_withFileCount_andfileSize(checked, files, bytes);
        node->setSelectedForParent();
    }
    emit checksChanged(files, bytes);
    announceChanges(&top_);
}

void TreeModel::announceChanges(const Item* item) {
    if (item->children.empty()) return;
    const QModelIndex parent = item == &top_ ? QModelIndex() : createIndex(item->row, 0, const_cast<Item*>(item));
    emit dataChanged(index(0, kName, parent), index(static_cast<int>(item->children.size()) - 1, kName, parent),
                     {Qt::CheckStateRole});
    for (const auto& child : item->children) announceChanges(child.get());
}

QModelIndex TreeModel::indexForNames(const QStringList& names) {
    QModelIndex current = index(0, 0);
    for (const QString& name : names) {
        if (canFetchMore(current)) fetchMore(current);
        QModelIndex next;
        for (int row = 0; row < rowCount(current) && !next.isValid(); ++row)
            if (index(row, 0, current).data().toString() == name) next = index(row, 0, current);
        if (!next.isValid()) return {};
        current = next;
    }
    return current;
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kName) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant TreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* titles[] = {"Name", "Size", "Files"};
    return section >= 0 && section < kColumns ? QVariant(titles[section]) : QVariant();
}

}  // namespace norix::app
