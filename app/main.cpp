// norix-recovery: the desktop application. `norix-recovery [SOURCE]` opens a disk-image
// file, a device or a recovery session straight into its scan or load.
#include <QApplication>
#include <QLockFile>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>

#include "app/AppDelegate.h"
#include "disk/Platform.h"

int main(int argc, char** argv) {
    norix::settleTimeZone();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Norix Data Recovery");
    QApplication::setDesktopFileName("norix-recovery");

    // One running copy per user.
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) runtime = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    QLockFile lock(runtime + "/norix-recovery.lock");
    if (!lock.tryLock(100)) {
        QMessageBox::warning(nullptr, "Alert", "Application is alredy running.");
        return 1;
    }

    norix::app::AppDelegate controller;
    QObject::connect(&controller, &norix::app::AppDelegate::quitConfirmed, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    controller.window().show();
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1)
        QTimer::singleShot(0, &controller, [&controller, source = arguments.at(1)] { controller.openSource(source); });
    return QApplication::exec();
}
