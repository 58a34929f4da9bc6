// The results page over a scan of the sample image on Qt's offscreen platform: what the
// outline, the table and the grid list under each filter, checking and the selection
// line, thumbnails and the corrupted mark, previews and their limits, and the search.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <filesystem>
#include <memory>
#include <shared_mutex>

#include "app/AppDelegate.h"
#include "app/Decoding.h"
#include "app/FilterWindow.h"
#include "app/GridModel.h"
#include "app/MainWindow.h"
#include "app/PreviewPane.h"
#include "app/PreviewWindow.h"
#include "app/ResultsPage.h"
#include "app/TreeModel.h"
#include "scan/RecoveryModule.h"
#include "tests/support/TestSupport.h"

using namespace norix;
using namespace norix::app;
namespace fs = std::filesystem;

class ResultsPageTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TempHome> home_;
    std::unique_ptr<AppDelegate> app_;

    ResultsPage& page() { return *app_->window().resultsPage; }
    ResultsModel& table() { return page().model(); }

    // The folder at a path of names below the root, listed in the table.
    NodePath open(const QStringList& names) {
        const QModelIndex folder = app_->treeModel().indexForNames(names);
        if (!folder.isValid()) return {};
        NodePath path = app_->treeModel().pathOf(folder);
        page().selectFolder(path);
        return path;
    }
    QStringList listed() {
        QStringList names;
        for (int row = 0; row < table().rowCount(); ++row) names << table().index(row, ResultsModel::kName).data().toString();
        return names;
    }
    QStringList pathBar() {
        QStringList titles;
        for (const QPushButton* button : page().pathBar->findChildren<QPushButton*>())
            if (!button->isHidden()) titles << button->text();
        return titles;
    }
    int rowNamed(const QString& name) { return static_cast<int>(listed().indexOf(name)); }
    BaseTree* node(const NodePath& path) { return resolvePath(*app_->recoveryModule(), path); }

