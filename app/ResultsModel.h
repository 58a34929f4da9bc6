#pragma once
// The results table: the children of the selected folder that the active filter lists,
// or the matches of a name search. The listed rows are worked out once per reload from
// that one folder (never the whole tree); cells read the nodes under the tree lock.
#include <QAbstractTableModel>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/NodePath.h"

namespace norix {
class BaseTree;
class FilterState;
class SearchResult;
}  // namespace norix

namespace norix::app {

class ResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kCheck, kName, kPath, kType, kDate, kSize, kColumns };
    ResultsModel(const FilterState& filter, QObject* parent = nullptr);
    void setModule(RecoveryModule* module);
    // Lists a folder's children, or a search's matches (until the next showFolder).
    void showFolder(const NodePath& folder);
    void showMatches(std::shared_ptr<const SearchResult> search);
    bool showingMatches() const { return search_ != nullptr; }
    const NodePath& folder() const { return folder_; }
    // Works the listed rows out again (the tree grew, or the filter changed).
    void reload();
    // The node of a row as a path from the root; empty when it is gone.
    NodePath pathOfRow(int row) const;
    bool isFolderWithChildren(int row) const;
    // A copy of a file to read for a thumbnail, when it may get one: a picture not
    // marked corrupted and smaller than maxBytes.
    std::unique_ptr<BaseTree> thumbnailSource(const NodePath& path, uint64_t maxBytes) const;
    // No thumbnail could be made of the file: never try it again.
    void setCorrupted(const NodePath& path);
    RecoveryModule* module() const { return module_; }
    const FilterState& filter() const { return filter_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // Another view changed check marks.
    void refreshChecks();

    // "%.2f%@" of a size scaled to its unit, with no space ("1.50MB").
    static QString sizeCell(uint64_t bytes);

signals:
    void checksChanged(int64_t files, int64_t bytes);

private:
    BaseTree* nodeAt(int row) const;  // with the tree lock held

    const FilterState& filter_;
    RecoveryModule* module_ = nullptr;
    NodePath folder_;
    std::shared_ptr<const SearchResult> search_;
    std::vector<BaseTree*> matches_;  // the search's matches at the last reload
    std::vector<size_t> rows_;        // positions of the listed children or matches
};

}  // namespace norix::app
