#pragma once
// The application's message windows: single-button windows (codes 1xx), two-button
// windows (2xx) and loading windows (1 to 6), each fixed by its code; the collision
// window of a saving run; and the plain alert.
#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;

namespace norix::app {

struct WindowText {
    int code;
    const char* image;
    const char* title;
    const char* header;
    const char* text;
    const char* firstButton;
    const char* secondButton;  // two-button windows only
};

// The catalogue entry of a code; nothing for an unknown code.
const WindowText* singleButtonText(int code);
const WindowText* doubleButtonText(int code);
const WindowText* loadingText(int code);

// The plain alert: "Alert" with a message and OK; never blocks its caller.
QMessageBox* runAlertWithMessage(QWidget* parent, const QString& message);

// Title, header, text and one or two buttons; never blocks its caller.
class MessageWindow : public QDialog {
    Q_OBJECT
public:
    explicit MessageWindow(QWidget* parent);
    void showText(const WindowText& text, const QString& filledText);
    void setText(const QString& text);
    QString text() const;

signals:
    void firstClicked();
    void secondClicked();
    void closedWithoutAnswer();

protected:
    void reject() override;

private:
    QLabel* image_;
    QLabel* header_;
    QLabel* text_;
    QPushButton* first_;
    QPushButton* second_;
};

// An animation name and a text, no button.
class LoadingWindow : public QDialog {
    Q_OBJECT
public:
    explicit LoadingWindow(QWidget* parent);
    void showCode(int code);
    int code() const { return code_; }

protected:
    void reject() override {}  // only the controller closes it

private:
    int code_ = 0;
    QLabel* animation_;
    QLabel* text_;
};

// "A file of this name already exists": skip, skip all, rename (to the edited name),
// rename all.
class RenameWindow : public QDialog {
    Q_OBJECT
public:
    enum Answer { Skip, SkipAll, Rename, RenameAll };
    explicit RenameWindow(QWidget* parent);
    void ask(const QString& name);
    QString name() const;

signals:
    void answered(int answer);

protected:
    void reject() override;

private:
    QLabel* question_;
    QLineEdit* name_;
};

}  // namespace norix::app
