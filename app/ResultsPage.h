#pragma once
// The right side of the results page and its ties to the folder outline: the path bar,
// the filter menu, the search field, the results table and the selection line. The
// table lists the selected folder's children through the active filter, or the matches
// of the running or last search.
#include <QWidget>
#include <QTimer>
#include <atomic>
#include <memory>
#include <thread>

#include "app/Mailbox.h"
#include "app/NodePath.h"
#include "app/ResultsModel.h"
#include "results/FilterState.h"

class QHBoxLayout;
class QLabel;
class QListView;
class QStackedWidget;
class QLineEdit;
class QPushButton;
class QTableView;
class QToolButton;
class QTreeView;

namespace norix::app {

class FilterWindow;
class GridModel;
class PreviewPane;
class PreviewWindow;
class TreeModel;

class ResultsPage : public QWidget {
    Q_OBJECT
public:
    explicit ResultsPage(QWidget* parent);
    ~ResultsPage() override;
    // The outline whose selected folder the table lists.
    void attachOutline(TreeModel& outline, QTreeView& view);
    // A new tree (or none): back to the root, the search dropped.
    void setModule(RecoveryModule* module);
    // The tree grew: list the same folder again.
    void reload();
    // Searching walks a tree that no longer changes: only once the scan has ended.
    void setSearchEnabled(bool enabled);
    FilterState& filter() { return filter_; }
    ResultsModel& model() { return model_; }
    FilterWindow& filterWindow() { return *filterWindow_; }
    GridModel& gridModel() { return *gridModel_; }
    // The private scratch folder previews are read into.
    void setScratchFolder(const QString& folder);
    PreviewWindow* previewWindow() { return previewWindow_; }
    // The table (false) or the thumbnail grid (true).
    void showGrid(bool grid);

    // selectedItem: list a folder's children, select it in the outline, rebuild the bar.
    void selectFolder(const NodePath& folder);
    const NodePath& selectedItem() const { return model_.folder(); }
    void rootBtnClicked();
    // A double click on a table row: a folder with children is opened; a file previewed.
    void didClickRow(int row);
    // A filter-menu item by identifier ("allFiles", "Images", ..., "Advn").
    void treePageFiltersAdvClicked(const QString& identifier);
    // Empty text leaves the search; other text searches the whole tree for it.
    void searchEntered(const QString& text);
    bool searchRunning() const { return searchThread_.joinable() && flag_ && *flag_; }
    // Shows a listed match in its folder.
    void locateClicked(int row);
    // Previews a file, or opens a folder in the table.
    void openPreviewWindowForNDIR(const NodePath& node);
    // "Selected: %ld files (%.2f %@)", or empty with nothing checked.
    void fileSelected(int64_t files, int64_t bytes);

    // The path bar's titles for folder names from the top down: as many 75-wide buttons
    // as fit in width, led by "..." and the nearest folders when not all do.
    static QStringList pathButtonTitles(const QStringList& names, int width);
    static constexpr int kPathButtonWidth = 75;

    QPushButton* rootButton;
    QWidget* pathBar;
    QToolButton* filterButton;
    QLineEdit* searchField;
    QPushButton* locateButton;
    QToolButton* viewButton;
    QStackedWidget* views;
    QTableView* table;
    QListView* grid;
    PreviewPane* previewPane;
    QLabel* selectionLabel;

signals:
    void checksChanged(int64_t files, int64_t bytes);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void pathButtons();
    void stopSearch();
    void onOutlineSelection(const QModelIndex& current);
    // Selects a folder in the outline without listing it again.
    void showInOutline(const NodePath& folder);
    // The pane shows the first listed child.
    void showFirstChild();

    FilterState filter_;
    ResultsModel model_;
    GridModel* gridModel_;
    FilterWindow* filterWindow_;
    PreviewWindow* previewWindow_ = nullptr;
    RecoveryModule* module_ = nullptr;
    TreeModel* outline_ = nullptr;
    QTreeView* outlineView_ = nullptr;
    QHBoxLayout* pathLayout_;
    bool selecting_ = false;  // the outline selection is being moved by this page
    std::shared_ptr<std::atomic<bool>> flag_;
    Mailbox mailbox_;
    std::thread searchThread_;
    QTimer searchTimer_;
    int searchCountTimer = 0;
};

}  // namespace norix::app
