#include "app/FilterWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <ctime>

#include "app/Windows.h"

namespace norix::app {

namespace {

std::time_t timeOf(const QDateEdit& picker) {
    return static_cast<std::time_t>(picker.date().startOfDay().toSecsSinceEpoch());
}

}  // namespace

FilterWindow::FilterWindow(FilterState& filter, QWidget* parent) : QDialog(parent), filter_(filter) {
    setWindowTitle("Advanced Filter");
    auto* grid = new QGridLayout;
    const char* identifiers[] = {"Deleted", "Existing", "Word", "PowerPoint", "Sheet", "PDF",
                                 "Images",  "Audio",    "Video", "Email",    "Others"};
    for (const char* identifier : identifiers) {
        auto* box = new QCheckBox(identifier, this);
        box->setObjectName(identifier);
        grid->addWidget(box, static_cast<int>(boxes.size()) / 4, static_cast<int>(boxes.size()) % 4);
        boxes.push_back(box);
    }
    dateFilter = new QComboBox(this);
    dateFilter->addItems({"Select", "Today", "Yesterday", "Last 7 days", "Last 1 Month", "Custom"});
    sizeFilter = new QComboBox(this);
    sizeFilter->addItems({"Select", "< 1 MB", "< 100 MB", "< 1 GB", "Range"});
    sizeTypeFilter = new QComboBox(this);
    sizeTypeFilter->addItems({"Select", "KB", "MB", "GB"});
    startDate = new QDateEdit(this);
    endDate = new QDateEdit(this);
    minimumField = new QLineEdit(this);
    maximumField = new QLineEdit(this);
    for (QLineEdit* field : {minimumField, maximumField}) field->setValidator(new QIntValidator(0, INT32_MAX, field));
    auto* form = new QFormLayout;
    auto* dates = new QHBoxLayout;
    dates->addWidget(dateFilter);
    dates->addWidget(startDate);
    dates->addWidget(endDate);
    form->addRow("Date", dates);
    auto* sizes = new QHBoxLayout;
    sizes->addWidget(sizeFilter);
    sizes->addWidget(minimumField);
    sizes->addWidget(maximumField);
    sizes->addWidget(sizeTypeFilter);
    form->addRow("Size", sizes);
    auto* apply = new QPushButton("Apply", this);
    auto* clear = new QPushButton("Clear", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(clear);
    buttons->addWidget(apply);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(form);
    layout->addLayout(buttons);
    connect(dateFilter, &QComboBox::currentIndexChanged, this, &FilterWindow::hideRangeUIForAdvanceFilter);
    connect(sizeFilter, &QComboBox::currentIndexChanged, this, &FilterWindow::hideRangeUIForAdvanceFilter);
    connect(clear, &QPushButton::clicked, this, &FilterWindow::clearadvnChckBtn);
    connect(apply, &QPushButton::clicked, this, [this] {
        if (const auto alert = advnFilterApplyClicked()) runAlertWithMessage(this, *alert);
    });
    clearadvnChckBtn();
}

AdvancedFilterWindow FilterWindow::controls() const {
    AdvancedFilterWindow window;
    for (const QCheckBox* box : boxes)
        if (box->isChecked()) window.checkedBoxes.insert(box->objectName().toStdString());
    window.dateFilter = dateFilter->currentText().toStdString();
    window.sizeFilter = sizeFilter->currentText().toStdString();
    window.sizeTypeFilter = sizeTypeFilter->currentText().toStdString();
    // The fields hold 32-bit numbers; anything else reads as 0.
    window.minimumField = minimumField->text().toInt();
    window.maximumField = maximumField->text().toInt();
    window.startDate = timeOf(*startDate);
    window.endDate = timeOf(*endDate);
    return window;
}

std::optional<QString> FilterWindow::advnFilterApplyClicked() {
    if (auto alert = filter_.advnFilterApplyClicked(controls(), std::time(nullptr)))
        return QString::fromStdString(*alert);
    hide();
    emit applied();
    return std::nullopt;
}

void FilterWindow::clearadvnChckBtn() {
    for (QCheckBox* box : boxes) box->setChecked(false);
    for (QComboBox* choice : {dateFilter, sizeFilter, sizeTypeFilter}) choice->setCurrentIndex(0);
    for (QDateEdit* picker : {startDate, endDate}) picker->setDate(QDate::currentDate());
    minimumField->clear();
    maximumField->clear();
    hideRangeUIForAdvanceFilter();
}

void FilterWindow::hideRangeUIForAdvanceFilter() {
    const bool custom = dateFilter->currentText() == "Custom";
    startDate->setVisible(custom);
    endDate->setVisible(custom);
    const bool range = sizeFilter->currentText() == "Range";
    for (QWidget* control : std::initializer_list<QWidget*>{minimumField, maximumField, sizeTypeFilter})
        control->setVisible(range);
}

void FilterWindow::reject() {
    // Closing leaves the last applied boxes on while the advanced filter is active.
    if (filter_.activeFilterType == "Advn")
        for (QCheckBox* box : boxes) box->setChecked(filter_.advnChckBtn.contains(box->objectName().toStdString()));
    hideRangeUIForAdvanceFilter();
    QDialog::reject();
}

}  // namespace norix::app
