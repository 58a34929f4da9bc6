// The desktop application driven through its controller on Qt's offscreen platform:
// scans of the sample image, saving with name collisions, stopping, quitting with
// unsaved results, and a recovery session loaded, saved from and losing its source.
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <filesystem>
#include <map>
#include <memory>

#include "app/AppDelegate.h"
#include "disk/DiskArbitrator.h"
#include "results/RecoverySession.h"
#include "tests/support/TestSupport.h"

using namespace norix;
using namespace norix::app;
namespace fs = std::filesystem;

namespace {

constexpr int kScanTimeout = 120000;

uint64_t bytesBelow(const fs::path& folder, const std::string& nameEnd = "") {
    uint64_t bytes = 0;
    for (const auto& file : fs::recursive_directory_iterator(folder))
        if (file.is_regular_file() && file.path().filename().string().ends_with(nameEnd)) bytes += file.file_size();
    return bytes;
}

// The session files in folder (a stopped scan's checkpoint may sit beside its session).
std::vector<fs::path> sessionsIn(const fs::path& folder) {
    std::vector<fs::path> sessions;
    std::error_code ec;
    for (const auto& file : fs::directory_iterator(folder, ec))
        if (file.path().extension() == ".nxdrs") sessions.push_back(file.path());
    return sessions;
}

}  // namespace

class AppFlowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempHome> home_;
    std::unique_ptr<AppDelegate> app_;
    std::map<AppDelegate::PathRequest, QString> answers_;
    fs::path image_, destination_;

    std::string log() const { return test::readText(home_->dataFolder() / "UI.txt"); }

    // Scans the sample image to its completion window and closes it.
    void scanToCompletion() {
        app_->openSource(QString::fromStdString(image_.string()));
        QTRY_COMPARE_WITH_TIMEOUT(app_->SBWCode, 110, kScanTimeout);
        app_->okBtnClickedInSBW();
    }

    // Saves the checked files into destination_ and waits for the summary.
    void saveChecked() {
        app_->savingProgressItem();
        QTRY_COMPARE_WITH_TIMEOUT(app_->SBWCode, 109, kScanTimeout);
    }

