#include "app/ResultsModel.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QStyle>
#include <mutex>
#include <shared_mutex>

#include "app/Decoding.h"
#include "results/FilterState.h"
#include "results/SearchResult.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

namespace norix::app {

ResultsModel::ResultsModel(const FilterState& filter, QObject* parent) : QAbstractTableModel(parent), filter_(filter) {}

void ResultsModel::setModule(RecoveryModule* module) {
    module_ = module;
    search_.reset();
    folder_.clear();
    reload();
}

void ResultsModel::showFolder(const NodePath& folder) {
    folder_ = folder;
    search_.reset();
    reload();
}

void ResultsModel::showMatches(std::shared_ptr<const SearchResult> search) {
    search_ = std::move(search);
    reload();
}

void ResultsModel::reload() {
    beginResetModel();
    rows_.clear();
    matches_.clear();
    if (module_) {
        std::shared_lock lock(module_->treeLock());
        if (search_) {
            matches_ = search_->matches();
            for (size_t position = 0; position < matches_.size(); ++position)
                if (filter_.isListed(*matches_[position])) rows_.push_back(position);
        } else if (const BaseTree* dir = resolvePath(*module_, folder_)) {
            for (size_t position = 0; position < dir->childCount(); ++position)
                if (filter_.isListed(*dir->getChildAtIndex(position))) rows_.push_back(position);
        }
    }
    endResetModel();
}

BaseTree* ResultsModel::nodeAt(int row) const {
    if (!module_ || row < 0 || static_cast<size_t>(row) >= rows_.size()) return nullptr;
    const size_t position = rows_[static_cast<size_t>(row)];
    if (search_) return matches_[position];
    const BaseTree* dir = resolvePath(*module_, folder_);
    return dir ? dir->getChildAtIndex(position) : nullptr;
}

NodePath ResultsModel::pathOfRow(int row) const {
    if (!module_) return {};
    std::shared_lock lock(module_->treeLock());
    const BaseTree* node = nodeAt(row);
    if (!node) return {};
    if (!search_) {
        NodePath path = folder_;
        path.push_back(rows_[static_cast<size_t>(row)]);
        return path;
    }
    NodePath path = pathOfNode(*node);
    return resolvePath(*module_, path) == node ? path : NodePath{};
}

bool ResultsModel::isFolderWithChildren(int row) const {
    if (!module_) return false;
    std::shared_lock lock(module_->treeLock());
    const BaseTree* node = nodeAt(row);
    return node && node->fileType == 1 && node->childCount() > 0;
}

std::unique_ptr<BaseTree> ResultsModel::thumbnailSource(const NodePath& path, uint64_t maxBytes) const {
    if (!module_) return nullptr;
    std::shared_lock lock(module_->treeLock());
    const BaseTree* node = resolvePath(*module_, path);
    if (!node || node->fileType == 1 || node->corrupted || node->fileSize >= maxBytes ||
        !filter_.checkForImageFilter(node->getExtension()))
        return nullptr;
    return readableCopy(*node);
}

void ResultsModel::setCorrupted(const NodePath& path) {
    if (!module_) return;
    std::unique_lock lock(module_->treeLock());
    if (BaseTree* node = resolvePath(*module_, path)) node->setCorrupted(1);
}

int ResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QString ResultsModel::sizeCell(uint64_t bytes) {
    double size = static_cast<double>(bytes);
    const std::string unit = TreeClassMethod::checkSizeForNumber(size);
    return QString::asprintf("%.2f%s", size, unit.c_str());
}

QVariant ResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !module_) return {};
    std::shared_lock lock(module_->treeLock());
    const BaseTree* node = nodeAt(index.row());
    if (!node) return {};
    const bool folder = node->fileType == 1;
    if (role == Qt::CheckStateRole && index.column() == kCheck)
        return node->selected == 2 ? Qt::Checked : node->selected == 1 ? Qt::PartiallyChecked : Qt::Unchecked;
    if (role == Qt::DecorationRole && index.column() == kName) {
        if (folder) return QApplication::style()->standardIcon(QStyle::SP_DirIcon);
        static const QFileIconProvider icons;
        return icons.icon(QFileInfo(QString::fromStdString(node->fileName)));
    }
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
    case kName: return QString::fromStdString(node->fileName);
    case kPath: return QString::fromStdString(node->pathName);
    case kType: return folder ? QString("Folder") : QString::fromStdString(node->getExtension().value_or(""));
    case kDate: return QString::fromStdString(node->getDateInString());
    case kSize: return sizeCell(node->fileSize);
    }
    return {};
}

bool ResultsModel::setData(const QModelIndex& index, const QVariant&, int role) {
    if (role != Qt::CheckStateRole || index.column() != kCheck || !module_) return false;
    int64_t files = 0, bytes = 0;
    {
        std::unique_lock lock(module_->treeLock());
        BaseTree* node = nodeAt(index.row());
        if (!node) return false;
        // A click checks an unchecked node and unchecks a partly or fully checked one.
        node->checked_withFileCount_andfileSize(node->selected == 0, files, bytes);
        node->setSelectedForParent();
    }
    emit checksChanged(files, bytes);
    refreshChecks();
    return true;
}

void ResultsModel::refreshChecks() {
    if (!rows_.empty()) emit dataChanged(index(0, kCheck), index(rowCount() - 1, kCheck), {Qt::CheckStateRole});
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == kCheck) flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* titles[] = {"", "Name", "Path", "Type", "Date", "Size"};
    return section >= 0 && section < kColumns ? QVariant(titles[section]) : QVariant();
}

}  // namespace norix::app
