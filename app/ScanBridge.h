#pragma once
// The scan engine's delegate. Its calls arrive on the scan thread; each asserts again
// what the user asked of the engine and is forwarded to the UI thread as a queued signal.
#include <QObject>

#include "scan/RecoveryToDelegate.h"

namespace norix::app {

class AppDelegate;

class ScanBridge : public QObject, public RecoveryToDelegate {
    Q_OBJECT
public:
    explicit ScanBridge(AppDelegate& controller);
    void quickCompleted() override;
    void reloadOutlineData() override;
    void openLoadingWindow() override;
    void setBSDPath(const std::string& path) override;
    void showNotice(const std::string& text) override;

signals:
    void quickCompletedOnScan();
    void reloadOnScan();
    void loadingWindowOnScan();
    void scanReturned();
    void noticeOnScan(const QString& text);

private:
    void assertWishes();
    AppDelegate& controller_;
};

}  // namespace norix::app
