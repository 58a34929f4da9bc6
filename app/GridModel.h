#pragma once
// The results as a thumbnail grid: the table's rows by name, pictures below 20 MiB
// shown as 65-pixel thumbnails. A thumbnail is asked for when the view first draws its
// cell, so only what is on screen is ever read; listing other rows drops the work.
#include <QIdentityProxyModel>
#include <QImage>
#include <unordered_map>
#include <unordered_set>

#include "app/Decoding.h"
#include "app/ResultsModel.h"

namespace norix::app {

class GridModel : public QIdentityProxyModel {
    Q_OBJECT
public:
    static constexpr int kSide = 65;
    explicit GridModel(ResultsModel& results, QObject* parent = nullptr);
    QVariant data(const QModelIndex& index, int role) const override;
    // Thumbnail work not yet done (tests wait for it).
    size_t pending() const { return pending_.size(); }

private:
    void onDone(int row, const NodePath& path, const QImage& image);
    void restart();
    ResultsModel& results_;
    mutable DecodeQueue queue_;
    mutable std::unordered_set<int> asked_, pending_;
    std::unordered_map<int, QImage> thumbnails_;
};

}  // namespace norix::app