private slots:
    void init() {
        home_ = std::make_unique<test::TempHome>();
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(home_->home().string()));
        fs::permissions(home_->home(), fs::perms::owner_all, fs::perm_options::replace);
        image_ = home_->home() / "sample.img";
        fs::copy_file(test::sampleImage(), image_);
        destination_ = home_->home() / "Recovered";
        answers_ = {{AppDelegate::PathRequest::SaveDestination, QString::fromStdString(destination_.string())},
                    {AppDelegate::PathRequest::SessionToSave,
                     QString::fromStdString((home_->home() / "mine.nxdrs").string())}};
        app_ = std::make_unique<AppDelegate>();
        app_->setPathAsker([this](AppDelegate::PathRequest request, const QString&) { return answers_[request]; });
    }

    void cleanup() {
        app_.reset();
        home_.reset();
    }

    void progressArithmetic() {
        QCOMPARE(AppDelegate::durationText(90061), QString("01:01:01:01"));
        QCOMPARE(AppDelegate::durationText(3661), QString("01:01:01"));
        QCOMPARE(AppDelegate::scanPercentage(40000, 80000, true, true), 60);
        QCOMPARE(AppDelegate::scanPercentage(40000, 80000, true, false), 0);
        // A device of fewer than 100 sectors still reaches 100, and never passes it.
        QCOMPARE(AppDelegate::scanPercentage(50, 50, false, false), 100);
        QCOMPARE(AppDelegate::scanPercentage(159, 159, true, true), 100);
        QCOMPARE(AppDelegate::remainingSeconds(50, 40, 30), 150);
    }

    void scanThenSaveTwiceRenamingAll() {
        scanToCompletion();
        const std::string text = log();
        QVERIFY(text.find("SBW : 106") < text.find("SBW : 110"));
        QCOMPARE(sessionsIn(home_->home() / "Documents" / "Norix Data Recovery Software Recovery Sessions").size(),
                 size_t(1));

        app_->savingProgressItem();
        QCOMPARE(app_->SBWCode, 114);  // nothing checked yet
        app_->okBtnClickedInSBW();
        const QModelIndex documents = app_->treeModel().indexForNames({"Quick Scan", "Existing Files", "Documents"});
        QVERIFY(documents.isValid());
        app_->treeModel().setChecked(documents, true);
        QCOMPARE(app_->selectedFile, 4);

        saveChecked();
        QVERIFY(app_->singleButtonWindow().text().contains("Saved: 4 ("));
        const fs::path saved = destination_ / "sample.img" / "Quick Scan" / "Existing Files" / "Documents";
        QCOMPARE(bytesBelow(saved), static_cast<uint64_t>(app_->selectedSize));
        app_->okBtnClickedInSBW();

        // Every name is taken now: one question, answered for all.
        app_->savingProgressItem();
        QTRY_VERIFY_WITH_TIMEOUT(app_->renameWindow().isVisible(), kScanTimeout);
        app_->renameWindow().findChild<QPushButton*>("Rename All")->click();
        QTRY_COMPARE_WITH_TIMEOUT(app_->SBWCode, 109, kScanTimeout);
        QVERIFY(fs::exists(saved / "notes (1).txt"));
        QCOMPARE(bytesBelow(saved, " (1).txt") + bytesBelow(saved, " (1).csv"),
                 static_cast<uint64_t>(app_->selectedSize));
        const std::string after = log();
        size_t asked = 0;
        for (size_t at = after.find("Rename Window Lauched"); at != std::string::npos;
             at = after.find("Rename Window Lauched", at + 1))
            ++asked;
        QCOMPARE(asked, size_t(1));
        QCOMPARE(test::readBytes(home_->dataFolder() / "UI.txt", 0, 1).front(), uint8_t(2));  // saving runs
    }

    void destinationRemovedDuringSave() {
        // A destination whose parent is missing is made whole, not left empty.
        destination_ = home_->home() / "card" / "Recovered";
        answers_[AppDelegate::PathRequest::SaveDestination] = QString::fromStdString(destination_.string());
        scanToCompletion();
        app_->treeModel().setChecked(app_->treeModel().index(0, 0), true);
        saveChecked();
        app_->okBtnClickedInSBW();
        app_->savingProgressItem();
        QTRY_VERIFY_WITH_TIMEOUT(app_->renameWindow().isVisible(), kScanTimeout);
        fs::remove_all(destination_.parent_path());
        app_->driveRemovedOrMounted();
        QTRY_COMPARE_WITH_TIMEOUT(app_->SBWCode, 120, kScanTimeout);
        app_->okBtnClickedInSBW();
        QCOMPARE(app_->SBWCode, 109);
    }

    void stopMidScan() {
        app_->openSource(QString::fromStdString(image_.string()));
        app_->stopClicked();
        QCOMPARE(app_->DBWCode, 205);
        app_->yesBtnClickedDBW();
        QCOMPARE(app_->loadingCode(), 4);
        QTRY_COMPARE_WITH_TIMEOUT(app_->SBWCode, 116, kScanTimeout);
        const auto sessions =
            sessionsIn(home_->home() / "Documents" / "Norix Data Recovery Software Recovery Sessions");
        QCOMPARE(sessions.size(), size_t(1));
        QCOMPARE(RecoverySession::loadRecoverySessionFromPath(sessions.front()).header.scanAborted, uint8_t(1));
        // Leaving during the scan was refused until now; the results may go home after 206.
        app_->okBtnClickedInSBW();
        app_->homeBtnClicked();
        QCOMPARE(app_->DBWCode, 206);
        app_->closeDBW();
        QCOMPARE(app_->window().page(), MainWindow::kResultsPage);
    }

    // "Resume Scan" takes the checkpoint a scan left in the session folder, continues it
    // and saves, in the session beside it, the tree the uninterrupted scan ends with.
    void resumeScanContinuesTheCheckpointBesideItsSession() {
        const fs::path folder = RecoverySession::sessionFolder(), session = folder / "interrupted.nxdrs";
        fs::create_directories(folder);
        const std::string device = fs::absolute(image_).string();
        RecoveryModule engine;
        engine.checkpointPath = checkpointPathFor(session.string());
        engine.checkpointInterval = std::chrono::milliseconds(0);  // the last is taken before the arranging
        engine.setDiskPathWithString_withRootName(device, "sample.img");
        engine.recoverFromDisk_withScantType_andName_selectedPath(DiskArbitrator::diskForPath(device), "Q",
                                                                 "sample.img", std::nullopt);
        QVERIFY(fs::exists(engine.checkpointPath));
        const fs::path whole = home_->home() / "whole.nxdrs";
        QVERIFY(!RecoverySession::saveRecoverySessionAtPath(whole.string(), {1, 0, 0}, device, *engine.dirRoot(),
                                                            engine.treeLock()));
        app_->resumeScanClicked();
        QTRY_COMPARE_WITH_TIMEOUT(app_->SBWCode, 110, kScanTimeout);
        QVERIFY(!fs::exists(engine.checkpointPath));
        QCOMPARE(test::readFile(session), test::readFile(whole));
    }

    void sourceRemovedDuringScan() {
        app_->openSource(QString::fromStdString(image_.string()));
        app_->pausebtnClicked();  // held before its first file, however fast the machine
        fs::remove(image_);
        app_->driveRemovedOrMounted();
        QTRY_COMPARE_WITH_TIMEOUT(app_->SBWCode, 117, kScanTimeout);
        QVERIFY(app_->scanAborted);
    }

    void quitWithUnsavedResults() {
        QSignalSpy quit(app_.get(), &AppDelegate::quitConfirmed);
        scanToCompletion();
        app_->applicationShouldTerminate();
        QCOMPARE(app_->DBWCode, 202);
        app_->yesBtnClickedDBW();
        QCOMPARE(app_->DBWCode, 206);
        app_->yesBtnClickedDBW();
        QTRY_COMPARE_WITH_TIMEOUT(app_->SBWCode, 102, kScanTimeout);
        QCOMPARE(quit.count(), 0);
        app_->okBtnClickedInSBW();
        QCOMPARE(quit.count(), 1);
        const LoadedSession mine = RecoverySession::loadRecoverySessionFromPath(home_->home() / "mine.nxdrs");
        QVERIFY(mine.dirRoot);
        QCOMPARE(mine.dirRoot->fileName, std::string("sample.img"));
    }

    void sessionLoadedSavedFromThenSourceRemoved() {
        scanToCompletion();
        app_->homeBtnClicked();
        app_->noBtnClickedDBW();  // 206 declined: home without a session of our own
        QCOMPARE(app_->window().page(), MainWindow::kStartPage);
        const auto& entries = app_->driveEntries();
        const auto session = std::find_if(entries.begin(), entries.end(),
                                          [](const DriveEntry& entry) { return entry.kind == DriveEntry::Session; });
        QVERIFY(session != entries.end());
        const int sessionEntry = static_cast<int>(session - entries.begin());
        app_->setDriveSelectedView(sessionEntry);
        QCOMPARE(app_->window().scanButton->text(), QString("Load"));
        app_->scanClicked();
        QCOMPARE(app_->loadingCode(), 6);
        QTRY_VERIFY_WITH_TIMEOUT(app_->recoveryModule() != nullptr, kScanTimeout);
        QCOMPARE(app_->SBWCode, 0);  // the image was found: no window 122

        app_->treeModel().setChecked(app_->treeModel().index(0, 0), true);
        saveChecked();
        QCOMPARE(bytesBelow(destination_), static_cast<uint64_t>(app_->selectedSize));
        app_->okBtnClickedInSBW();

        // The next run waits on a collision while its source disappears.
        app_->savingProgressItem();
        QTRY_VERIFY_WITH_TIMEOUT(app_->renameWindow().isVisible(), kScanTimeout);
        fs::remove(image_);
        app_->driveRemovedOrMounted();
        QCOMPARE(app_->SBWCode, 118);
        QVERIFY(!app_->renameWindow().isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!app_->saveStarted, kScanTimeout);
        QCOMPARE(app_->SBWCode, 118);
        app_->okBtnClickedInSBW();
        QCOMPARE(app_->SBWCode, 109);
        app_->okBtnClickedInSBW();

        // Loaded again without its device: the tree is shown and window 122 says why.
        app_->homeBtnClicked();
        app_->setDriveSelectedView(sessionEntry);
        app_->scanClicked();
        QTRY_COMPARE_WITH_TIMEOUT(app_->SBWCode, 122, kScanTimeout);
        QVERIFY(app_->treeModel().index(0, 0).isValid());
    }
};

QTEST_MAIN(AppFlowTest)
#include "AppFlowTest.moc"
