#include "app/AppDelegate.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QListWidget>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTreeView>
#include <QUrl>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "app/FileTypesWindow.h"
#include "app/ResultsPage.h"
#include "app/ScanBridge.h"
#include "disk/DiskArbitrator.h"
#include "disk/DiskManager.h"
#include "disk/Platform.h"
#include "results/TreeClassMethod.h"

// The icon set is compiled into the static library; its registration is called for by name.
static void registerIcons() { Q_INIT_RESOURCE(icons); }

namespace norix::app {

namespace fs = std::filesystem;

namespace {

constexpr const char* kVersion = "1.0";

// The preview scratch folder: private to the user.
std::string scratchFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return std::string(runtime) + "/norix-preview";
    return "/tmp/norix-preview-" + std::to_string(getuid());
}

// The path itself, or the nearest of its parents that exists.
fs::path nearestExisting(const std::string& path) {
    fs::path current = fs::absolute(path).lexically_normal();
    std::error_code ec;
    while (!fs::exists(current, ec) && current.has_parent_path() && current != current.parent_path())
        current = current.parent_path();
    return current;
}

// The whole disk a partition's device number belongs to (itself for a whole disk).
dev_t wholeDiskOf(dev_t device) {
    const fs::path sys = "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::error_code ec;
    if (!fs::exists(sys / "partition", ec)) return device;
    unsigned maj = 0, min = 0;
    if (FILE* file = std::fopen((fs::canonical(sys, ec).parent_path() / "dev").c_str(), "r")) {
        const bool read = std::fscanf(file, "%u:%u", &maj, &min) == 2;
        std::fclose(file);
        if (read) return makedev(maj, min);
    }
    return device;
}

QString sizeText(int64_t bytes) {
    return QString::fromStdString(TreeClassMethod::sizeText(static_cast<uint64_t>(std::max<int64_t>(bytes, 0))));
}

}  // namespace

AppDelegate::AppDelegate()
    : sbw_(new MessageWindow(&window_)), dbw_(new MessageWindow(&window_)), loading_(new LoadingWindow(&window_)),
      rename_(new RenameWindow(&window_)) {
    registerIcons();
    window_.setWindowIcon(QIcon(":/icons/norix-recovery.svg"));
    askPath_ = [this](PathRequest request, const QString& suggested) {
        const QString home = QDir::homePath();
        switch (request) {
        case PathRequest::Folder: return QFileDialog::getExistingDirectory(&window_, "Select Folder", home);
        case PathRequest::DiskImage: return QFileDialog::getOpenFileName(&window_, "Open Disk Image", home);
        case PathRequest::SaveDestination:
            return QFileDialog::getSaveFileName(&window_, "Save", home + "/" + suggested, {}, nullptr,
                                                QFileDialog::DontConfirmOverwrite);
        case PathRequest::SessionToSave:
            return QFileDialog::getSaveFileName(&window_, "Save Recovery Session", home + "/" + suggested,
                                                "Recovery Session (*.nxdrs)");
        case PathRequest::SessionToOpen:
            return QFileDialog::getOpenFileName(&window_, "Open Recovery Session", home,
                                                "Recovery Session (*.nxdrs)");
        }
        return QString();
    };

    // The log and the scratch folder.
    log_.write(kVersion, "New Launch");
    tempPath = scratchFolder();
    std::error_code ec;
    fs::remove_all(tempPath, ec);
    if (::mkdir(tempPath.c_str(), 0700) != 0) log_.write(tempPath, "Error in creating tempPath");
    if (const auto failure = catalogue_.loadSig()) log_.write(*failure, "loadSig");
    window_.resultsPage->setScratchFolder(QString::fromStdString(tempPath));
    useMediaGroups();

    MainWindow& w = window_;
    connect(&w, &MainWindow::closeRequested, this, [this] {
        if (!checkForInformationWindowOpen() && !rename_->isVisible() && !(fileTypes_ && fileTypes_->isVisible()))
            applicationShouldTerminate();
    });
    connect(w.homeButton, &QPushButton::clicked, this, &AppDelegate::homeBtnClicked);
    connect(w.sessionButton, &QPushButton::clicked, this, &AppDelegate::openRecoverySession);
    connect(w.resumeButton, &QPushButton::clicked, this, &AppDelegate::resumeScanClicked);
    connect(w.fileTypeButton, &QPushButton::clicked, this, &AppDelegate::fileTypesClicked);
    connect(w.physicalButton, &QPushButton::clicked, this, &AppDelegate::physicalDrive);
    connect(w.physicalBackButton, &QPushButton::clicked, this, &AppDelegate::physicalBackClicked);
    connect(w.reloadButton, &QPushButton::clicked, this, &AppDelegate::reloadDrivesClicked);
    connect(w.openImageButton, &QPushButton::clicked, this, [this] {
        if (const QString path = ask(PathRequest::DiskImage); !path.isEmpty()) openSource(path);
    });
    connect(w.scanButton, &QPushButton::clicked, this, &AppDelegate::scanClicked);
    connect(w.physicalScanButton, &QPushButton::clicked, this, &AppDelegate::scanClicked);
    connect(w.pauseButton, &QPushButton::clicked, this, &AppDelegate::pausebtnClicked);
    connect(w.stopButton, &QPushButton::clicked, this, &AppDelegate::stopClicked);
    connect(w.backButton, &QPushButton::clicked, this, &AppDelegate::treeBackBtnClick);
    connect(w.recoverButton, &QPushButton::clicked, this, &AppDelegate::savingProgressItem);
    connect(w.openFolderButton, &QPushButton::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(savedPath)));
    });
    for (QListWidget* list : {w.partitionList, w.externalList, w.sessionList, w.folderList, w.physicalList})
        connect(list, &QListWidget::itemClicked, this,
                [this](QListWidgetItem* item) { setDriveSelectedView(item->data(Qt::UserRole).toInt()); });
    connect(sbw_, &MessageWindow::firstClicked, this, &AppDelegate::okBtnClickedInSBW);
    connect(dbw_, &MessageWindow::firstClicked, this, &AppDelegate::yesBtnClickedDBW);
    connect(dbw_, &MessageWindow::secondClicked, this, &AppDelegate::noBtnClickedDBW);
    connect(dbw_, &MessageWindow::closedWithoutAnswer, this, &AppDelegate::closeDBW);
    connect(rename_, &RenameWindow::answered, this, &AppDelegate::answerCollision);
    w.treeView->setModel(&treeModel_);
    w.treeView->header()->setStretchLastSection(false);
    w.treeView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    w.treeView->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    w.resultsPage->attachOutline(treeModel_, *w.treeView);
    const auto addChecks = [this](int64_t files, int64_t bytes) {
        selectedFile += files;
        selectedSize += bytes;
        fileSelected();
    };
    connect(&treeModel_, &TreeModel::checksChanged, this, addChecks);
    connect(w.resultsPage, &ResultsPage::checksChanged, this, addChecks);
    connect(&progressTimer_, &QTimer::timeout, this, &AppDelegate::scanStartedTimeThread);
    connect(&savingTimer_, &QTimer::timeout, this, &AppDelegate::savingTimerThread);
    // The workers' news, carried to this thread.
    connect(this, &AppDelegate::savingThreadDone, this, &AppDelegate::saveCompletedChanges, Qt::QueuedConnection);
    connect(this, &AppDelegate::collisionWaiting, this, &AppDelegate::launchRenameWindow, Qt::QueuedConnection);
    connect(this, &AppDelegate::sessionThreadDone, this, &AppDelegate::onSessionLoaded, Qt::QueuedConnection);
    connect(this, &AppDelegate::sessionWritten, this, &AppDelegate::onSessionWritten, Qt::QueuedConnection);

    // Devices coming and going: the mount table signals a change as an exceptional
    // condition; device nodes appear in and vanish from /dev.
    mountFd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (mountFd_ >= 0) {
        mountNotifier_ = new QSocketNotifier(mountFd_, QSocketNotifier::Exception, this);
        connect(mountNotifier_, &QSocketNotifier::activated, this, [this] {
            char buffer[4096];
            ::lseek(mountFd_, 0, SEEK_SET);
            while (::read(mountFd_, buffer, sizeof buffer) > 0) {
            }
            driveRemovedOrMounted();
        });
    }
    deviceWatcher_.addPath("/dev");
    connect(&deviceWatcher_, &QFileSystemWatcher::directoryChanged, this, &AppDelegate::driveRemovedOrMounted);

    homeInitValues();
    goHome();
}

