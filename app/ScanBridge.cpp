#include "app/ScanBridge.h"

#include "app/AppDelegate.h"

namespace norix::app {

ScanBridge::ScanBridge(AppDelegate& controller) : controller_(controller) {}

void ScanBridge::assertWishes() {
    if (RecoveryModule* module = controller_.recoveryModule()) {
        if (controller_.stopWanted_) module->setStop(true);
        module->setPause(controller_.pauseWanted_);
    }
}

void ScanBridge::quickCompleted() {
    assertWishes();
    emit quickCompletedOnScan();
}

void ScanBridge::reloadOutlineData() {
    assertWishes();
    emit reloadOnScan();
}

void ScanBridge::openLoadingWindow() {
    assertWishes();
    emit loadingWindowOnScan();
}

void ScanBridge::setBSDPath(const std::string&) {
    // The engine moved to an APFS container; its diskPath() answers the new path.
    assertWishes();
}

void ScanBridge::showNotice(const std::string& text) {
    assertWishes();
    emit noticeOnScan(QString::fromStdString(text));
}

}  // namespace norix::app
