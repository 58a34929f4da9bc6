#pragma once
// The application controller: the drive list, one scan engine per scan run on a worker
// thread, the once-a-second progress, pause and stop, saving runs, recovery sessions,
// devices coming and going, and the guards on leaving the results or quitting. Every
// message goes through a numbered window; the engine's delegate calls arrive on the
// scan thread and are forwarded to this (the UI) thread by queued signals.
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/AppLog.h"
#include "app/MainWindow.h"
#include "app/TreeModel.h"
#include "app/Windows.h"
#include "disk/Disk.h"
#include "results/RecoverySession.h"
#include "results/SaveRun.h"
#include "scan/RecoveryModule.h"
#include "signatures/SigCatalogue.h"

class QSocketNotifier;

namespace norix::app {

class ScanBridge;
class FileTypesWindow;

// One entry of the drive list.
struct DriveEntry {
    enum Kind { Volume, Physical, Session, Folder, Image } kind = Volume;
    std::shared_ptr<Disk> disk;
    std::string path;  // a session or image file; for a folder, its path within the volume
    std::string label;
};

class AppDelegate : public QObject {
    Q_OBJECT
public:
    // The paths the user is asked for. The answer is empty when the user cancels.
    enum class PathRequest { Folder, DiskImage, SaveDestination, SessionToSave, SessionToOpen };
    using PathAsker = std::function<QString(PathRequest request, const QString& suggestedName)>;

    AppDelegate();
    ~AppDelegate() override;
    MainWindow& window() { return window_; }
    TreeModel& treeModel() { return treeModel_; }
    // Replaces the file choosers (tests and the picture tool answer by themselves).
    void setPathAsker(PathAsker asker) { askPath_ = std::move(asker); }

    // --- user actions ---
    // A disk-image file, a device or a session file straight into its scan or load.
    void openSource(const QString& path);
    void setDriveSelectedView(int entry);
    void scanClicked();
    void physicalDrive();
    void physicalBackClicked();
    void reloadDrivesClicked();
    void pausebtnClicked();
    void stopClicked();
    void homeBtnClicked();
    void treeBackBtnClick();
    void savingProgressItem();
    void openRecoverySession();
    // Continues the newest scan whose checkpoint is left in the session folder.
    void resumeScanClicked();
    void fileTypesClicked();
    void applicationShouldTerminate();
    void driveRemovedOrMounted();

    // --- the numbered windows ---
    void getSingleButtonWindow(int code, const QString& filledText = {});
    void okBtnClickedInSBW();
    void getDoubleButtomWindow(int code);
    void yesBtnClickedDBW();
    void noBtnClickedDBW();
    void closeDBW();
    void getLoadingWindow(int code);
    void removeLoadWindow();
    bool checkForInformationWindowOpen() const;
    int SBWCode = 0;
    int DBWCode = 0;
    int loadingCode() const;
    MessageWindow& singleButtonWindow() { return *sbw_; }
    MessageWindow& doubleButtonWindow() { return *dbw_; }
    LoadingWindow& loadingWindow() { return *loading_; }
    RenameWindow& renameWindow() { return *rename_; }
    FileTypesWindow& fileTypesWindow();

    // --- state (read by the views and tests) ---
    const std::vector<DriveEntry>& driveEntries() const { return entries_; }
    RecoveryModule* recoveryModule() const { return recoveryModule_.get(); }
    std::string bsdPath, scanType;
    std::optional<DriveEntry> selectedView;
    std::atomic<bool> scanStarted{false}, scanCompleted{false}, scanAborted{false}, scanPaused{false};
    bool saveRecovery = false, isSpecialScan = false, goToHome = false, exitAPP = false, isFirstSaving = false;
    std::atomic<bool> DiskRemoved{false};
    int64_t scanCountTimer = 0, scanPrevCountTimer = 0, scanPrevPercentage = -1, scanTimeRemaining = 0;
    int reloadOutlineCount = 9;
    std::string tempPath;
    // Saving.
    std::string savingPath, savedPath;
    int64_t selectedFile = 0, selectedSize = 0;
    std::atomic<int64_t> savedFile{0}, savedSize{0};
    std::atomic<bool> saveCancelled{false}, saveStarted{false}, savingCompleted{true};
    bool saveDialogOpened = false, skipAll = false, renameALL = false, destinationRemoved = false;
    int64_t saveCountTimer = 0, savePrevCountTimer = 0, savePrevPercentage = -1, saveTimeRemaing = 0;