AppDelegate::~AppDelegate() {
    saveCancelled = true;
    stopWanted_ = true;
    pauseWanted_ = false;
    if (recoveryModule_) {
        recoveryModule_->setStop(true);
        recoveryModule_->setPause(false);
    }
    answerCollision(RenameWindow::Skip);
    joinWorkers();
    treeModel_.setModule(nullptr);
    if (mountFd_ >= 0) ::close(mountFd_);
    std::error_code ec;
    fs::remove_all(tempPath, ec);
}

void AppDelegate::joinWorkers() {
    for (std::thread* worker : {&scanThread_, &saveThread_, &sessionThread_})
        if (worker->joinable()) worker->join();
}

QString AppDelegate::ask(PathRequest request, const QString& suggested) { return askPath_(request, suggested); }

// --- start page ---

void AppDelegate::homeInitValues() {
    scanStarted = scanCompleted = scanAborted = scanPaused = false;
    saveRecovery = isSpecialScan = goToHome = exitAPP = false;
    DiskRemoved = false;
    saveCancelled = saveStarted = false;
    savingCompleted = true;
    saveDialogOpened = skipAll = renameALL = destinationRemoved = false;
    pauseWanted_ = stopWanted_ = false;
    selectedFile = selectedSize = 0;
    fileSelected();
    savedFile = savedSize = 0;
    savingPath.clear();
    selectedView.reset();
}

void AppDelegate::goHome() {
    progressTimer_.stop();
    joinWorkers();
    treeModel_.setModule(nullptr);
    recoveryModule_.reset();
    bridge_.reset();
    sourceDisk_.reset();
    removeLoadWindow();
    homeInitValues();
    window_.showPage(MainWindow::kStartPage);
    window_.sessionButton->setToolTip("Open Recovery Session");
    window_.openFolderButton->setEnabled(false);
    driveLoad();
    setButtonDisableForRespectiveView();
}

std::vector<std::shared_ptr<Disk>> AppDelegate::refreshDisks() {
    auto manager = DiskArbitrator().getDiskManager();
    return manager ? manager->getTheDisksArray() : std::vector<std::shared_ptr<Disk>>{};
}

void AppDelegate::driveLoad() {
    entries_.clear();
    for (const auto& disk : refreshDisks()) {
        const DriveColumns columns = driveColumnsFor(*disk);
        const std::string label = driveLabelFor(*disk);
        if (columns.partition || columns.external) entries_.push_back({DriveEntry::Volume, disk, "", label});
        if (columns.physical) entries_.push_back({DriveEntry::Physical, disk, "", label});
    }
    // Saved sessions: the automatic ones and those on the desktop.
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    for (const std::string& folder : {RecoverySession::sessionFolder(), desktop.toStdString()}) {
        std::error_code ec;
        std::vector<fs::path> sessions;
        for (const auto& file : fs::directory_iterator(folder, ec))
            if (file.path().extension() == std::string(".") + RecoverySession::kExtension)
                sessions.push_back(file.path());
        std::sort(sessions.begin(), sessions.end());
        for (const auto& session : sessions)
            entries_.push_back({DriveEntry::Session, nullptr, session.string(), session.filename().string()});
    }
    entries_.push_back({DriveEntry::Folder, nullptr, "", "Select Folder"});

    MainWindow& w = window_;
    fillColumn(w.partitionList, DriveEntry::Volume);
    fillColumn(w.sessionList, DriveEntry::Session);
    fillColumn(w.folderList, DriveEntry::Folder);
    fillColumn(w.physicalList, DriveEntry::Physical);
    // Volumes go to "Select Drive" or "External Drives" by their removable flag.
    w.externalList->clear();
    for (int row = w.partitionList->count() - 1; row >= 0; --row) {
        const auto& entry = entries_[static_cast<size_t>(w.partitionList->item(row)->data(Qt::UserRole).toInt())];
        if (entry.disk->isRemovable()) w.externalList->insertItem(0, w.partitionList->takeItem(row));
    }
    w.partitionHeader->setText(QString("Select Drive (%1)").arg(w.partitionList->count()));
    w.externalHeader->setText(QString("External Drives (%1)").arg(w.externalList->count()));
    w.sessionHeader->setText(QString("Recovery Session (%1)").arg(w.sessionList->count()));
    w.physicalHeader->setText(QString("Physical Disk (%1)").arg(w.physicalList->count()));
    w.physicalButton->setText(w.physicalHeader->text());
    w.scanButton->setText("Start Scan");
}

