#pragma once
// The file-type window: the catalogue as a tick tree (tri-state groups), the form that
// adds a type (typed in or taken from a sample file), removing a user's type, apply and
// clear. Every change is written to the user's catalogue by the catalogue itself.
#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace norix {
class SigCatalogue;
class SigNode;
struct NewSigForm;
}  // namespace norix

namespace norix::app {

class FileTypesWindow : public QDialog {
    Q_OBJECT
public:
    FileTypesWindow(SigCatalogue& catalogue, QWidget* parent);
    // Redraws the tree from the catalogue.
    void redraw();
    // The add form, filled from a sample file's first bytes and size.
    void addFromSampleFile(const QString& path);
    // Adds the form's type; false after showing why not.
    bool addClicked();

private:
    void runAlertWithMessage(const QString& message);
    void fillForm(const NewSigForm& form);
    void onItemChanged(QTreeWidgetItem* item);
    void removeSelected();
    SigNode* nodeOf(QTreeWidgetItem* item) const;

    SigCatalogue& catalogue_;
    QTreeWidget* tree_;
    QPushButton* removeButton_;
    QComboBox* category_;
    QLineEdit *name_, *extension_, *signature_, *offset_, *maximumSize_;
    QComboBox* unit_;
    bool redrawing_ = false;
};

}  // namespace norix::app
