#include "app/ResultsPage.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QStackedWidget>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <shared_mutex>

#include "app/FilterWindow.h"
#include "app/GridModel.h"
#include "app/PreviewPane.h"
#include "app/PreviewWindow.h"
#include "app/TreeModel.h"
#include "results/SearchResult.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

namespace norix::app {

ResultsPage::ResultsPage(QWidget* parent)
    : QWidget(parent),
      rootButton(new QPushButton("Root", this)),
      pathBar(new QWidget(this)),
      filterButton(new QToolButton(this)),
      searchField(new QLineEdit(this)),
      locateButton(new QPushButton("Locate", this)),
      viewButton(new QToolButton(this)),
      views(new QStackedWidget(this)),
      table(new QTableView(this)),
      grid(new QListView(this)),
      selectionLabel(new QLabel(this)),
      model_(filter_),
      gridModel_(new GridModel(model_, this)),
      filterWindow_(new FilterWindow(filter_, this)),
      pathLayout_(new QHBoxLayout(pathBar)) {
    pathLayout_->setContentsMargins(0, 0, 0, 0);
    pathLayout_->setSpacing(0);
    pathLayout_->addStretch();
    pathBar->setMinimumWidth(kPathButtonWidth);

    auto* menu = new QMenu(filterButton);
    const std::pair<const char*, const char*> items[] = {
        {"allFiles", "All Files"}, {"Images", "Images"}, {"Audio", "Audio"},         {"Video", "Video"},
        {"Document", "Documents"}, {"Email", "Email"},   {"Other", "Others"}, {"Advn", "Advanced Filter..."}};
    for (const auto& [identifier, title] : items) {
        QAction* action = menu->addAction(title);
        action->setObjectName(identifier);
        action->setCheckable(true);
        action->setChecked(filter_.activeFilterType == identifier);
        connect(action, &QAction::triggered, this, [this, id = QString(identifier)] { treePageFiltersAdvClicked(id); });
    }
    filterButton->setMenu(menu);
    filterButton->setPopupMode(QToolButton::InstantPopup);
    filterButton->setText(QString::fromStdString(filter_.changeForFilerImage()));
    searchField->setPlaceholderText("Search");
    searchField->setClearButtonEnabled(true);
    locateButton->setEnabled(false);

    table->setModel(&model_);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(22);
    table->horizontalHeader()->setSectionResizeMode(ResultsModel::kCheck, QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setSectionResizeMode(ResultsModel::kName, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(ResultsModel::kPath, QHeaderView::Interactive);
    table->setWordWrap(false);
    grid->setModel(gridModel_);
    grid->setModelColumn(ResultsModel::kName);
    grid->setViewMode(QListView::IconMode);
    grid->setResizeMode(QListView::Adjust);
    grid->setMovement(QListView::Static);
    grid->setUniformItemSizes(true);
    grid->setLayoutMode(QListView::Batched);
    grid->setIconSize({GridModel::kSide, GridModel::kSide});
    grid->setGridSize({GridModel::kSide + 50, GridModel::kSide + 50});
    grid->setWordWrap(true);
    views->addWidget(table);
    views->addWidget(grid);
    previewPane = new PreviewPane(model_, this);
    viewButton->setText("Grid");
    viewButton->setCheckable(true);

    auto* top = new QHBoxLayout;
    top->addWidget(rootButton);
    top->addWidget(pathBar, 1);
    top->addWidget(viewButton);
    top->addWidget(filterButton);
    top->addWidget(searchField);
    top->addWidget(locateButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    auto* middle = new QHBoxLayout;
    middle->addWidget(views, 1);
    middle->addWidget(previewPane);
    layout->addLayout(middle, 1);
    layout->addWidget(selectionLabel);

    connect(rootButton, &QPushButton::clicked, this, &ResultsPage::rootBtnClicked);
    for (QAbstractItemView* view : std::initializer_list<QAbstractItemView*>{table, grid}) {
        connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) { didClickRow(index.row()); });
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
            if (current.isValid()) previewPane->previewPaneUpadte(model_.pathOfRow(current.row()));
        });
    }
    connect(viewButton, &QToolButton::toggled, this, &ResultsPage::showGrid);
    connect(previewPane, &PreviewPane::buttonClicked, this, &ResultsPage::openPreviewWindowForNDIR);
    connect(locateButton, &QPushButton::clicked, this, [this] {
        if (const QModelIndex current = table->currentIndex(); current.isValid()) locateClicked(current.row());
    });
    connect(searchField, &QLineEdit::returnPressed, this, [this] { searchEntered(searchField->text()); });
    connect(&model_, &ResultsModel::checksChanged, this, &ResultsPage::checksChanged);
    connect(filterWindow_, &FilterWindow::applied, this, [this] {
        filterButton->setText(QString::fromStdString(filter_.changeForFilerImage()));
        for (QAction* action : filterButton->menu()->actions()) action->setChecked(action->objectName() == "Advn");
        model_.reload();
    });
    connect(&searchTimer_, &QTimer::timeout, this, [this] {
        // The matches are listed again every 4 seconds while the search runs.
        if (!flag_ || !*flag_) return searchTimer_.stop();
        if (++searchCountTimer < 4) return;
        searchCountTimer = 0;
        if (module_) model_.showMatches(module_->searchDir());
    });
}