void AppDelegate::fillColumn(QListWidget* list, DriveEntry::Kind kind) {
    list->clear();
    for (size_t index = 0; index < entries_.size(); ++index) {
        const DriveEntry& entry = entries_[index];
        if (entry.kind != kind) continue;
        QString text = QString::fromStdString(entry.label);
        if (entry.disk)
            text += QString("\n%1  %2")
                        .arg(QString::fromStdString(entry.disk->getBSDPath().value_or("")),
                             sizeText(static_cast<int64_t>(entry.disk->getDiskSize())));
        auto* item = new QListWidgetItem(text, list);
        if (entry.disk && (entry.kind == DriveEntry::Physical || entry.disk->isRemovable()))
            item->setIcon(QIcon(":/icons/USB Disk.svg"));
        item->setData(Qt::UserRole, static_cast<int>(index));
    }
}

void AppDelegate::setDriveSelectedView(int index) {
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return;
    const DriveEntry& entry = entries_[static_cast<size_t>(index)];
    const bool same = selectedView && selectedView->kind == entry.kind && selectedView->path == entry.path &&
                      selectedView->disk == entry.disk && entry.kind != DriveEntry::Folder;
    if (same) {
        selectedView.reset();
        for (QListWidget* list : {window_.partitionList, window_.externalList, window_.sessionList,
                                  window_.folderList, window_.physicalList})
            list->clearSelection();
    } else if (entry.kind == DriveEntry::Folder) {
        chooseFolder(index);
    } else {
        selectedView = entry;
        isSpecialScan = false;
    }
    window_.scanButton->setText(selectedView && selectedView->kind == DriveEntry::Session ? "Load" : "Start Scan");
}

void AppDelegate::chooseFolder(int) {
    const QString chosen = ask(PathRequest::Folder);
    if (chosen.isEmpty()) return;
    const std::string path = fs::path(chosen.toStdString()).lexically_normal().string();
    auto disk = DiskManager::getDiskFromSelectPath_inArray(path, refreshDisks());
    const auto mountPoint = disk ? disk->getVolumePath() : std::nullopt;
    if (!disk || !mountPoint) return getSingleButtonWindow(111);
    // The folder's path within its volume; the volume's own top level is refused.
    const fs::path within = fs::path(path).lexically_relative(*mountPoint);
    if (within.empty() || within == "." || *within.begin() == "..") return getSingleButtonWindow(125);
    selectedView = DriveEntry{DriveEntry::Folder, disk, "/" + within.string(), fs::path(path).filename().string()};
    isSpecialScan = true;
}

void AppDelegate::reloadDrivesClicked() {
    selectedView.reset();
    driveLoad();
}

void AppDelegate::physicalDrive() {
    window_.showPage(MainWindow::kPhysicalPage);
    setButtonDisableForRespectiveView();
}

void AppDelegate::physicalBackClicked() {
    window_.showPage(MainWindow::kStartPage);
    setButtonDisableForRespectiveView();
}

void AppDelegate::openSource(const QString& path) {
    if (path.endsWith(QString(".") + RecoverySession::kExtension)) return loadRecoverySessionFromPath(path);
    std::string reason;
    auto disk = DiskArbitrator::diskForPath(path.toStdString(), &reason);
    if (!disk) {
        log_.write(reason, "openSource");
        return getSingleButtonWindow(111);
    }
    const std::string label = disk->isImageFile() ? fs::path(path.toStdString()).filename().string()
                                                  : driveLabelFor(*disk);
    selectedView = DriveEntry{disk->isImageFile() ? DriveEntry::Image : DriveEntry::Volume, disk, path.toStdString(),
                              label};
    isSpecialScan = false;
    scanClicked();
}

// --- scanning ---

void AppDelegate::scanClicked() {
    if (!selectedView) return getSingleButtonWindow(window_.page() == MainWindow::kStartPage ? 111 : 121);
    if (selectedView->kind == DriveEntry::Session) return loadRecoverySessionFromPath(QString::fromStdString(selectedView->path));
    startFullPerCount();
}

namespace {
// The device path a scan of disk reads (an image file's made absolute).
std::string scannedPath(const Disk& disk, const std::string& path) {
    const std::string device = disk.getBSDPath().value_or(path);
    return disk.isImageFile() ? fs::absolute(device).string() : device;
}

// The newest checkpoint left in the session folder; nothing when there is none.
std::optional<fs::path> newestCheckpoint() {
    std::optional<fs::path> newest;
    fs::file_time_type newestTime;
    std::error_code ec;
    for (const auto& file : fs::directory_iterator(RecoverySession::sessionFolder(), ec)) {
        if (!file.path().string().ends_with(checkpointPathFor(""))) continue;
        const auto time = file.last_write_time(ec);
        if (!ec && (!newest || time > newestTime)) {
            newest = file.path();
            newestTime = time;
        }
    }
    return newest;
}
}  // namespace