    // "%02d:%02d:%02d", or "%02d:%02d:%02d:%02d" from one day on.
    static QString durationText(int64_t seconds);
    // The scan percentage: the quick scan takes the first 20, the sweep the rest (all
    // 100 for a deep scan only).
    static int64_t scanPercentage(uint64_t current, uint64_t total, bool quickType, bool quickDone);
    // Seconds left from the percentage's last change: ceil((100 - p) / (p - previous)) x
    // the seconds that change took.
    static int64_t remainingSeconds(int64_t percent, int64_t previous, int64_t seconds);

signals:
    // Quitting was confirmed; the application ends.
    void quitConfirmed();
    // From the worker threads (queued to this thread).
    void savingThreadDone();
    void collisionWaiting();
    void sessionThreadDone();
    void sessionWritten();

private:
    void homeInitValues();
    void goHome();
    void driveLoad();
    std::vector<std::shared_ptr<Disk>> refreshDisks();
    void fillColumn(QListWidget* list, DriveEntry::Kind kind);
    void chooseFolder(int entry);
    // A scan of selectedView; resumed: an engine holding a checkpoint of its scan of this
    // type, continued and saved at sessionPath.
    struct Resumed {
        std::unique_ptr<RecoveryModule> module;
        std::string scanType, sessionPath;
    };
    void startFullPerCount(std::optional<Resumed> resumed = std::nullopt);
    bool scanRunning() const { return scanStarted && !scanCompleted; }
    void scanStartedTimeThread();
    void onScanReturned();
    void setScanCompletedPage(const QString& state);
    void showFoundLine();
    void scanStopped();
    void enginePause(bool pause);
    void setScanBarVisible(bool visible);
    void setButtonDisableForRespectiveView();
    // The selection line and the Recover button after the checked totals changed.
    void fileSelected();
    // The filter's media groups from the file-type catalogue.
    void useMediaGroups();
    // Saving.
    void startSaving(bool destinationConfirmed);
    bool sameDriveSaving() const;
    void savingTimerThread();
    QString getSavingMesage() const;
    void saveCompletedChanges();
    void saveCompletedUIChanges();
    CollisionAnswer askCollision(const std::string& name);
    void launchRenameWindow();
    void answerCollision(int answer);
    void cancelSaving(bool sourceGone);
    // Sessions.
    // Asks where and starts writing the session; false when the user cancelled.
    bool saveRecoverySession();
    void onSessionWritten();
    void loadRecoverySessionFromPath(const QString& path);
    void onSessionLoaded();
    void quit();
    void joinWorkers();
    QString ask(PathRequest request, const QString& suggested = {});

    AppLog log_;
    MainWindow window_;
    TreeModel treeModel_;
    SigCatalogue catalogue_;
    PathAsker askPath_;
    MessageWindow* sbw_;
    MessageWindow* dbw_;
    LoadingWindow* loading_;
    RenameWindow* rename_;
    FileTypesWindow* fileTypes_ = nullptr;
    std::vector<DriveEntry> entries_;
    std::unique_ptr<RecoveryModule> recoveryModule_;
    std::unique_ptr<ScanBridge> bridge_;
    std::shared_ptr<Disk> sourceDisk_;
    QTimer progressTimer_, savingTimer_;
    std::thread scanThread_, saveThread_, sessionThread_;
    // What the user asked of the engine; asserted again at the engine's first calls,
    // since it clears both flags as its scan begins.
    std::atomic<bool> pauseWanted_{false}, stopWanted_{false};
    // A name collision the saving thread waits on.
    std::mutex collisionMutex_;
    std::condition_variable collisionAnswered_;
    std::string collisionName_;
    std::optional<CollisionAnswer> collisionAnswer_;
    bool summaryAfterWindow_ = false;
    SaveReport saveReport_;
    // A session read or written on its own thread.
    std::mutex sessionMutex_;
    std::optional<LoadedSession> loadedSession_;
    std::optional<std::string> sessionFailure_;
    QSocketNotifier* mountNotifier_ = nullptr;
    int mountFd_ = -1;
    QFileSystemWatcher deviceWatcher_;

    friend class ScanBridge;
};

}  // namespace norix::app
