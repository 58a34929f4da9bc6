#include "app/PreviewPane.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>
#include <shared_mutex>

#include "app/ResultsModel.h"
#include "results/FilterState.h"
#include "results/TreeClassMethod.h"
#include "scan/RecoveryModule.h"

namespace norix::app {

PreviewPane::PreviewPane(ResultsModel& results, QWidget* parent)
    : QWidget(parent),
      image(new QLabel(this)),
      name(new QLabel(this)),
      size(new QLabel(this)),
      date(new QLabel(this)),
      type(new QLabel(this)),
      path(new QLabel(this)),
      button(new QPushButton("Preview", this)),
      results_(results),
      queue_(kSide, [this](int, const NodePath& node, const QImage& picture) {
          pending_ = false;
          if (picture.isNull()) return results_.setCorrupted(node);
          image->setPixmap(QPixmap::fromImage(picture));
      }) {
    image->setFixedSize(kSide, kSide);
    image->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(image, 0, Qt::AlignHCenter);
    for (QLabel* line : {name, size, date, type, path}) {
        line->setWordWrap(true);
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(line);
    }
    layout->addWidget(button);
    layout->addStretch();
    setFixedWidth(kSide + 60);
    connect(button, &QPushButton::clicked, this, [this] { emit buttonClicked(shown_); });
    previewPaneUpadte(std::nullopt);
}

void PreviewPane::previewPaneUpadte(const std::optional<NodePath>& node) {
    queue_.cancel();
    pending_ = false;
    RecoveryModule* module = results_.module();
    bool folder = false, picture = false;
    QString extension;
    {
        std::optional<std::shared_lock<std::shared_mutex>> lock;
        if (module) lock.emplace(module->treeLock());
        const BaseTree* found = module && node ? resolvePath(*module, *node) : nullptr;
        if (!found) {
            for (QLabel* line : {image, name, size, date, type, path}) line->clear();
            button->setEnabled(false);
            return;
        }
        shown_ = *node;
        // The root leaves the pane as it is.
        if (found->fileName == "Root") return;
        folder = found->fileType == 1;
        extension = QString::fromStdString(found->getExtension().value_or(""));
        double scaled = static_cast<double>(found->fileSize);
        const std::string unit = TreeClassMethod::checkSizeForNumber(scaled);
        name->setText("Name: " + QString::fromStdString(found->fileName));
        size->setText(QString::asprintf("size : %.2f %s", scaled, unit.c_str()));
        date->setText("Date modified: " + QString::fromStdString(found->getDateInString()));
        type->setText("Type: " + (folder ? QString("Folder") : extension));
        path->setText(QString::fromStdString("Path: " + found->pathName + "/" + found->fileName));
        picture = !folder && !found->corrupted && results_.filter().checkForImageFilter(found->getExtension());
        if (folder) image->setPixmap(QApplication::style()->standardIcon(QStyle::SP_DirIcon).pixmap(48));
        else image->setPixmap(QFileIconProvider().icon(QFileInfo(QString::fromStdString(found->fileName))).pixmap(48));
    }
    button->setEnabled(true);
    button->setText(folder ? "Open" : "Preview");
    // The picture itself, read no larger than a preview may be.
    if (picture) {
        if (auto file = results_.thumbnailSource(*node, kPreviewLimit)) {
            pending_ = true;
            queue_.add(0, *node, std::move(file), module->diskPath());
        }
    }
}

}  // namespace norix::app