void AppDelegate::resumeScanClicked() {
    if (scanRunning()) return getSingleButtonWindow(113);
    const auto checkpoint = newestCheckpoint();
    if (!checkpoint) return (void)runAlertWithMessage(&window_, "There is no interrupted scan to resume.");
    std::ifstream file(*checkpoint, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto module = std::make_unique<RecoveryModule>();
    CheckpointHeader header;
    std::string reason;
    std::shared_ptr<Disk> disk;
    if (const auto damaged = module->loadCheckpoint(ByteView(bytes), header)) reason = *damaged;
    else if (!(disk = DiskArbitrator::diskForPath(header.devicePath, &reason))) reason = header.devicePath + ": " + reason;
    else if (const auto refusal = RecoveryModule::checkpointRefusal(header, *disk, scannedPath(*disk, header.devicePath)))
        reason = *refusal;
    if (!reason.empty()) {
        log_.write(checkpoint->string() + ": " + reason, "resumeScanClicked");
        return (void)runAlertWithMessage(&window_, QString::fromStdString(reason));
    }
    std::string label;
    {
        std::shared_lock lock(module->treeLock());
        label = module->dirRoot()->fileName;
    }
    selectedView = DriveEntry{disk->isImageFile() ? DriveEntry::Image : DriveEntry::Volume, disk, header.devicePath, label};
    isSpecialScan = false;
    const std::string session = checkpoint->string();
    startFullPerCount(Resumed{std::move(module), header.scanType,
                              session.substr(0, session.size() - checkpointPathFor("").size())});
}

void AppDelegate::startFullPerCount(std::optional<Resumed> resumed) {
    const DriveEntry entry = *selectedView;
    sourceDisk_ = entry.disk;
    scanCountTimer = 0;
    recoveryModule_ = resumed ? std::move(resumed->module) : std::make_unique<RecoveryModule>();
    bridge_ = std::make_unique<ScanBridge>(*this);
    recoveryModule_->setDel(bridge_.get());
    connect(bridge_.get(), &ScanBridge::quickCompletedOnScan, this, [this] {
        getSingleButtonWindow(106);
        window_.percentageLabel->setText("20%");
        treeModel_.reload();
    }, Qt::QueuedConnection);
    connect(bridge_.get(), &ScanBridge::reloadOnScan, this, [this] { treeModel_.reload(); }, Qt::QueuedConnection);
    connect(bridge_.get(), &ScanBridge::loadingWindowOnScan, this, [this] {
        if (!loading_->isVisible()) getLoadingWindow(scanAborted ? 4 : 5);
    }, Qt::QueuedConnection);
    connect(bridge_.get(), &ScanBridge::scanReturned, this, &AppDelegate::onScanReturned, Qt::QueuedConnection);
    connect(bridge_.get(), &ScanBridge::noticeOnScan, this,
            [this](const QString& text) { runAlertWithMessage(&window_, text); }, Qt::QueuedConnection);

    bsdPath = scannedPath(*entry.disk, entry.path);
    // A whole disk, or anything without a file system the quick scan knows, is swept only.
    scanType = entry.kind == DriveEntry::Physical || !isKnownVolumeKind(entry.disk->getVolumeKind()) ? "D" : "Q";
    if (resumed) scanType = resumed->scanType;
    const std::string rootName = entry.label;
    if (resumed) recoveryModule_->setDiskPathWithString(bsdPath);
    else recoveryModule_->setDiskPathWithString_withRootName(bsdPath, rootName);
    // The session is named when the scan starts: its checkpoint sits beside it meanwhile.
    const std::string sessionPath =
        resumed ? resumed->sessionPath
                : RecoverySession::sessionFolder() + "/" + RecoverySession::defaultFileName(std::time(nullptr));
    recoveryModule_->checkpointPath = checkpointPathFor(sessionPath);
    useMediaGroups();
    treeModel_.setModule(recoveryModule_.get());
    window_.driveLabel->setText(QString::fromStdString(rootName));
    window_.percentageLabel->setText("0%");
    window_.foundLabel->setText("Found: 0 files");
    window_.statusLabel->setText(scanType == "Q" ? "Quick Scan in progress..." : "Deep Scan in progress...");
    window_.pauseButton->setText("Pause");
    setScanBarVisible(true);
    scanPrevPercentage = -1;
    reloadOutlineCount = 9;
    scanTimeRemaining = 0;
    scanPrevCountTimer = 0;
    progressTimer_.start(1000);
    log_.write(rootName, "New Scan Started");
    log_.write(entry.disk->description(), "Selected");
    window_.showPage(MainWindow::kResultsPage);
    scanStarted = true;
    setButtonDisableForRespectiveView();

    const std::optional<std::string> folder =
        entry.kind == DriveEntry::Folder ? std::optional<std::string>(entry.path) : std::nullopt;
    const SessionHeader special{0, 0, static_cast<uint8_t>(isSpecialScan ? 1 : 0)};
    scanThread_ = std::thread([this, disk = entry.disk, checkers = catalogue_.makeSelectedSigArray(), type = scanType,
                               rootName, folder, special, sessionPath, resume = resumed.has_value()]() mutable {
        RecoveryModule& module = *recoveryModule_;
        // The automatic session of every scan; its folder sits in the documents folder,
        // which a fresh account may lack.
        makeFolderWithParents(RecoverySession::sessionFolder());
        try {
            module.setTheDiskInModule(disk);
            module.setFileCheckArray(std::move(checkers));
            if (resume) module.resumeFromDisk(disk);
            else module.recoverFromDisk_withScantType_andName_selectedPath(disk, type, rootName, folder);
        } catch (const std::exception& e) {
            scanAborted = true;
            module.setStop(true);
            log_.write(e.what(), "startFullPerCount");
        }
        scanCompleted = true;
        const SessionHeader header{1, static_cast<uint8_t>(scanAborted ? 1 : 0), special.isSpecialScan};
        std::optional<std::string> failure;
        if (const BaseTree* root = module.dirRoot())
            failure = RecoverySession::saveRecoverySessionAtPath(sessionPath, header, module.diskPath(), *root,
                                                                 module.treeLock());
        if (failure) log_.write(*failure, "saveRecoverySessionAtPath");
        // A finished scan saved in its session needs its checkpoint no more.
        std::error_code ec;
        if (!failure && !module.isStopped()) fs::remove(checkpointPathFor(sessionPath), ec);
        emit bridge_->scanReturned();
    });
}

void AppDelegate::onScanReturned() {
    // Nothing when going home or quitting has already joined the scan and dropped it.
    if (!scanThread_.joinable()) return;
    scanThread_.join();
    saveRecovery = false;  // the automatic session is not the user's
    bsdPath = recoveryModule_->diskPath();
    progressTimer_.stop();
    treeModel_.reload();
    removeLoadWindow();
    setScanCompletedPage(scanAborted ? "Aborted" : "Completed");
    getSingleButtonWindow(DiskRemoved ? 117 : scanAborted ? 116 : 110);
    DiskRemoved = false;
    setButtonDisableForRespectiveView();
}

int64_t AppDelegate::scanPercentage(uint64_t current, uint64_t total, bool quickType, bool quickDone) {
    // Scaled by multiplying first, so a device of fewer than 100 sectors still counts
    // and the sweep never shows more than its share.
    if (total == 0) return quickType && quickDone ? 20 : 0;
    const uint64_t share = quickType ? 80 : 100;
    const int64_t swept = static_cast<int64_t>(std::min(current, total) * share / total);
    return quickType ? (quickDone ? 20 + swept : 0) : swept;
}

int64_t AppDelegate::remainingSeconds(int64_t percent, int64_t previous, int64_t seconds) {
    const int64_t step = percent - previous;
    if (step <= 0) return 0;
    return (100 - percent + step - 1) / step * seconds;
}

QString AppDelegate::durationText(int64_t seconds) {
    seconds = std::max<int64_t>(seconds, 0);
    const int64_t days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60, secs = seconds % 60;
    const auto two = [](int64_t value) { return QString("%1").arg(value, 2, 10, QChar('0')); };
    const QString time = two(hours) + ":" + two(minutes) + ":" + two(secs);
    return days > 0 ? two(days) + ":" + time : time;
}

void AppDelegate::showFoundLine() {
    if (!recoveryModule_) return;
    if (isSpecialScan && !recoveryModule_->quickScanCompleted() && scanRunning()) {
        window_.foundLabel->setText("Found: 0 files");
        return;
    }
    std::shared_lock lock(recoveryModule_->treeLock());
    if (const BaseTree* root = recoveryModule_->dirRoot()) {
        double size = static_cast<double>(root->fileSize);
        const std::string unit = TreeClassMethod::checkSizeForNumber(size);
        window_.foundLabel->setText(
            QString("Found: %1 files (%2 %3)").arg(root->fileCount).arg(size, 0, 'f', 2).arg(QString::fromStdString(unit)));
    }
}

void AppDelegate::scanStartedTimeThread() {
    if (saveDialogOpened || !recoveryModule_) return;
    if (stopWanted_) recoveryModule_->setStop(true);
    const bool quickType = scanType == "Q", quickDone = recoveryModule_->quickScanCompleted();
    const QString scanName = quickType && !quickDone ? "Quick Scan" : "Deep Scan";
    if (scanPaused) {
        window_.statusLabel->setText(scanName + " paused");
        return;
    }
    const int64_t percent = scanPercentage(recoveryModule_->currentSectorNumber(), recoveryModule_->totalSector(),
                                           quickType, quickDone);
    if (!(quickType && !quickDone)) {
        if (percent != scanPrevPercentage) {
            log_.write(std::to_string(percent) + "%", "Scanning Percentage");
            scanTimeRemaining = remainingSeconds(percent, scanPrevPercentage, scanCountTimer - scanPrevCountTimer);
            scanPrevPercentage = percent;
            scanPrevCountTimer = scanCountTimer;
        } else if (scanTimeRemaining > 0) {
            --scanTimeRemaining;
        }
    }
    window_.statusLabel->setText(scanName + " in progress...");
    window_.timeLabel->setText(QString("Time Elapsed / Remaining: %1 / %2")
                                   .arg(durationText(scanCountTimer),
                                        durationText(quickType && !quickDone ? 0 : scanTimeRemaining)));
    if (reloadOutlineCount >= 10) {
        reloadOutlineCount = 0;
        treeModel_.reload();
        showFoundLine();
        window_.percentageLabel->setText(QString("%1%").arg(percent));
        // The task bar shows the window title: it carries the percentage.
        window_.setWindowTitle(QString("Norix Data Recovery - %1%").arg(percent));
    }
    ++reloadOutlineCount;
    ++scanCountTimer;
}

void AppDelegate::setScanCompletedPage(const QString& state) {
    if (state == "Load") {
        window_.statusLabel->setText("Recovery Session Loaded");
        window_.timeLabel->clear();
    } else {
        window_.statusLabel->setText("Deep Scan " + state);
        window_.timeLabel->setText(
            QString("Time Elapsed / Remaining: %1 / %2").arg(durationText(scanCountTimer), durationText(0)));
    }
    showFoundLine();
    window_.sessionButton->setToolTip("Save Recovery Session");
    window_.setWindowTitle("Norix Data Recovery");
    setScanBarVisible(false);
}

void AppDelegate::setScanBarVisible(bool visible) {
    window_.pauseButton->setVisible(visible);
    window_.stopButton->setVisible(visible);
    window_.percentageLabel->setVisible(visible);
}

void AppDelegate::enginePause(bool pause) {
    pauseWanted_ = pause;
    if (recoveryModule_) recoveryModule_->setPause(pause);
}

void AppDelegate::pausebtnClicked() {
    if (!scanRunning()) return;
    scanPaused = !scanPaused;
    window_.pauseButton->setText(scanPaused ? "Play" : "Pause");
    enginePause(scanPaused);
    scanStartedTimeThread();
}

void AppDelegate::stopClicked() {
    if (!scanRunning()) return;
    if (!scanPaused) pausebtnClicked();
    getDoubleButtomWindow(205);
}

void AppDelegate::scanStopped() {
    scanAborted = true;
    stopWanted_ = true;
    if (recoveryModule_) recoveryModule_->setStop(true);
}

void AppDelegate::fileSelected() {
    window_.resultsPage->fileSelected(selectedFile, selectedSize);
    setButtonDisableForRespectiveView();
}

void AppDelegate::useMediaGroups() {
    FilterState& filter = window_.resultsPage->filter();
    filter.images = {catalogue_.images.begin(), catalogue_.images.end()};
    filter.audio = {catalogue_.audio.begin(), catalogue_.audio.end()};
    filter.video = {catalogue_.video.begin(), catalogue_.video.end()};
    filter.others = {catalogue_.others.begin(), catalogue_.others.end()};
}

void AppDelegate::setButtonDisableForRespectiveView() {
    const bool results = window_.page() == MainWindow::kResultsPage;
    window_.fileTypeButton->setEnabled(!results || !scanRunning());
    window_.homeButton->setEnabled(results && !scanRunning());
    window_.sessionButton->setEnabled(!results || (scanCompleted && !saveRecovery));
    window_.resumeButton->setEnabled(!results);
    window_.recoverButton->setEnabled(results && selectedFile > 0);
    window_.resultsPage->setSearchEnabled(results && !scanRunning());
}

// --- leaving the results and quitting ---

void AppDelegate::homeBtnClicked() {
    if (window_.page() == MainWindow::kStartPage) return;
    if (window_.page() == MainWindow::kPhysicalPage) return physicalBackClicked();
    if (scanRunning()) return getSingleButtonWindow(113);
    goToHome = true;
    if (scanCompleted && !saveRecovery) return getDoubleButtomWindow(206);
    goHome();
}

void AppDelegate::treeBackBtnClick() {
    if (scanRunning()) return getSingleButtonWindow(113);
    if (!saveRecovery) {
        goToHome = true;
        return getDoubleButtomWindow(206);
    }
    getLoadingWindow(3);
    goHome();
}

void AppDelegate::applicationShouldTerminate() {
    if (scanRunning()) return getSingleButtonWindow(113);
    getDoubleButtomWindow(202);
}

void AppDelegate::quit() {
    joinWorkers();
    treeModel_.setModule(nullptr);
    recoveryModule_.reset();
    std::error_code ec;
    fs::remove_all(tempPath, ec);
    log_.write("Terminated", "applicationShouldTerminate");
    emit quitConfirmed();
}

// --- windows ---

void AppDelegate::getSingleButtonWindow(int code, const QString& filledText) {
    const WindowText* text = singleButtonText(code);
    if (!text) return;
    log_.write("SBW : " + std::to_string(code), "getSingleButtonWindow");
    SBWCode = code;
    sbw_->showText(*text, filledText);
}

void AppDelegate::okBtnClickedInSBW() {
    const int code = SBWCode;
    log_.write("OK Clicked", "okBtnClickedInSBW");
    if (code == 115) return getDoubleButtomWindow(204);
    sbw_->hide();
    SBWCode = 0;
    if (code == 110 || code == 116 || code == 117) window_.timeLabel->clear();
    if (code == 102) {
        if (exitAPP) return isFirstSaving ? getDoubleButtomWindow(207) : quit();
        if (goToHome) return goHome();
    }
    if ((code == 118 || code == 120) && summaryAfterWindow_) saveCompletedUIChanges();
}

void AppDelegate::getDoubleButtomWindow(int code) {
    const WindowText* text = doubleButtonText(code);
    if (!text) return;
    log_.write("DBW : " + std::to_string(code), "getDoubleButtomWindow");
    DBWCode = code;
    dbw_->showText(*text, {});
}

void AppDelegate::yesBtnClickedDBW() {
    const int code = DBWCode;
    log_.write("YES Clicked", "yesBtnClickedDBW");
    dbw_->hide();
    DBWCode = 0;
    switch (code) {
    case 201: return startSaving(true);
    case 202:
        exitAPP = true;
        if (scanCompleted && !saveRecovery) return getDoubleButtomWindow(206);
        if (isFirstSaving) return getDoubleButtomWindow(207);
        return quit();
    case 204:
        saveCancelled = true;
        return getLoadingWindow(1);
    case 205:
        scanStopped();
        pausebtnClicked();  // resumes, so the engine reaches its stop test
        return getLoadingWindow(4);
    case 206:
        if (!saveRecoverySession()) goToHome = exitAPP = false;
        return;
    case 207: return quit();
    }
}

void AppDelegate::noBtnClickedDBW() {
    const int code = DBWCode;
    log_.write("NO Clicked", "noBtnClickedDBW");
    dbw_->hide();
    DBWCode = 0;
    switch (code) {
    case 201: savingPath.clear(); return;
    case 202: exitAPP = false; return;
    case 205:
        scanAborted = false;
        if (scanPaused) pausebtnClicked();
        return;
    case 206:
        saveRecovery = true;
        setButtonDisableForRespectiveView();
        if (goToHome) return goHome();
        if (exitAPP) return isFirstSaving ? getDoubleButtomWindow(207) : quit();
        return;
    case 207: return quit();  // "Sure": we have no feedback page to open
    }
}

void AppDelegate::closeDBW() {
    const int code = DBWCode;
    log_.write("DBW : " + std::to_string(code), "closeDBW");
    if (code == 204) {  // back to the progress window
        dbw_->hide();
        DBWCode = 0;
        return;
    }
    if (code == 206) {
        // Leaving was not confirmed: the results stay.
        dbw_->hide();
        DBWCode = 0;
        goToHome = exitAPP = false;
        return;
    }
    if (code == 207) return yesBtnClickedDBW();
    noBtnClickedDBW();
}

void AppDelegate::getLoadingWindow(int code) {
    log_.write("LW : " + std::to_string(code), "getLoadingWindow");
    loading_->showCode(code);
}

void AppDelegate::removeLoadWindow() { loading_->hide(); }

int AppDelegate::loadingCode() const { return loading_->isVisible() ? loading_->code() : 0; }

bool AppDelegate::checkForInformationWindowOpen() const {
    return sbw_->isVisible() || dbw_->isVisible() || loading_->isVisible();
}

FileTypesWindow& AppDelegate::fileTypesWindow() {
    if (!fileTypes_) fileTypes_ = new FileTypesWindow(catalogue_, &window_);
    return *fileTypes_;
}

void AppDelegate::fileTypesClicked() {
    FileTypesWindow& types = fileTypesWindow();
    types.show();
    types.raise();
}

// --- saving ---

void AppDelegate::savingProgressItem() {
    if (!recoveryModule_ || saveStarted) return;
    {
        std::shared_lock lock(recoveryModule_->treeLock());
        const BaseTree* root = recoveryModule_->dirRoot();
        if (!root || root->fileCount == 0) return;
        if (root->selected == 0) return getSingleButtonWindow(114);
    }
    startSaving(false);
}

bool AppDelegate::sameDriveSaving() const {
    // Writing beside a disk-image file cannot overwrite it; a device can be.
    struct stat destination {}, source {};
    if (::stat(nearestExisting(savingPath).c_str(), &destination) != 0 || ::stat(bsdPath.c_str(), &source) != 0 ||
        !S_ISBLK(source.st_mode))
        return false;
    return destination.st_dev == source.st_rdev || wholeDiskOf(destination.st_dev) == source.st_rdev;
}

void AppDelegate::startSaving(bool destinationConfirmed) {
    if (savingPath.empty()) {
        saveDialogOpened = true;
        enginePause(true);
        const QString chosen = ask(PathRequest::SaveDestination, "Recovered");
        enginePause(scanPaused);
        saveDialogOpened = false;
        if (chosen.isEmpty()) return;
        savingPath = chosen.toStdString();
    }
    if (!destinationConfirmed && sameDriveSaving()) return getDoubleButtomWindow(201);
    // The destination is made here, parents included, so that a run never reports
    // success after saving nothing into a folder that could not be made.
    makeFolderWithParents(fs::absolute(savingPath).lexically_normal().string());
    if (::access(savingPath.c_str(), W_OK | X_OK) != 0) {
        const std::string reason = savingPath + ": " + std::strerror(errno);
        savingPath.clear();
        log_.write(reason, "startSaving");
        runAlertWithMessage(&window_, QString::fromStdString("The files cannot be saved in " + reason));
        return;
    }
    struct statvfs space {};
    if (::statvfs(nearestExisting(savingPath).c_str(), &space) == 0 &&
        static_cast<uint64_t>(space.f_bavail) * space.f_frsize < static_cast<uint64_t>(selectedSize)) {
        savingPath.clear();
        return getSingleButtonWindow(124);
    }
    saveCountTimer = savePrevCountTimer = saveTimeRemaing = 0;
    savingCompleted = saveCancelled = false;
    savedFile = savedSize = 0;
    savePrevPercentage = -1;
    destinationRemoved = summaryAfterWindow_ = false;
    getSingleButtonWindow(115);
    window_.percentageLabel->setText("0");
    savingTimer_.start(1000);
    saveStarted = true;
    enginePause(true);
    saveReport_ = {};
    saveThread_ = std::thread([this, path = savingPath] {
        try {
            // Read by the UI thread once it has joined this one.
            saveReport_ = recoveryModule_->startSavingWithSavingPath_withSavingFileCount_andSavingSize_boolForStop(
                path, savedFile, savedSize, saveCancelled, [this](const std::string& name) { return askCollision(name); });
        } catch (const std::exception& e) {
            log_.write(e.what(), "savingProgressItem");
        }
        savingCompleted = true;
        emit savingThreadDone();
    });
}

CollisionAnswer AppDelegate::askCollision(const std::string& name) {
    // On the saving thread: the question goes to the UI thread, the answer comes back.
    std::unique_lock lock(collisionMutex_);
    if (saveCancelled) return {CollisionAnswer::Skip, {}};
    collisionName_ = name;
    collisionAnswer_.reset();
    emit collisionWaiting();
    collisionAnswered_.wait(lock, [this] { return collisionAnswer_.has_value(); });
    return *collisionAnswer_;
}

void AppDelegate::launchRenameWindow() {
    std::string name;
    {
        std::lock_guard lock(collisionMutex_);
        if (collisionAnswer_) return;
        name = collisionName_;
    }
    // A cancelled run asks nothing more; a choice for all collisions answers at once.
    if (saveCancelled) return answerCollision(RenameWindow::Skip);
    if (skipAll || renameALL) return answerCollision(skipAll ? RenameWindow::SkipAll : RenameWindow::RenameAll);
    log_.write("Rename Window Lauched", "launchRenameWindowWithString");
    rename_->ask(QString::fromStdString(name));
}

void AppDelegate::answerCollision(int answer) {
    static const char* const kLogs[][2] = {{"skip Clicked", "skipClicked"},
                                           {"skipAll Clicked", "skillAllClicked"},
                                           {"rename Clicked", "renameClicked"},
                                           {"renameAll Clicked", "renameAllClicked"}};
    if (rename_->isVisible() || answer == RenameWindow::SkipAll || answer == RenameWindow::RenameAll)
        log_.write(kLogs[answer][0], kLogs[answer][1]);
    rename_->hide();
    skipAll = skipAll || answer == RenameWindow::SkipAll;
    renameALL = renameALL || answer == RenameWindow::RenameAll;
    const CollisionAnswer::Kind kinds[] = {CollisionAnswer::Skip, CollisionAnswer::SkipAll, CollisionAnswer::Rename,
                                           CollisionAnswer::RenameAll};
    {
        std::lock_guard lock(collisionMutex_);
        collisionAnswer_ = CollisionAnswer{kinds[answer], rename_->name().toStdString()};
    }
    collisionAnswered_.notify_all();
}

QString AppDelegate::getSavingMesage() const {
    return QString("Saved: %1 (%2) / %3 files (%4)")
        .arg(savedFile.load())
        .arg(sizeText(savedSize))
        .arg(selectedFile)
        .arg(sizeText(selectedSize));
}

void AppDelegate::savingTimerThread() {
    const int64_t saved = savedSize;
    // A selection under 100 bytes shows 100% once it is written.
    const int64_t percent = selectedSize >= 100 ? saved / (selectedSize / 100) : (saved >= selectedSize ? 100 : 0);
    if (percent != savePrevPercentage) {
        log_.write(std::to_string(savePrevPercentage) + "%", "Saving Percentage");
        saveTimeRemaing = remainingSeconds(percent, savePrevPercentage, saveCountTimer - savePrevCountTimer);
        savePrevCountTimer = saveCountTimer;
        savePrevPercentage = percent;
    }
    if (saveTimeRemaing > 0) --saveTimeRemaing;
    if (!savingCompleted && SBWCode == 115) {
        sbw_->setText(QString("Time Elapsed: %1\nTime Remaining: %2\n%3")
                          .arg(durationText(saveCountTimer), durationText(saveTimeRemaing), getSavingMesage()));
        window_.percentageLabel->setText(QString("%1%").arg(percent));
    }
    ++saveCountTimer;
}

void AppDelegate::saveCompletedChanges() {
    if (!saveThread_.joinable()) return;
    saveThread_.join();
    savingTimer_.stop();
    saveStarted = false;
    enginePause(scanPaused);
    savedPath = savingPath;
    savingPath.clear();
    window_.openFolderButton->setEnabled(true);
    if (log_.addSavingRun() == 0) isFirstSaving = true;
    if (destinationRemoved) {
        summaryAfterWindow_ = true;
        getSingleButtonWindow(120);
    } else if (SBWCode == 118) {
        summaryAfterWindow_ = true;  // its OK shows the summary
    } else {
        saveCompletedUIChanges();
    }
    DiskRemoved = false;
    destinationRemoved = false;
}

void AppDelegate::saveCompletedUIChanges() {
    summaryAfterWindow_ = false;
    removeLoadWindow();
    if (DBWCode != 0) noBtnClickedDBW();
    // What was not saved is said, so a short run never reads as a full one.
    QString notes;
    if (saveReport_.destinationFull) notes += "\nSaving stopped: the destination is full";
    if (saveReport_.skipped) notes += QString("\n%1 files skipped: their names were taken").arg(saveReport_.skipped);
    if (!saveReport_.cutShort.empty())
        notes += QString("\n%1 files cut short and removed").arg(saveReport_.cutShort.size());
    if (!saveReport_.unreadable.empty())
        notes += QString("\n%1 files saved in part: zeros stand in for what the device could not read")
                     .arg(saveReport_.unreadable.size());
    getSingleButtonWindow(109, QString("Time Elapsed: %1\nTime Remaining: %2\n%3")
                                   .arg(durationText(saveCountTimer), durationText(0), getSavingMesage()) +
                                   notes);
}

void AppDelegate::cancelSaving(bool sourceGone) {
    DiskRemoved = true;
    saveCancelled = true;
    destinationRemoved = !sourceGone;
    if (rename_->isVisible()) answerCollision(RenameWindow::Skip);
    if (DBWCode != 0) {
        dbw_->hide();
        DBWCode = 0;
    }
    if (sourceGone) getSingleButtonWindow(118);
}

// --- devices coming and going ---

void AppDelegate::driveRemovedOrMounted() {
    std::string rootName;
    uint8_t rootEntry = 0;
    if (recoveryModule_) {
        std::shared_lock lock(recoveryModule_->treeLock());
        if (const BaseTree* root = recoveryModule_->dirRoot()) {
            rootName = root->fileName;
            rootEntry = root->entry;
        }
    }
    // An APFS scan reads a container whose volumes come and go with it.
    if (scanRunning() && rootEntry == kApfs) return;
    log_.write("mount table changed", "driveRemovedOrMounted");
    const auto disks = refreshDisks();
    if (window_.page() != MainWindow::kResultsPage || !recoveryModule_) return driveLoad();

    bool sourcePresent;
    std::error_code ec;
    if (sourceDisk_ && sourceDisk_->isImageFile()) {
        sourcePresent = fs::is_regular_file(bsdPath, ec);
    } else {
        const auto disk = DiskManager::getDiskFromBSDPath_inArray(bsdPath, disks);
        sourcePresent = disk && (driveLabelFor(*disk) == rootName || rootName.find("Untitled") != std::string::npos);
        if (!sourcePresent)
            if (const auto renamed = DiskManager::getDiskWithName_inArray(rootName, disks); renamed && renamed->getBSDPath()) {
                // The device was renumbered: read it under its new name.
                bsdPath = *renamed->getBSDPath();
                recoveryModule_->setDiskPathWithString(bsdPath);
                sourcePresent = true;
            }
    }
    if (sourcePresent) {
        if (saveStarted && !savingPath.empty() && !fs::exists(fs::path(savingPath).parent_path(), ec)) cancelSaving(false);
        return;
    }
    if (scanRunning()) {
        DiskRemoved = true;
        scanStopped();
        if (scanPaused) pausebtnClicked();
        if (saveStarted) cancelSaving(true);
    } else if (saveStarted) {
        cancelSaving(true);
    }
}

// --- sessions ---

bool AppDelegate::saveRecoverySession() {
    const BaseTree* root = recoveryModule_ ? recoveryModule_->dirRoot() : nullptr;
    if (!root) return false;
    QString path = ask(PathRequest::SessionToSave,
                       QString::fromStdString(RecoverySession::defaultFileName(std::time(nullptr))));
    if (path.isEmpty()) return false;
    if (!path.endsWith(QString(".") + RecoverySession::kExtension)) path += QString(".") + RecoverySession::kExtension;
    log_.write(path.toStdString(), "saveRecoverySessionAtPath");
    getLoadingWindow(1);
    if (sessionThread_.joinable()) sessionThread_.join();
    const SessionHeader header{1, static_cast<uint8_t>(scanAborted ? 1 : 0), static_cast<uint8_t>(isSpecialScan)};
    // Written on its own thread while the loading window shows; window 102 follows.
    sessionThread_ = std::thread([this, file = path.toStdString(), header, device = bsdPath, root] {
        auto failure = RecoverySession::saveRecoverySessionAtPath(file, header, device, *root,
                                                                  recoveryModule_->treeLock());
        {
            std::lock_guard lock(sessionMutex_);
            sessionFailure_ = std::move(failure);
        }
        emit sessionWritten();
    });
    return true;
}

void AppDelegate::onSessionWritten() {
    if (!sessionThread_.joinable()) return;
    sessionThread_.join();
    removeLoadWindow();
    std::optional<std::string> failure;
    {
        std::lock_guard lock(sessionMutex_);
        failure.swap(sessionFailure_);
    }
    if (failure) {
        log_.write(*failure, "saveRecoverySessionInHandle");
        goToHome = exitAPP = false;
        return;
    }
    saveRecovery = true;
    setButtonDisableForRespectiveView();
    getSingleButtonWindow(102);
}

void AppDelegate::openRecoverySession() {
    if (window_.page() == MainWindow::kResultsPage) {
        if (scanCompleted && !saveRecovery) saveRecoverySession();
        return;
    }
    if (const QString path = ask(PathRequest::SessionToOpen); !path.isEmpty()) loadRecoverySessionFromPath(path);
}

void AppDelegate::loadRecoverySessionFromPath(const QString& path) {
    if (!fs::exists(path.toStdString())) {
        log_.write(path.toStdString(), "File not found at path");
        return;
    }
    log_.write(path.toStdString(), "loadRecoverySessionFromPath");
    treeModel_.setModule(nullptr);
    recoveryModule_.reset();
    getLoadingWindow(6);
    window_.showPage(MainWindow::kResultsPage);
    setScanCompletedPage("Load");
    sessionThread_ = std::thread([this, file = path.toStdString()] {
        LoadedSession session = RecoverySession::loadRecoverySessionFromPath(file);
        {
            std::lock_guard lock(sessionMutex_);
            loadedSession_ = std::move(session);
        }
        emit sessionThreadDone();
    });
}

void AppDelegate::onSessionLoaded() {
    if (!sessionThread_.joinable()) return;
    sessionThread_.join();
    std::optional<LoadedSession> session;
    {
        std::lock_guard lock(sessionMutex_);
        session.swap(loadedSession_);
    }
    removeLoadWindow();
    if (!session || !session->dirRoot) {
        log_.write(session ? session->error.value_or("no tree") : "no session", "loadRecoverySessionFromPath");
        return goHome();
    }
    if (session->error) log_.write(*session->error, "loadRecoverySessionFromPath");
    scanCompleted = session->header.scanCompleted != 0;
    scanAborted = session->header.scanAborted != 0;
    isSpecialScan = session->header.isSpecialScan != 0;
    scanStarted = true;
    saveRecovery = true;
    bsdPath = session->bsdPath;
    const std::string rootName = session->dirRoot->fileName;
    // An APFS session names its container, which is not matched by name.
    if (session->dirRoot->entry != kApfs) {
        if (const auto found = RecoverySession::checkForScannedDrive(*session, refreshDisks())) bsdPath = *found;
        else getSingleButtonWindow(122);
    }
    recoveryModule_ = std::make_unique<RecoveryModule>();
    recoveryModule_->adoptRecoverySession(std::move(session->dirRoot), bsdPath);
    sourceDisk_ = DiskArbitrator::diskForPath(bsdPath);
    treeModel_.setModule(recoveryModule_.get());
    window_.driveLabel->setText(QString::fromStdString(rootName));
    setScanCompletedPage("Load");
    setButtonDisableForRespectiveView();
}

}  // namespace norix::app
