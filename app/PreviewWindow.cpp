#include "app/PreviewWindow.h"

#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <shared_mutex>

#include "app/AppLog.h"
#include "app/Decoding.h"
#include "results/FilterState.h"
#include "scan/RecoveryModule.h"

namespace norix::app {

namespace {

constexpr int kPictureSide = 1600;
constexpr qsizetype kTextShown = 1 << 20;  // the start of a long text file

enum View { kNotice, kLoading, kPicture, kText, kOpen };

}  // namespace

QString escapedScratchName(const QString& name) {
    static const std::pair<const char*, const char*> steps[] = {
        {"%", "%25"}, {" ", "%20"}, {"!", "%21"}, {"\"", "%22"}, {"#", "%23"}, {"&", "%26"}, {"'", "%27"},
        {"+", "%2B"}, {",", "%2C"}, {"-", "%2D"}, {"/", "%2F"},  {"<", "%3C"}, {"=", "%3D"}, {">", "%3E"},
        {"?", "%3F"}, {"^", "%5E"}, {"£", "%A3"}, {"{", "%7B"},  {"|", "%7C"}, {"}", "%7D"}};
    QString escaped = name;
    for (const auto& [character, replacement] : steps) escaped.replace(QString::fromUtf8(character), replacement);
    return escaped;
}

PreviewWindow::PreviewWindow(const FilterState& filter, QString tempPath, QWidget* parent)
    : QDialog(parent),
      notice(new QLabel(this)),
      picture(new QLabel(this)),
      text(new QPlainTextEdit(this)),
      openButton(new QPushButton("Open with Default Application", this)),
      filter_(filter),
      tempPath_(std::move(tempPath)),
      views_(new QStackedWidget(this)) {
    setWindowTitle("Preview");
    resize(640, 480);
    notice->setAlignment(Qt::AlignCenter);
    auto* loading = new QLabel("Loading preview...", this);
    loading->setAlignment(Qt::AlignCenter);
    picture->setAlignment(Qt::AlignCenter);
    auto* scroll = new QScrollArea(this);
    scroll->setWidget(picture);
    scroll->setWidgetResizable(true);
    text->setReadOnly(true);
    auto* open = new QWidget(this);
    auto* openLayout = new QVBoxLayout(open);
    openLayout->addStretch();
    openLayout->addWidget(openButton, 0, Qt::AlignCenter);
    openLayout->addStretch();
    for (QWidget* view : std::initializer_list<QWidget*>{notice, loading, scroll, text, open}) views_->addWidget(view);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(views_);
    // Kinds Qt Widgets cannot show (documents, audio, video) open in the desktop's own viewer.
    connect(openButton, &QPushButton::clicked, this, [this] { QDesktopServices::openUrl(scratchUrl()); });
}

PreviewWindow::~PreviewWindow() {
    ++generation_;
    if (reader_.joinable()) reader_.join();
}

QUrl PreviewWindow::scratchUrl() const {
    // The URL names the file by its UTF-8 bytes, so "£" is the two bytes C2 A3.
    QString name = escapedScratchName(fileName_);
    name.replace("%A3", "%C2%A3");
    return QUrl("file://" + tempPath_ + "/" + name, QUrl::TolerantMode);
}

void PreviewWindow::show(const QString& noticeText) {
    notice->setText(noticeText);
    views_->setCurrentIndex(kNotice);
    QDialog::show();
}

void PreviewWindow::openPreviewWindowForNDIR(RecoveryModule& module, const NodePath& file) {
    // The read before this one delivers nothing any more.
    const uint64_t generation = ++generation_;
    if (reader_.joinable()) reader_.join();
    std::unique_ptr<BaseTree> copy;
    enum { kKindText, kKindPicture, kKindOther } kind = kKindOther;
    {
        std::shared_lock lock(module.treeLock());
        const BaseTree* node = resolvePath(module, file);
        if (!node || node->fileType == 1) return;
        const auto extension = node->getExtension();
        const bool image = filter_.checkForImageFilter(extension);
        if (!image && !filter_.checkForAudioFilter(extension) && !filter_.checkForVideoFilter(extension) &&
            !FilterState::checkForDocumentsFilter(extension))
            return show(kCannotPreview);
        if (node->fileSize >= kPreviewLimit) return show(kTooLarge);
        // Plain-text documents show here; PDF and office files open in their own viewer.
        const bool office = extension == "pdf" || FilterState::checkForWordFilter(extension) ||
                            FilterState::checkForSheetFilter(extension) ||
                            FilterState::checkForPowerPointFilter(extension);
        kind = image ? kKindPicture : FilterState::checkForDocumentsFilter(extension) && !office ? kKindText : kKindOther;
        copy = readableCopy(*node);
    }
    // The scratch file takes the file's name; a name from the disk is never a path.
    fileName_ = QString::fromStdString(copy->fileName).replace('/', '_');
    if (fileName_.isEmpty() || fileName_ == "." || fileName_ == "..") fileName_ = "preview";
    scratchFile_ = tempPath_ + "/" + fileName_;
    busy_ = true;
    views_->setCurrentIndex(kLoading);
    QDialog::show();
    reader_ = std::thread([this, generation, kind, copy = std::move(copy), target = scratchFile_,
                           diskPath = module.diskPath()] {
        // A failed read leaves one zero byte to show.
        const std::vector<uint8_t> data = copy->getDataForFileWithBSD(diskPath).value_or(std::vector<uint8_t>(1, 0));
        const QByteArray bytes =
            QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
        QFile scratch(target);
        if (!scratch.open(QIODevice::WriteOnly | QIODevice::Truncate) || scratch.write(bytes) != bytes.size())
            log_.write("Error in creating tempPath.", "loadPreview");
        scratch.close();
        QImage image = kind == kKindPicture ? makeThumbnail(bytes, kPictureSide) : QImage();
        QString shown = kind == kKindText ? QString::fromUtf8(bytes.left(kTextShown)) : QString();
        mailbox_.post([this, generation, kind, image, shown] {
            if (generation != generation_) return;
            busy_ = false;
            if (kind == kKindPicture && !image.isNull()) {
                picture->setPixmap(QPixmap::fromImage(image));
                views_->setCurrentIndex(kPicture);
            } else if (kind == kKindText) {
                text->setPlainText(shown);
                views_->setCurrentIndex(kText);
            } else {
                views_->setCurrentIndex(kOpen);
            }
            emit loaded();
        });
    });
}

}  // namespace norix::app
