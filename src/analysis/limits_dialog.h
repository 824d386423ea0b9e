// The acceptance limits dialog: four optional limits; an empty field is no limit. The dialog
// keeps the operator in it while a field is not a number or the porosity limits are inverted.
#pragma once

#include "analysis/lot_statistics.h"

#include <QDialog>

class QLineEdit;

namespace vyz::analysis {

class LimitsDialog : public QDialog {
    Q_OBJECT
public:
    explicit LimitsDialog(const Limits& limits, QWidget* parent = nullptr);
    Limits Result() const { return result_; }
    // The first problem with the fields as typed, empty when they are fine (sets Result()).
    QString Check();

    void accept() override;

private:
    QLineEdit* fields_[4];
    Limits result_;
};

} // namespace vyz::analysis
