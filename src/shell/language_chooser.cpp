#include "shell/language_chooser.h"

#include "shell/main_window.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace vyz {

TfrmLanguage::TfrmLanguage(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmLanguage"));
    setWindowTitle(QString::fromUtf8("Язык (Language)"));
    auto* group = new QGroupBox(this);
    radio1_ = new QRadioButton(QString::fromUtf8("Русский"), group);
    radio1_->setObjectName(QStringLiteral("RadioButton1"));
    radio2_ = new QRadioButton(QStringLiteral("English"), group);
    radio2_->setObjectName(QStringLiteral("RadioButton2"));
    auto* inner = new QVBoxLayout(group);
    inner->addWidget(radio1_);
    inner->addWidget(radio2_);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->addWidget(group);
    const QSize size = QSize(116, 105).expandedTo(sizeHint());
    setFixedSize(size);
    // Checking a button chooses: a click, Space, or the accessibility toggle action (which
    // checks without clicking). As neither starts checked, the arrow keys only move the focus.
    connect(radio1_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioButton1Click();
    });
    connect(radio2_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RadioButton2Click();
    });
}

// Esc and the window's close command leave the chooser open: the program needs a language.
void TfrmLanguage::reject() {}

void TfrmLanguage::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* s = screen()) {
        const QRect area = s->geometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    FormActivate();
}

// Keeps the chooser on the screen.
void TfrmLanguage::FormActivate() {
    const QScreen* s = screen();
    if (!s) return;
    const QSize area = s->geometry().size();
    QPoint p = pos();
    if (p.x() < 0)
        p.setX(0);
    else if (p.x() > area.width() - 50)
        p.setX(area.width() / 2);
    if (p.y() < 0)
        p.setY(0);
    else if (p.y() > area.height() - 50)
        p.setY(area.height() / 2);
    if (p != pos()) move(p);
}

void TfrmLanguage::RadioButton1Click() {
    if (Form1) Form1->ALangRusExecute();
    accept();
}

void TfrmLanguage::RadioButton2Click() {
    if (Form1) Form1->ALangEngExecute();
    accept();
}

void TfrmLanguage::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && Form1) {
        Form1->AHelpExecute();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace vyz