ResultsPage::~ResultsPage() { stopSearch(); }

void ResultsPage::attachOutline(TreeModel& outline, QTreeView& view) {
    outline_ = &outline;
    outlineView_ = &view;
    connect(view.selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { onOutlineSelection(current); });
    connect(&outline, &TreeModel::moduleChanged, this, &ResultsPage::setModule);
    connect(&outline, &TreeModel::checksChanged, this, [this] { model_.refreshChecks(); });
    connect(&model_, &ResultsModel::checksChanged, &outline, [this] { outline_->refreshChecks(); });
    // The periodic redraw drops the outline's rows; the listed folder stays.
    connect(&outline, &QAbstractItemModel::modelReset, this, &ResultsPage::reload, Qt::QueuedConnection);
}

void ResultsPage::setModule(RecoveryModule* module) {
    stopSearch();
    module_ = module;
    searchField->clear();
    model_.setModule(module);
    pathButtons();
}

void ResultsPage::reload() {
    if (model_.showingMatches()) return;
    // The pane keeps what the user chose.
    model_.reload();
    showInOutline(model_.folder());
    pathButtons();
}

void ResultsPage::setSearchEnabled(bool enabled) {
    searchField->setEnabled(enabled);
    if (!enabled) stopSearch();
}

void ResultsPage::selectFolder(const NodePath& folder) {
    model_.showFolder(folder);
    locateButton->setEnabled(false);
    showInOutline(folder);
    pathButtons();
    showFirstChild();
}

void ResultsPage::showInOutline(const NodePath& folder) {
    if (!outline_) return;
    selecting_ = true;
    if (const QModelIndex index = outline_->indexForPath(folder); index.isValid()) {
        outlineView_->expand(index.parent());
        outlineView_->setCurrentIndex(index);
    }
    selecting_ = false;
}

void ResultsPage::onOutlineSelection(const QModelIndex& current) {
    if (selecting_ || !current.isValid()) return;
    stopSearch();
    selectFolder(outline_->pathOf(current));
}

void ResultsPage::rootBtnClicked() {
    stopSearch();
    selectFolder({});
}

void ResultsPage::didClickRow(int row) {
    const NodePath path = model_.pathOfRow(row);
    if (path.empty()) return;
    if (model_.isFolderWithChildren(row)) {
        stopSearch();
        selectFolder(path);
        return;
    }
    bool file = false;
    if (module_) {
        std::shared_lock lock(module_->treeLock());
        const BaseTree* node = resolvePath(*module_, path);
        file = node && node->fileType != 1;
    }
    if (file) openPreviewWindowForNDIR(path);
}

void ResultsPage::openPreviewWindowForNDIR(const NodePath& node) {
    if (!module_) return;
    bool folder = false;
    {
        std::shared_lock lock(module_->treeLock());
        const BaseTree* found = resolvePath(*module_, node);
        if (!found) return;
        folder = found->fileType == 1;
    }
    if (folder) return selectFolder(node);
    if (previewWindow_) previewWindow_->openPreviewWindowForNDIR(*module_, node);
}

void ResultsPage::setScratchFolder(const QString& folder) {
    delete previewWindow_;
    previewWindow_ = new PreviewWindow(filter_, folder, this);
}

