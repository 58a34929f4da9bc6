// norix-render-pages OUTDIR SAMPLE_IMAGE: renders each page and each numbered window of
// the application to OUTDIR/<name>.png on the offscreen platform, scanning SAMPLE_IMAGE
// for the scanning and results pages. Runs in a throw-away home folder.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

#include "app/AppDelegate.h"
#include "app/FileTypesWindow.h"
#include "app/GridModel.h"
#include "app/ResultsPage.h"
#include "app/TreeModel.h"

namespace {

using norix::app::AppDelegate;

void wait(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: norix-render-pages OUTDIR SAMPLE_IMAGE\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_DOCUMENTS_DIR", "XDG_RUNTIME_DIR"})
        qputenv(name, home.path().toUtf8());
    QApplication application(argc, argv);
    const QString outDir = QString::fromLocal8Bit(argv[1]), image = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir);
    QStringList written;
    const auto save = [&](QWidget& widget, const QString& name) {
        if (qobject_cast<QDialog*>(&widget) && !qobject_cast<norix::app::FileTypesWindow*>(&widget)) widget.adjustSize();
        const QString path = outDir + "/" + name + ".png";
        if (widget.grab().save(path)) written << path;
    };

    AppDelegate app;
    app.setPathAsker([&](AppDelegate::PathRequest, const QString&) { return home.path() + "/Recovered"; });
    QWidget& main = app.window();
    main.resize(1000, 640);
    main.show();
    wait(100);

    // The scanning page while paused a moment into the scan, then the results.
    app.openSource(image);
    app.pausebtnClicked();
    wait(2500);
    app.singleButtonWindow().hide();
    save(main, "page-5-scanning");
    app.pausebtnClicked();
    while (app.SBWCode != 110) wait(100);
    app.okBtnClickedInSBW();
    app.window().treeView->expandToDepth(1);
    save(main, "page-5-results");
    // A folder of pictures as a table (one of them checked) and as a thumbnail grid.
    norix::app::ResultsPage& results = *app.window().resultsPage;
    results.selectFolder(app.treeModel().pathOf(app.treeModel().indexForNames({"Quick Scan", "Existing Files", "DCIM", "100NORIX"})));
    results.model().setData(results.model().index(0, norix::app::ResultsModel::kCheck), Qt::Checked, Qt::CheckStateRole);
    wait(300);
    save(main, "page-5-table");
    results.showGrid(true);
    do wait(100);
    while (results.gridModel().pending() > 0);
    save(main, "page-5-grid");
    results.showGrid(false);
    // Home (declining to save a session of our own): the automatic one is listed.
    app.homeBtnClicked();
    app.noBtnClickedDBW();
    save(main, "page-1-start");
    app.physicalDrive();
    save(main, "page-2-physical");
    app.physicalBackClicked();

    for (int code : {102, 106, 109, 110, 111, 113, 114, 115, 116, 117, 118, 120, 121, 122, 124, 125}) {
        app.getSingleButtonWindow(code);
        save(app.singleButtonWindow(), QString("window-%1").arg(code));
    }
    app.singleButtonWindow().hide();
    for (int code : {201, 202, 204, 205, 206, 207}) {
        app.getDoubleButtomWindow(code);
        save(app.doubleButtonWindow(), QString("window-%1").arg(code));
    }
    app.doubleButtonWindow().hide();
    for (int code : {1, 3, 4, 5, 6}) {
        app.getLoadingWindow(code);
        save(app.loadingWindow(), QString("loading-%1").arg(code));
    }
    app.removeLoadWindow();
    app.renameWindow().ask("IMG_0001.PNG");
    save(app.renameWindow(), "window-rename");
    app.renameWindow().hide();
    save(app.fileTypesWindow(), "window-file-types");

    for (const QString& path : written) std::printf("%s\n", qPrintable(path));
    return 0;
}
