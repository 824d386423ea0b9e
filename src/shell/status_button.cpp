#include "shell/status_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace vyz {

StatusButton::StatusButton(QWidget* parent) : QPushButton(parent) {}

void StatusButton::SetMessage(const QString& text) {
    setText(text);
    setShortcut(QKeySequence()); // drops the mnemonic shortcut setText took from an "&"
    setAccessibleName(text);     // read out as it stands, not with the "&" removed
}

void StatusButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString message = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    // Drawn without the mnemonic flags, so "&" is an ordinary character.
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.drawItemText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, palette(),
                         isEnabled(), message, QPalette::ButtonText);
}

} // namespace vyz
