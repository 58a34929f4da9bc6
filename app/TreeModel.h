#pragma once
// The outline of the result tree: the root, every branch below it ("Quick Scan",
// "Deep Scan"), and below those only folders. Items name a node by its path of child
// positions from the root, never by pointer: every read walks down from the engine's
// current root under its shared lock, so a tree the engine replaced or pruned is never
// touched. Children are fetched lazily; reload() drops everything fetched (after the
// engine's reloadOutlineData).
#include <QAbstractItemModel>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/NodePath.h"

namespace norix::app {

class TreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit TreeModel(QObject* parent = nullptr);
    ~TreeModel() override;
    void setModule(RecoveryModule* module);
    void reload();
    // Checks or unchecks a node and everything below it for saving.
    void setChecked(const QModelIndex& index, bool checked);
    // The index of the node at a path of names below the root ("Quick Scan/Existing Files").
    QModelIndex indexForNames(const QStringList& names);
    // The node an index shows, as child positions from the root, and back (fetching
    // on the way; invalid when the outline does not list it).
    NodePath pathOf(const QModelIndex& index) const;
    QModelIndex indexForPath(const NodePath& path);
    // Another view changed check marks: redraw the fetched ones.
    void refreshChecks() { announceChanges(&top_); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The checked files and bytes changed by this much.
    void checksChanged(int64_t files, int64_t bytes);
    // The outline now shows this engine's tree (none: nullptr).
    void moduleChanged(RecoveryModule* module);

private:
    struct Item {
        Item* parent = nullptr;
        int row = 0;
        size_t position = 0;  // among the node's siblings in the tree
        bool fetched = false;
        std::vector<std::unique_ptr<Item>> children;
    };
    Item* itemOf(const QModelIndex& index) const;
    // The node an item names; call with the tree lock held. Nothing when the tree no
    // longer has it.
    BaseTree* resolve(const Item* item) const;
    void announceChanges(const Item* item);

    RecoveryModule* module_ = nullptr;
    Item top_;
};

}  // namespace norix::app
