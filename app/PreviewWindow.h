#pragma once
// The preview of one recovered file: it is read whole (below 200 MiB) into the private
// scratch folder, then pictures and text are shown here and anything else is handed to
// the desktop's default application.
#include <QDialog>
#include <QImage>
#include <atomic>
#include <thread>

#include "app/AppLog.h"
#include "app/Mailbox.h"
#include "app/NodePath.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;

namespace norix {
class FilterState;
}

namespace norix::app {

// A name as it appears in the scratch file's URL: % first, then space ! " # & ' + , - /
// < = > ? ^ £ { | } each by its %XX form.
QString escapedScratchName(const QString& name);

class PreviewWindow : public QDialog {
    Q_OBJECT
public:
    PreviewWindow(const FilterState& filter, QString tempPath, QWidget* parent);
    ~PreviewWindow() override;
    // Previews a file of the engine's tree; a file of another kind or too large gets
    // its notice instead.
    void openPreviewWindowForNDIR(RecoveryModule& module, const NodePath& file);
    bool busy() const { return busy_; }
    QString scratchFile() const { return scratchFile_; }
    QUrl scratchUrl() const;

    QLabel* notice;
    QLabel* picture;
    QPlainTextEdit* text;
    QPushButton* openButton;

    static constexpr const char* kCannotPreview = "This file cannot be previewed.";
    static constexpr const char* kTooLarge = "Files of 200 MB or more cannot be previewed.";

signals:
    void loaded();

private:
    void show(const QString& noticeText);
    const FilterState& filter_;
    const QString tempPath_;
    QStackedWidget* views_;
    QString scratchFile_, fileName_;
    bool busy_ = false;
    std::atomic<uint64_t> generation_{0};
    Mailbox mailbox_;
    std::thread reader_;
    AppLog log_;
};

}  // namespace norix::app