private slots:
    void initTestCase() {
        home_ = std::make_unique<test::TempHome>();
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(home_->home().string()));
        fs::permissions(home_->home(), fs::perms::owner_all, fs::perm_options::replace);
        const fs::path image = home_->home() / "sample.img";
        fs::copy_file(test::sampleImage(), image);
        app_ = std::make_unique<AppDelegate>();
        app_->openSource(QString::fromStdString(image.string()));
        QTRY_COMPARE_WITH_TIMEOUT(app_->SBWCode, 110, 120000);
        app_->okBtnClickedInSBW();
        // The scan's end queues a reload of the listed folder; on a slow machine it is still
        // waiting here, and would reset a later test's table (and drop its thumbnail work).
        QCoreApplication::sendPostedEvents();
    }

    void cleanupTestCase() {
        app_.reset();
        home_.reset();
    }

    void init() {
        page().treePageFiltersAdvClicked("allFiles");
        page().searchEntered("");
    }

    void outlineAndTableFollowTheFilters() {
        // The outline: both branches, then only folders; the table: every child.
        TreeModel& outline = app_->treeModel();
        const QModelIndex root = outline.index(0, 0);
        if (outline.canFetchMore(root)) outline.fetchMore(root);
        QCOMPARE(outline.rowCount(root), 2);
        const QModelIndex existing = outline.indexForNames({"Quick Scan", "Existing Files"});
        if (outline.canFetchMore(existing)) outline.fetchMore(existing);
        QCOMPARE(outline.rowCount(existing), 3);
        open({"Quick Scan", "Existing Files"});
        QCOMPARE(listed(), QStringList({"DCIM", "Documents", "Music", "readme.txt"}));
        QCOMPARE(page().gridModel().rowCount(), 4);
        const int readme = rowNamed("readme.txt");
        QCOMPARE(table().index(readme, ResultsModel::kType).data().toString(), QString("txt"));
        QCOMPARE(table().index(readme, ResultsModel::kSize).data().toString(), QString("0.04KB"));
        QCOMPARE(table().index(readme, ResultsModel::kPath).data().toString(),
                 QString("sample.img/Quick Scan/Existing Files"));
        QCOMPARE(table().index(rowNamed("DCIM"), ResultsModel::kType).data().toString(), QString("Folder"));

        // Folders are always listed; files by the active filter.
        open({"Quick Scan", "Existing Files", "Documents"});
        page().treePageFiltersAdvClicked("Images");
        QCOMPARE(listed(), QStringList({"Old"}));
        QCOMPARE(page().filterButton->text(), QString("Images"));
        page().treePageFiltersAdvClicked("Document");
        QCOMPARE(listed().size(), 3);  // Old, notes.txt and the deleted plans.txt; no csv

        // The advanced window: a refused range keeps the filter; the deleted box lists
        // the deleted picture only.
        // The path bar: the folders below the branch, led by "..." when crowded.
        page().pathBar->resize(4 * ResultsPage::kPathButtonWidth, 30);
        open({"Quick Scan", "Existing Files", "DCIM", "100NORIX"});
        QCOMPARE(pathBar(), QStringList({"Existing Files", "DCIM", "100NORIX"}));
        page().pathBar->resize(2 * ResultsPage::kPathButtonWidth, 30);
        open({"Quick Scan", "Existing Files", "DCIM", "100NORIX"});
        QCOMPARE(pathBar(), QStringList({"...", "100NORIX"}));
        // "..." stands for the folder above the first one shown.
        for (QPushButton* button : page().pathBar->findChildren<QPushButton*>())
            if (!button->isHidden() && button->text() == "...") button->click();
        QCOMPARE(listed(), QStringList({"100NORIX"}));
        open({"Quick Scan", "Existing Files", "DCIM", "100NORIX"});
        page().treePageFiltersAdvClicked("Images");
        FilterWindow& window = page().filterWindow();
        window.sizeFilter->setCurrentText("Range");
        window.maximumField->setText("0");
        QCOMPARE(window.advnFilterApplyClicked(), QString("Maximum size value cannot be 0."));
        QCOMPARE(listed().size(), 3);
        window.clearadvnChckBtn();
        window.findChild<QCheckBox*>("Deleted")->setChecked(true);
        QVERIFY(!window.advnFilterApplyClicked());
        QCOMPARE(listed().size(), 1);
        QCOMPARE(page().filterButton->text(), QString("Advanced Filter"));
    }

    void checkingDrivesTotalsAndTheSelectionLine() {
        open({"Quick Scan", "Existing Files", "DCIM"});
        QVERIFY(!app_->window().recoverButton->isEnabled());
        const QModelIndex box = table().index(rowNamed("100NORIX"), ResultsModel::kCheck);
        QVERIFY(table().setData(box, Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(app_->selectedFile, 3);
        QVERIFY(page().selectionLabel->text().startsWith("Selected: 3 files ("));
        QVERIFY(app_->window().recoverButton->isEnabled());
        // The ancestors' marks follow: all of DCIM, part of Existing Files.
        QCOMPARE(app_->treeModel().indexForNames({"Quick Scan", "Existing Files", "DCIM"}).data(Qt::CheckStateRole),
                 QVariant(Qt::Checked));
        const QModelIndex existing = app_->treeModel().indexForNames({"Quick Scan", "Existing Files"});
        QCOMPARE(existing.data(Qt::CheckStateRole), QVariant(Qt::PartiallyChecked));
        // A partly checked folder is unchecked by a click, whatever the view asks.
        open({"Quick Scan"});
        QVERIFY(table().setData(table().index(rowNamed("Existing Files"), ResultsModel::kCheck), Qt::Checked,
                                Qt::CheckStateRole));
        QCOMPARE(app_->selectedFile, 0);
        QCOMPARE(app_->selectedSize, 0);
        QVERIFY(page().selectionLabel->text().isEmpty());
        QVERIFY(!app_->window().recoverButton->isEnabled());
    }

    void thumbnailsAndTheCorruptedMark() {
        // Text in a file the picture group claims: no thumbnail, marked for good.
        page().filter().images.insert("txt");
        const NodePath documents = open({"Quick Scan", "Existing Files", "Documents"});
        page().showGrid(true);
        GridModel& grid = page().gridModel();
        for (int row = 0; row < grid.rowCount(); ++row) grid.index(row, ResultsModel::kName).data(Qt::DecorationRole);
        QTRY_COMPARE(grid.pending(), size_t(0));
        NodePath notes = documents;
        notes.push_back(0);
        {
            std::shared_lock lock(app_->recoveryModule()->treeLock());
            for (size_t position = 0; BaseTree* child = node(documents)->getChildAtIndex(position); ++position)
                if (child->fileName == "notes.txt") notes.back() = position;
            QCOMPARE(node(notes)->corrupted, uint8_t(1));
        }
        QVERIFY(!table().thumbnailSource(notes, kGridThumbnailLimit));
        page().filter().images.erase("txt");

        // Real pictures get thumbnails of at most 65 pixels, and only below the limit.
        open({"Quick Scan", "Existing Files", "DCIM", "100NORIX"});
        const int first = rowNamed("IMG_0001.PNG");
        QVERIFY(grid.index(first, ResultsModel::kName).data(Qt::DecorationRole).typeId() != QMetaType::QImage);
        QTRY_COMPARE(grid.pending(), size_t(0));
        const QImage thumbnail = grid.index(first, ResultsModel::kName).data(Qt::DecorationRole).value<QImage>();
        QCOMPARE(thumbnail.size(), QSize(64, 48));
        const NodePath picture = table().pathOfRow(first);
        uint64_t size = 0;
        {
            std::shared_lock lock(app_->recoveryModule()->treeLock());
            size = node(picture)->fileSize;
        }
        QVERIFY(!table().thumbnailSource(picture, size));
        QVERIFY(table().thumbnailSource(picture, size + 1));

        // The pane: its labels, and a picture of the file.
        PreviewPane& pane = *page().previewPane;
        pane.previewPaneUpadte(picture);
        QCOMPARE(pane.name->text(), QString("Name: IMG_0001.PNG"));
        QCOMPARE(pane.type->text(), QString("Type: png"));
        QCOMPARE(pane.button->text(), QString("Preview"));
        QTRY_VERIFY(!pane.thumbnailPending());
        QCOMPARE(pane.image->pixmap().size(), QSize(64, 48));
        page().showGrid(false);
    }

    void previewLimitsAndTheScratchName() {
        QCOMPARE(escapedScratchName("a b#c.jpg"), QString("a%20b%23c.jpg"));
        // The percent sign goes first, so no replacement is escaped twice.
        QCOMPARE(escapedScratchName("50%-off£.txt"), QString("50%25%2Doff%A3.txt"));

        open({"Quick Scan", "Existing Files", "Documents"});
        PreviewWindow& preview = *page().previewWindow();
        page().didClickRow(rowNamed("notes.txt"));
        QTRY_VERIFY(!preview.busy());
        QVERIFY(preview.text->toPlainText().startsWith("line 1\nline 2\n"));
        const fs::path scratch = fs::path(app_->tempPath) / "notes.txt";
        QCOMPARE(preview.scratchFile().toStdString(), scratch.string());
        QCOMPARE(fs::file_size(scratch), uint64_t(3492));
        QCOMPARE(fs::status(app_->tempPath).permissions() & fs::perms::all, fs::perms::owner_all);

        page().didClickRow(rowNamed("Quarterly report 2024.csv"));
        QCOMPARE(preview.notice->text(), QString(PreviewWindow::kCannotPreview));
        // 200 MiB is too large; the read is never started.
        const NodePath notes = table().pathOfRow(rowNamed("notes.txt"));
        {
            std::unique_lock lock(app_->recoveryModule()->treeLock());
            node(notes)->fileSize = kPreviewLimit;
        }
        page().openPreviewWindowForNDIR(notes);
        QVERIFY(!preview.busy());
        QCOMPARE(preview.notice->text(), QString(PreviewWindow::kTooLarge));
        // A name from the disk never leads the scratch file out of its folder.
        {
            std::unique_lock lock(app_->recoveryModule()->treeLock());
            node(notes)->fileSize = 3492;
            node(notes)->fileName = "../escape.txt";
        }
        page().openPreviewWindowForNDIR(notes);
        QTRY_VERIFY(!preview.busy());
        QVERIFY(fs::exists(fs::path(app_->tempPath) / ".._escape.txt"));
        QVERIFY(!fs::exists(fs::path(app_->tempPath).parent_path() / "escape.txt"));
        {
            std::unique_lock lock(app_->recoveryModule()->treeLock());
            node(notes)->fileName = "notes.txt";
        }
    }

    void searchListsMatchesAndLocatesThem() {
        open({"Quick Scan", "Existing Files", "Music"});
        page().searchEntered("OLD");
        QVERIFY(page().locateButton->isEnabled());
        QTRY_VERIFY(!page().searchRunning());
        QCOMPARE(listed(), QStringList({"Old", "old-plans.txt"}));
        // The filter applies to the matches too.
        page().treePageFiltersAdvClicked("Images");
        QCOMPARE(listed(), QStringList({"Old"}));
        page().treePageFiltersAdvClicked("allFiles");
        page().searchEntered("old");
        QTRY_VERIFY(!page().searchRunning());
        page().locateClicked(rowNamed("old-plans.txt"));
        QVERIFY(page().searchField->text().isEmpty());
        QCOMPARE(listed(), QStringList({"old-plans.txt", " ld-list.txt"}));
        QCOMPARE(app_->window().treeView->currentIndex().data().toString(), QString("Trash"));
    }
};

QTEST_MAIN(ResultsPageTest)
#include "ResultsPageTest.moc"
