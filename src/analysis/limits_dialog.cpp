#include "analysis/limits_dialog.h"

#include "analysis/analysis_settings.h"
#include "analysis/analysis_texts.h"
#include "data/lang_texts.h"
#include "platform/message_box.h"
#include "platform/text_string.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vyz::analysis {
namespace {} // namespace

LimitsDialog::LimitsDialog(const Limits& limits, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("LimitsDialog"));
    setWindowTitle(Text(text::LimitsTitle));
    auto* form = new QFormLayout;
    const TextPair* names[4] = {&text::PorosityLowName, &text::PorosityHighName,
                                &text::CompactionLowName, &text::TemperatureLowName};
    const std::optional<double> values[4] = {limits.porosityLow, limits.porosityHigh,
                                             limits.compactionLow, limits.temperatureLow};
    static const char* const objectNames[4] = {"PorosityLow", "PorosityHigh", "CompactionLow",
                                               "TemperatureLow"};
    for (int i = 0; i < 4; ++i) {
        fields_[i] = new QLineEdit(values[i] ? LimitText(*values[i]) : QString(), this);
        fields_[i]->setObjectName(QString::fromLatin1(objectNames[i]));
        fields_[i]->setClearButtonEnabled(true);
        form->addRow(Text(*names[i]), fields_[i]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &LimitsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &LimitsDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(Text(text::LimitsHint), this));
    layout->addWidget(buttons);
    result_ = limits;
}

QString LimitsDialog::Check() {
    std::optional<double> v[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = ParseLimit(fields_[i]->text(), &ok);
        if (!ok) {
            fields_[i]->setFocus();
            return Text(text::BadNumber).arg(fields_[i]->text().trimmed());
        }
    }
    Limits l{v[0], v[1], v[2], v[3]};
    if (l.PorosityInverted()) {
        fields_[0]->setFocus();
        return Text(text::LimitsInverted);
    }
    result_ = l;
    return {};
}

void LimitsDialog::accept() {
    const QString problem = Check();
    if (!problem.isEmpty()) {
        ShowMessageBox(this, QMessageBox::Warning, QString::fromUtf8(AppTitle()), problem);
        return;
    }
    QDialog::accept();
}

} // namespace vyz::analysis
