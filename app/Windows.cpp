#include "app/Windows.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <span>

namespace norix::app {

namespace {

constexpr WindowText kSingle[] = {
    {102, "saving-successful-icon", "Saving completed", "Saving completed",
     "Current recovery session saved. You will not need to re-scan again. Open this recovery session at a later "
     "time and save on scanning time",
     "OK", nullptr},
    {106, "select-and-scan-icon", "Quick Scan completed", "Quick Scan completed",
     "\nComplete drive will be scanned for traces of lost files\nImportant: You can Preview / Save while scan is "
     "in progress",
     "OK", nullptr},
    {109, "saving-successful-icon", "Saving successful", "Saving completed successfully",
     "Time Elapsed: %@\nTime Remaining: %@\n%@", "OK", nullptr},
    {110, "select-and-scan-icon", "Scanning completed", "Scanning completed",
     "Norix Data Recovery Software completed the scanning process, select the files to recover", "OK", nullptr},
    {111, "select-and-scan-icon", "Select and Scan", "Select and Scan", "Select a drive or location to 'Scan'", "OK",
     nullptr},
    {113, "alert-icon", "Alert", "Alert", "Scan is in progress. Please stop current process", "OK", nullptr},
    {114, "Information-icon", "Information", "Information", "Check any files to recover", "OK", nullptr},
    {115, "small saving icon", "Saving recovered files", "Saving in progress, please wait...",
     "Time Elapsed: 00:00:00:00\nTime Remaining: 00:00:00:00", "Cancel", nullptr},
    {116, "abort-scanning-icon", "Deep Scan aborted", "Deep Scan aborted",
     "Norix Data Recovery Software aborted the deep scanning process, select the files to recover", "OK", nullptr},
    {117, "alert-icon", "Deep Scan aborted", "Deep Scan aborted", "Source Disk has been removed", "OK", nullptr},
    {118, "alert-icon", "Saving aborted", "Saving aborted", "Source Disk has been removed", "OK", nullptr},
    {120, "alert-icon", "Saving aborted", "Saving aborted", "Destination Disk has been removed", "OK", nullptr},
    {121, "select-and-scan-icon", "Select and Scan", "Select and Scan", "Select a drive to 'Scan'", "OK", nullptr},
    {122, "alert-icon", "Alert", "Alert", "Please check the desired disk is connected or not", "OK", nullptr},
    {124, "alert-icon", "Alert", "Alert", "Insufficient disk space to store selected data", "OK", nullptr},
    {125, "select-and-scan-icon", "Select and Scan", "Select and Scan", "Select a folder location to 'Scan'", "OK",
     nullptr},
};

constexpr WindowText kDouble[] = {
    {201, "alert-icon", "Alert", "Alert",
     "You are trying to save data on the same partition/drive from which you are recovering data. To avoid data "
     "loss, it is highly advisable to save recovered data on a different drive or partition",
     "Save", "Cancel"},
    {202, "exit-icon", "Exit", "Exit Norix Data Recovery Software", "Do you want to exit Norix Data Recovery Software?",
     "Exit", "Cancel"},
    {204, "abort-recovering-icon", "Abort saving", "Abort saving",
     "Do you really want Norix Data Recovery Software to stop the Saving process?", "Stop", "Cancel"},
    {205, "abort-scanning-icon", "Abort scanning", "Abort scanning",
     "Do you really want Norix Data Recovery Software to stop the Scanning process?", "Stop", "Cancel"},
    {206, "save-recovery-session-icon", "Save recovery session", "Save recovery session",
     "Recommended!! Save current recovery session now. You will not need to re-scan again", "Save", "Cancel"},
    {207, "feedback-icon", "Feedback", "Your feedback is welcomed!!",
     "Thank you for using Norix Data Recovery Software.\nWe would love to know how the software worked out for you",
     "No thanks", "Sure"},
};

constexpr WindowText kLoading[] = {
    {1, "1-Loading", "", "", "Loading, please wait...", nullptr, nullptr},
    {3, "4-Returning-to-home", "", "", "Returning to home, please wait...", nullptr, nullptr},
    {4, "2-Organizing", "", "", "Scan aborted\nOrganizing the found files, please wait...", nullptr, nullptr},
    {5, "2-Organizing", "", "", "Scan completed\nOrganizing the found files, please wait...", nullptr, nullptr},
    {6, "2-Organizing", "", "", "Loading Recovery Session, Please wait...", nullptr, nullptr},
};

const WindowText* find(std::span<const WindowText> table, int code) {
    for (const WindowText& entry : table)
        if (entry.code == code) return &entry;
    return nullptr;
}

// The picture of our icon set of that name; its name in brackets where SVG pictures
// cannot be drawn (Qt's SVG plugin missing).
void showPicture(QLabel* label, const char* name) {
    const QPixmap picture(QString(":/icons/%1.svg").arg(name));
    if (picture.isNull()) label->setText(QString("[%1]").arg(name));
    else label->setPixmap(picture.scaled(48, 48, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

QLabel* wrapped(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace

const WindowText* singleButtonText(int code) { return find(kSingle, code); }
const WindowText* doubleButtonText(int code) { return find(kDouble, code); }
const WindowText* loadingText(int code) { return find(kLoading, code); }

MessageWindow::MessageWindow(QWidget* parent)
    : QDialog(parent), image_(new QLabel(this)), header_(wrapped(this)), text_(wrapped(this)),
      first_(new QPushButton(this)), second_(new QPushButton(this)) {
    setWindowModality(Qt::ApplicationModal);
    setMinimumWidth(420);
    image_->setObjectName("image");
    QFont bold = header_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    header_->setFont(bold);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(second_);
    buttons->addWidget(first_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(image_);
    layout->addWidget(header_);
    layout->addWidget(text_);
    layout->addLayout(buttons);
    connect(first_, &QPushButton::clicked, this, &MessageWindow::firstClicked);
    connect(second_, &QPushButton::clicked, this, &MessageWindow::secondClicked);
}

void MessageWindow::showText(const WindowText& text, const QString& filledText) {
    showPicture(image_, text.image);
    setWindowTitle(text.title);
    header_->setText(text.header);
    text_->setText(filledText.isEmpty() ? QString(text.text) : filledText);
    first_->setText(text.firstButton);
    second_->setVisible(text.secondButton != nullptr);
    if (text.secondButton) second_->setText(text.secondButton);
    first_->setDefault(true);
    show();
    raise();
}

void MessageWindow::setText(const QString& text) { text_->setText(text); }
QString MessageWindow::text() const { return text_->text(); }

void MessageWindow::reject() {
    // Escape or the close box: a two-button window is closed without an answer; a
    // single-button window answers with its one button.
    if (second_->isVisible()) emit closedWithoutAnswer();
    else emit firstClicked();
}

LoadingWindow::LoadingWindow(QWidget* parent) : QDialog(parent), animation_(new QLabel(this)), text_(wrapped(this)) {
    setWindowModality(Qt::ApplicationModal);
    setMinimumWidth(360);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(animation_, 0, Qt::AlignHCenter);
    text_->setAlignment(Qt::AlignCenter);
    layout->addWidget(text_, 0, Qt::AlignHCenter);
}

void LoadingWindow::showCode(int code) {
    const WindowText* entry = loadingText(code);
    if (!entry) return;
    code_ = code;
    showPicture(animation_, entry->image);
    text_->setText(entry->text);
    setWindowTitle("Norix Data Recovery");
    show();
}


RenameWindow::RenameWindow(QWidget* parent) : QDialog(parent), question_(wrapped(this)), name_(new QLineEdit(this)) {
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle("File already exists");
    setMinimumWidth(420);
    auto* buttons = new QHBoxLayout;
    const std::pair<const char*, Answer> choices[] = {
        {"Skip", Skip}, {"Skip All", SkipAll}, {"Rename", Rename}, {"Rename All", RenameAll}};
    for (const auto& [title, answer] : choices) {
        auto* button = new QPushButton(title, this);
        button->setObjectName(title);
        connect(button, &QPushButton::clicked, this, [this, answer = answer] {
            hide();
            emit answered(answer);
        });
        buttons->addWidget(button);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(question_);
    layout->addWidget(name_);
    layout->addLayout(buttons);
}

void RenameWindow::ask(const QString& name) {
    question_->setText(QString("A file named \"%1\" already exists in the destination folder.").arg(name));
    name_->setText(name);
    show();
    raise();
}

QString RenameWindow::name() const { return name_->text(); }

void RenameWindow::reject() {
    // Closing without an answer leaves the existing file alone.
    hide();
    emit answered(Skip);
}

QMessageBox* runAlertWithMessage(QWidget* parent, const QString& message) {
    auto* alert = new QMessageBox(QMessageBox::Warning, "Alert", "Alert", QMessageBox::Ok, parent);
    alert->setInformativeText(message);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->open();
    return alert;
}

}  // namespace norix::app
