// The language chooser shown at the first start, before the main window appears.
#pragma once

#include <QDialog>

class QRadioButton;

namespace vyz {

class TfrmLanguage : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLanguage(QWidget* parent = nullptr);
    QRadioButton* RadioButton1() const { return radio1_; }
    QRadioButton* RadioButton2() const { return radio2_; }

    void FormActivate();
    void RadioButton1Click();
    void RadioButton2Click();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QRadioButton* radio1_;
    QRadioButton* radio2_;
};

} // namespace vyz