void ResultsPage::showGrid(bool showing) {
    viewButton->setChecked(showing);
    viewButton->setText(showing ? "Table" : "Grid");
    views->setCurrentWidget(showing ? static_cast<QWidget*>(grid) : table);
}

void ResultsPage::showFirstChild() {
    if (model_.rowCount() == 0) return previewPane->previewPaneUpadte(std::nullopt);
    previewPane->previewPaneUpadte(model_.pathOfRow(0));
}

void ResultsPage::treePageFiltersAdvClicked(const QString& identifier) {
    for (QAction* action : filterButton->menu()->actions())
        action->setChecked(action->objectName() == identifier);
    if (identifier == "Advn") {
        filterWindow_->open();
        return;
    }
    filterWindow_->clearadvnChckBtn();
    filter_.treePageFiltersAdvClicked(identifier.toStdString());
    filterButton->setText(QString::fromStdString(filter_.changeForFilerImage()));
    model_.reload();
}

void ResultsPage::searchEntered(const QString& text) {
    stopSearch();
    if (text.isEmpty() || !module_) {
        model_.showFolder(model_.folder());
        return;
    }
    flag_ = std::make_shared<std::atomic<bool>>(true);
    model_.showMatches(std::make_shared<SearchResult>());
    locateButton->setEnabled(true);
    searchThread_ = std::thread([this, module = module_, flag = flag_, keyword = text.toStdString()] {
        auto result = module->startSearch_andFlag(keyword, flag);
        mailbox_.post([this, flag, result] {
            if (flag != flag_) return;
            *flag = false;
            model_.showMatches(result);
        });
    });
    searchCountTimer = 0;
    searchTimer_.start(1000);
}

void ResultsPage::stopSearch() {
    if (flag_) *flag_ = false;
    if (searchThread_.joinable()) searchThread_.join();
    flag_.reset();
    searchTimer_.stop();
}

void ResultsPage::locateClicked(int row) {
    if (!model_.showingMatches()) return;
    NodePath path = model_.pathOfRow(row);
    if (path.empty()) return;
    stopSearch();
    searchField->clear();
    path.pop_back();
    selectFolder(path);
}

void ResultsPage::fileSelected(int64_t files, int64_t bytes) {
    if (files <= 0) return selectionLabel->clear();
    double size = static_cast<double>(bytes);
    const std::string unit = TreeClassMethod::checkSizeForNumber(size);
    selectionLabel->setText(QString::asprintf("Selected: %lld files (%.2f %s)", static_cast<long long>(files), size,
                                              unit.c_str()));
}

QStringList ResultsPage::pathButtonTitles(const QStringList& names, int width) {
    const qsizetype fit = std::max(2, width / kPathButtonWidth);
    if (names.size() <= fit) return names;
    return QStringList{"..."} + names.mid(names.size() - (fit - 1));
}

void ResultsPage::pathButtons() {
    // A button may be the one being clicked: it goes once its signal returns.
    while (QLayoutItem* item = pathLayout_->takeAt(0)) {
        if (QWidget* button = item->widget()) {
            button->hide();
            button->deleteLater();
        }
        delete item;
    }
    // The folders from the one below the branch ("Quick Scan", "Deep Scan") down to
    // the selected one.
    QStringList names;
    if (module_) {
        std::shared_lock lock(module_->treeLock());
        const BaseTree* node = module_->dirRoot();
        const NodePath& folder = model_.folder();
        for (size_t depth = 0; node && depth < folder.size(); ++depth) {
            node = node->getChildAtIndex(folder[depth]);
            if (node && depth > 0) names << QString::fromStdString(node->fileName);
        }
    }
    const QStringList titles = pathButtonTitles(names, pathBar->width());
    const qsizetype first = names.size() - titles.size();  // the name "..." stands in for
    for (qsizetype shown = 0; shown < titles.size(); ++shown) {
        auto* button = new QPushButton(titles[shown], pathBar);
        button->setFixedWidth(kPathButtonWidth);
        button->setToolTip(names[first + shown]);
        // The button of the n-th name selects the folder at depth n + 2 below the root.
        NodePath target(model_.folder().begin(), model_.folder().begin() + (first + shown) + 2);
        connect(button, &QPushButton::clicked, this, [this, target] { selectFolder(target); });
        pathLayout_->addWidget(button);
    }
    pathLayout_->addStretch();
}

void ResultsPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    pathButtons();
}

}  // namespace norix::app
