// Answers the modal windows (file dialogs, message boxes) a command of the main window opens, as
// an operator would, and records what each showed.
#pragma once

#include "shell/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

namespace testsupport {

// What the operator saw in one modal window.
struct Seen {
    QString kind; // "dialog" or "box"
    QString title;
    QString text;   // box text, or the dialog's selected file
    QString status; // the status line while the window was shown
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QStringList filters;
    QString directory;
    bool save = false;
    bool confirmsOverwrite = false;
};

inline QString statusText() {
    auto* status = vyz::Form1->findChild<QPushButton*>("sbStatus");
    return status ? status->text() : QString();
}

// Answers the modal windows a command opens, one step per window shown, in order. A window
// shown when no step is left is closed and recorded, so a test never hangs on it.
class ModalScript : public QObject {
public:
    using Step = std::function<void(QWidget*)>;
    explicit ModalScript(QList<Step> steps) : steps_(std::move(steps)) {
        qApp->installEventFilter(this);
    }
    ~ModalScript() override { qApp->removeEventFilter(this); }
    QList<Seen> seen;
    int unexpected = 0;
    int left() const { return int(steps_.size()); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(object);
        if (event->type() != QEvent::Show || !widget || !widget->isWindow() ||
            widget->windowModality() == Qt::NonModal)
            return false;
        seen << describe(widget);
        QPointer<QWidget> target(widget);
        Step step;
        if (!steps_.isEmpty())
            step = steps_.takeFirst();
        else
            ++unexpected;
        // Answered from the event loop the window runs, once it is up.
        QTimer::singleShot(10, this, [target, step] {
            if (!target) return;
            if (step)
                step(target);
            else if (auto* dialog = qobject_cast<QDialog*>(target.data()))
                dialog->reject();
        });
        return false;
    }

private:
    static Seen describe(QWidget* widget) {
        Seen s;
        s.title = widget->windowTitle();
        s.status = statusText();
        if (auto* box = qobject_cast<QMessageBox*>(widget)) {
            s.kind = "box";
            s.text = box->text();
            s.icon = box->icon();
            s.buttons = box->standardButtons();
            s.defaultButton = box->standardButton(box->defaultButton());
        } else if (auto* dialog = qobject_cast<QFileDialog*>(widget)) {
            s.kind = "dialog";
            s.text = dialog->selectedFiles().value(0);
            s.filters = dialog->nameFilters();
            s.directory = dialog->directory().absolutePath();
            s.save = dialog->acceptMode() == QFileDialog::AcceptSave;
            s.confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        }
        return s;
    }
    QList<Step> steps_;
};

inline ModalScript::Step choose(const QString& path, std::function<void()> after = {}) {
    return [path, after](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        QVERIFY(dialog);
        // Typed into the name field, as the operator does (selectFile leaves a focused field).
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(edit);
        edit->setText(path);
        static_cast<QDialog*>(dialog)->accept(); // the file dialog's own accept
        if (after) after();
    };
}

inline ModalScript::Step cancelDialog() {
    return [](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); };
}

inline ModalScript::Step press(QMessageBox::StandardButton button,
                               std::function<void()> before = {}) {
    return [button, before](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box && box->button(button));
        if (before) before();
        box->button(button)->click();
    };
}

} // namespace testsupport
