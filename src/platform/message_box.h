// The one message box of the program: warnings, errors, questions. Header only, for the areas
// that have widgets (it needs Qt Widgets, which the platform library itself does not link).
#pragma once

#include <QMessageBox>

namespace vyz {

// Shows a box modal for the whole program, as QMessageBox's own warning() and the like do, and
// returns the button pressed.
inline QMessageBox::StandardButton
ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
               QMessageBox::StandardButtons buttons = QMessageBox::Ok,
               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) {
    QMessageBox box(icon, caption, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
    box.setWindowModality(Qt::ApplicationModal);
    return QMessageBox::StandardButton(box.exec());
}

} // namespace vyz
