#pragma once
// The advanced filter window: state and type boxes (alternatives), a date window and a
// size window. Apply hands the controls to the filter, which either takes them or
// names the alert to show; the window stays open on an alert.
#include <QDialog>

#include "results/FilterState.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;

namespace norix::app {

class FilterWindow : public QDialog {
    Q_OBJECT
public:
    FilterWindow(FilterState& filter, QWidget* parent);
    // The controls as the user left them.
    AdvancedFilterWindow controls() const;
    // Applies the controls; the alert shown when the filter refused them.
    std::optional<QString> advnFilterApplyClicked();
    // All boxes off, every choice back to its first entry, pickers to now, fields empty.
    void clearadvnChckBtn();

    QList<QCheckBox*> boxes;
    QComboBox *dateFilter, *sizeFilter, *sizeTypeFilter;
    QDateEdit *startDate, *endDate;
    QLineEdit *minimumField, *maximumField;

signals:
    void applied();

protected:
    void reject() override;

private:
    // Custom shows the date pickers, Range the size fields and unit.
    void hideRangeUIForAdvanceFilter();
    FilterState& filter_;
};

}  // namespace norix::app
