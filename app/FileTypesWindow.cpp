#include "app/FileTypesWindow.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Windows.h"
#include "signatures/SigCatalogue.h"

namespace norix::app {

FileTypesWindow::FileTypesWindow(SigCatalogue& catalogue, QWidget* parent)
    : QDialog(parent), catalogue_(catalogue), tree_(new QTreeWidget(this)),
      removeButton_(new QPushButton("Remove", this)), category_(new QComboBox(this)), name_(new QLineEdit(this)),
      extension_(new QLineEdit(this)), signature_(new QLineEdit(this)), offset_(new QLineEdit(this)),
      maximumSize_(new QLineEdit(this)), unit_(new QComboBox(this)) {
    setWindowTitle("File Types");
    resize(560, 640);
    tree_->setHeaderLabels({"File type", "Extension"});
    tree_->setColumnWidth(0, 340);
    category_->setEditable(true);
    unit_->addItems({"KB", "MB", "GB", "TB"});
    unit_->setCurrentText("MB");
    offset_->setText("0");
    auto* form = new QFormLayout;
    form->addRow("Category", category_);
    form->addRow("File Type", name_);
    form->addRow("Extension", extension_);
    form->addRow("Signature (hex)", signature_);
    form->addRow("Offset", offset_);
    auto* size = new QHBoxLayout;
    size->addWidget(maximumSize_);
    size->addWidget(unit_);
    form->addRow("Maximum File Size", size);
    auto* add = new QPushButton("Add", this);
    auto* sample = new QPushButton("From Sample File...", this);
    auto* apply = new QPushButton("Apply", this);
    auto* clear = new QPushButton("Clear", this);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {removeButton_, clear, sample, add, apply}) buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tree_, 1);
    layout->addLayout(form);
    layout->addLayout(buttons);
    removeButton_->setVisible(false);

    connect(tree_, &QTreeWidget::itemChanged, this, &FileTypesWindow::onItemChanged);
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const auto selected = tree_->selectedItems();
        const SigNode* node = selected.isEmpty() ? nullptr : nodeOf(selected.front());
        removeButton_->setVisible(node && node->sig && !node->sig->preInstalled);
    });
    connect(removeButton_, &QPushButton::clicked, this, &FileTypesWindow::removeSelected);
    connect(add, &QPushButton::clicked, this, &FileTypesWindow::addClicked);
    connect(sample, &QPushButton::clicked, this, [this] {
        if (const QString path = QFileDialog::getOpenFileName(this, "Sample File", QDir::homePath()); !path.isEmpty())
            addFromSampleFile(path);
    });
    connect(apply, &QPushButton::clicked, this, [this] {
        if (const auto message = catalogue_.applyClicked()) runAlertWithMessage(QString::fromStdString(*message));
        redraw();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        catalogue_.clearClicked();
        redraw();
    });
    redraw();
}

SigNode* FileTypesWindow::nodeOf(QTreeWidgetItem* item) const {
    return static_cast<SigNode*>(item->data(0, Qt::UserRole).value<void*>());
}

void FileTypesWindow::redraw() {
    redrawing_ = true;
    tree_->clear();
    category_->clear();
    const auto state = [](const SigNode& node) {
        return node.selected == 2 ? Qt::Checked : node.selected == 1 ? Qt::PartiallyChecked : Qt::Unchecked;
    };
    if (SigNode* root = catalogue_.root()) {
        auto* top = new QTreeWidgetItem(tree_, {"All file types"});
        top->setData(0, Qt::UserRole, QVariant::fromValue<void*>(root));
        top->setCheckState(0, state(*root));
        for (const auto& category : root->children) {
            category_->addItem(QString::fromStdString(category->category));
            auto* group = new QTreeWidgetItem(top, {QString::fromStdString(category->category)});
            group->setData(0, Qt::UserRole, QVariant::fromValue<void*>(category.get()));
            group->setCheckState(0, state(*category));
            for (const auto& type : category->children) {
                auto* item = new QTreeWidgetItem(group, {QString::fromStdString(type->sig ? type->sig->software : ""),
                                                         QString::fromStdString(type->sig ? type->sig->extension : "")});
                item->setData(0, Qt::UserRole, QVariant::fromValue<void*>(type.get()));
                item->setCheckState(0, state(*type));
            }
        }
        top->setExpanded(true);
    }
    category_->setCurrentText("");
    redrawing_ = false;
}

void FileTypesWindow::onItemChanged(QTreeWidgetItem* item) {
    if (redrawing_) return;
    catalogue_.sigCheckClicked(nodeOf(item));
    // The ancestors' and children's states changed too.
    redrawing_ = true;
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
        const SigNode* node = nodeOf(*it);
        (*it)->setCheckState(0, node->selected == 2   ? Qt::Checked
                                : node->selected == 1 ? Qt::PartiallyChecked
                                                      : Qt::Unchecked);
    }
    redrawing_ = false;
}

void FileTypesWindow::removeSelected() {
    const auto selected = tree_->selectedItems();
    if (selected.isEmpty()) return;
    if (!catalogue_.removeFileType(nodeOf(selected.front()))) runAlertWithMessage("Failed Signature");
    redraw();
    removeButton_->setVisible(false);
}

void FileTypesWindow::fillForm(const NewSigForm& form) {
    category_->setCurrentText(QString::fromStdString(form.category));
    name_->setText(QString::fromStdString(form.fileType));
    extension_->setText(QString::fromStdString(form.extension));
    signature_->setText(QString::fromStdString(form.signature));
    offset_->setText(QString::fromStdString(form.offset));
    maximumSize_->setText(QString::fromStdString(form.maximumSize));
    unit_->setCurrentText(QString::fromStdString(form.sizeUnit));
}

void FileTypesWindow::addFromSampleFile(const QString& path) {
    const auto answer = catalogue_.checkForFileTypeForSlectedFile(path.toStdString());
    if (const auto* message = std::get_if<std::string>(&answer)) return runAlertWithMessage(QString::fromStdString(*message));
    fillForm(std::get<NewSigForm>(answer));
}

bool FileTypesWindow::addClicked() {
    NewSigForm form{category_->currentText().toStdString(), name_->text().toStdString(),
                    extension_->text().toStdString(),       signature_->text().toStdString(),
                    offset_->text().toStdString(),          maximumSize_->text().toStdString(),
                    unit_->currentText().toStdString()};
    if (const auto message = catalogue_.addNewSigOKClicked(form)) {
        runAlertWithMessage(QString::fromStdString(*message));
        return false;
    }
    fillForm(form);  // cleared by the catalogue
    redraw();
    return true;
}

void FileTypesWindow::runAlertWithMessage(const QString& message) { app::runAlertWithMessage(this, message); }

}  // namespace norix::app
