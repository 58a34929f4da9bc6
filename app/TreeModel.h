#pragma once
// The result tree as an item model. Items name a node by its row path from the root,
// never by pointer: every read walks down from the engine's current root under its
// shared lock, so a tree the engine replaced or pruned is never touched. Children are
// fetched lazily; reload() drops everything fetched (after the engine's
// reloadOutlineData).
#include <QAbstractItemModel>
#include <cstdint>
#include <memory>
#include <vector>

namespace norix {
class BaseTree;
class RecoveryModule;
}  // namespace norix

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

private:
    struct Item {
        Item* parent = nullptr;
        int row = 0;
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
