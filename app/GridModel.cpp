#include "app/GridModel.h"

#include "scan/RecoveryModule.h"

namespace norix::app {

GridModel::GridModel(ResultsModel& results, QObject* parent)
    : QIdentityProxyModel(parent),
      results_(results),
      queue_(kSide, [this](int row, const NodePath& path, const QImage& image) { onDone(row, path, image); }) {
    setSourceModel(&results);
    connect(&results, &QAbstractItemModel::modelReset, this, &GridModel::restart);
}

void GridModel::restart() {
    queue_.cancel();
    asked_.clear();
    pending_.clear();
    thumbnails_.clear();
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    // Every cell is as large as a thumbnail and two lines of its name.
    if (role == Qt::SizeHintRole) return QSize(kSide + 40, kSide + 40);
    if (role == Qt::DecorationRole && index.column() == ResultsModel::kName) {
        const int row = index.row();
        if (const auto at = thumbnails_.find(row); at != thumbnails_.end()) return at->second;
        if (asked_.insert(row).second && results_.module()) {
            NodePath path = results_.pathOfRow(row);
            if (auto file = results_.thumbnailSource(path, kGridThumbnailLimit)) {
                pending_.insert(row);
                queue_.add(row, std::move(path), std::move(file), results_.module()->diskPath());
            }
        }
    }
    return QIdentityProxyModel::data(index, role);
}

void GridModel::onDone(int row, const NodePath& path, const QImage& image) {
    pending_.erase(row);
    if (image.isNull()) {
        results_.setCorrupted(path);
        return;
    }
    thumbnails_[row] = image;
    const QModelIndex cell = index(row, ResultsModel::kName);
    emit dataChanged(cell, cell, {Qt::DecorationRole});
}

}  // namespace norix::app
