#include "app/MainWindow.h"

#include "app/ResultsPage.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeView>
#include <QVBoxLayout>

namespace norix::app {

namespace {

QPushButton* button(const QString& text, QWidget* parent, const char* name) {
    auto* result = new QPushButton(text, parent);
    result->setObjectName(name);
    return result;
}

QLabel* heading(QWidget* parent) {
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

}  // namespace

MainWindow::MainWindow() : pages_(new QStackedWidget(this)) {
    setWindowTitle("Norix Data Recovery");
    resize(1000, 640);
    auto* central = new QWidget(this);
    auto* titleBar = new QHBoxLayout;
    auto* title = heading(central);
    title->setText("Norix Data Recovery");
    fileTypeButton = button("File Types", central, "fileTypes");
    sessionButton = button("Recovery Session", central, "session");
    sessionButton->setToolTip("Open Recovery Session");
    resumeButton = button("Resume Scan", central, "session");
    resumeButton->setToolTip("Resume the latest interrupted scan");
    homeButton = button("Home", central, "home");
    titleBar->addWidget(title);
    titleBar->addStretch();
    titleBar->addWidget(fileTypeButton);
    titleBar->addWidget(sessionButton);
    titleBar->addWidget(resumeButton);
    titleBar->addWidget(homeButton);
    pages_->addWidget(makeStartPage());
    pages_->addWidget(makePhysicalPage());
    pages_->addWidget(makeResultsPage());
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(titleBar);
    layout->addWidget(pages_);
    setCentralWidget(central);
}

QWidget* MainWindow::makeStartPage() {
    auto* page = new QWidget(this);
    auto* grid = new QGridLayout;
    partitionHeader = heading(page);
    externalHeader = heading(page);
    sessionHeader = heading(page);
    auto* folderHeader = heading(page);
    folderHeader->setText("Select Folder");
    partitionList = new QListWidget(page);
    externalList = new QListWidget(page);
    sessionList = new QListWidget(page);
    folderList = new QListWidget(page);
    QLabel* headers[] = {partitionHeader, externalHeader, sessionHeader, folderHeader};
    QListWidget* lists[] = {partitionList, externalList, sessionList, folderList};
    for (int column = 0; column < 4; ++column) {
        grid->addWidget(headers[column], 0, column);
        lists[column]->setWordWrap(true);
        grid->addWidget(lists[column], 1, column);
    }
    physicalButton = button("", page, "physical");
    reloadButton = button("Reload", page, "reload");
    openImageButton = button("Open Disk Image...", page, "openImage");
    scanButton = button("Start Scan", page, "scan");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(physicalButton);
    buttons->addWidget(reloadButton);
    buttons->addWidget(openImageButton);
    buttons->addStretch();
    buttons->addWidget(scanButton);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    return page;
}

QWidget* MainWindow::makePhysicalPage() {
    auto* page = new QWidget(this);
    physicalHeader = heading(page);
    physicalList = new QListWidget(page);
    physicalBackButton = button("Back", page, "physicalBack");
    physicalScanButton = button("Start Scan", page, "physicalScan");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(physicalBackButton);
    buttons->addStretch();
    buttons->addWidget(physicalScanButton);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(physicalHeader);
    layout->addWidget(physicalList);
    layout->addLayout(buttons);
    return page;
}

QWidget* MainWindow::makeResultsPage() {
    auto* page = new QWidget(this);
    driveLabel = heading(page);
    statusLabel = new QLabel(page);
    foundLabel = new QLabel(page);
    timeLabel = new QLabel(page);
    percentageLabel = heading(page);
    QFont large = percentageLabel->font();
    large.setPointSizeF(large.pointSizeF() * 2.5);
    percentageLabel->setFont(large);
    pauseButton = button("Pause", page, "pause");
    stopButton = button("Stop", page, "stop");
    backButton = button("Back", page, "back");
    recoverButton = button("Recover", page, "recover");
    openFolderButton = button("Show Recovered Files", page, "openFolder");
    openFolderButton->setEnabled(false);
    treeView = new QTreeView(page);
    treeView->setUniformRowHeights(true);
    resultsPage = new ResultsPage(page);
    auto* split = new QSplitter(page);
    split->addWidget(treeView);
    split->addWidget(resultsPage);
    split->setSizes({330, 670});
    auto* lines = new QVBoxLayout;
    lines->addWidget(driveLabel);
    lines->addWidget(statusLabel);
    lines->addWidget(foundLabel);
    lines->addWidget(timeLabel);
    auto* top = new QHBoxLayout;
    top->addLayout(lines, 1);
    top->addWidget(percentageLabel);
    top->addWidget(pauseButton);
    top->addWidget(stopButton);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(backButton);
    bottom->addStretch();
    bottom->addWidget(openFolderButton);
    bottom->addWidget(recoverButton);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);
    return page;
}

void MainWindow::showPage(Page page) {
    page_ = page;
    pages_->setCurrentIndex(page == kStartPage ? 0 : page == kPhysicalPage ? 1 : 2);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Quitting is the controller's decision: it may ask first.
    event->ignore();
    emit closeRequested();
}

}  // namespace norix::app
