#pragma once
// The preview pane beside the results: a 150-pixel picture of the node, its name, size,
// date, type and path, and a button that previews a file or opens a folder.
#include <QWidget>
#include <optional>

#include "app/Decoding.h"
#include "app/NodePath.h"

class QLabel;
class QPushButton;

namespace norix::app {

class ResultsModel;

class PreviewPane : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSide = 150;
    PreviewPane(ResultsModel& results, QWidget* parent);
    // Shows a node (none: an empty pane). The pane work of the node before is dropped.
    void previewPaneUpadte(const std::optional<NodePath>& path);
    bool thumbnailPending() const { return pending_; }

    QLabel* image;
    QLabel *name, *size, *date, *type, *path;
    QPushButton* button;

signals:
    void buttonClicked(const NodePath& node);

private:
    ResultsModel& results_;
    DecodeQueue queue_;
    NodePath shown_;
    bool pending_ = false;
};

}  // namespace norix::app
