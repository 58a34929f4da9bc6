#pragma once
// The main window: a title bar with the file-type, session and home buttons, and the
// pages "1" (start), "2" (physical disks) and "5" (results). It only lays widgets out;
// AppDelegate fills and answers them.
#include <QMainWindow>

class QLabel;
class QListWidget;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTreeView;

namespace norix::app {

class ResultsPage;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    MainWindow();

    enum Page { kStartPage = 1, kPhysicalPage = 2, kResultsPage = 5 };
    void showPage(Page page);
    Page page() const { return page_; }

    // Title bar.
    QPushButton* fileTypeButton;
    QPushButton* sessionButton;
    QPushButton* resumeButton;  // the latest interrupted scan, continued
    QPushButton* homeButton;
    // Start page: the drive-list columns and their headers.
    QLabel* partitionHeader;
    QLabel* externalHeader;
    QLabel* sessionHeader;
    QListWidget* partitionList;
    QListWidget* externalList;
    QListWidget* sessionList;
    QListWidget* folderList;
    QPushButton* physicalButton;
    QPushButton* reloadButton;
    QPushButton* openImageButton;
    QPushButton* scanButton;
    // Physical-disk page.
    QLabel* physicalHeader;
    QListWidget* physicalList;
    QPushButton* physicalBackButton;
    QPushButton* physicalScanButton;
    // Results page.
    QLabel* driveLabel;
    QLabel* statusLabel;
    QLabel* foundLabel;
    QLabel* timeLabel;
    QLabel* percentageLabel;
    QPushButton* pauseButton;
    QPushButton* stopButton;
    QPushButton* backButton;
    QPushButton* recoverButton;
    QPushButton* openFolderButton;
    QTreeView* treeView;  // the folder outline
    ResultsPage* resultsPage;

signals:
    void closeRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* makeStartPage();
    QWidget* makePhysicalPage();
    QWidget* makeResultsPage();
    QStackedWidget* pages_;
    Page page_ = kStartPage;
};

}  // namespace norix::app
