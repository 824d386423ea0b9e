#include "support/modal_script.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace testsupport {
namespace {

Seen describe(QWidget* widget) {
    Seen s;
    s.kind = QStringLiteral("window");
    s.title = widget->windowTitle();
    s.status = statusText();
    if (auto* box = qobject_cast<QMessageBox*>(widget)) {
        s.kind = QStringLiteral("box");
        s.text = box->text();
        s.icon = box->icon();
        s.buttons = box->standardButtons();
        s.defaultButton = box->standardButton(box->defaultButton());
    } else if (auto* dialog = qobject_cast<QFileDialog*>(widget)) {
        s.kind = QStringLiteral("dialog");
        s.text = dialog->selectedFiles().value(0);
        s.filters = dialog->nameFilters();
        s.directory = dialog->directory().absolutePath();
        s.save = dialog->acceptMode() == QFileDialog::AcceptSave;
        s.confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    }
    return s;
}

} // namespace

QString statusText() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QLatin1String("Form1"))
            if (auto* status = window->findChild<QPushButton*>(QStringLiteral("sbStatus")))
                return status->text();
    return {};
}

ModalScript::ModalScript(QList<Step> steps) : steps_(std::move(steps)) {
    qApp->installEventFilter(this);
}

ModalScript::~ModalScript() {
    qApp->removeEventFilter(this);
}

bool ModalScript::eventFilter(QObject* object, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (event->type() != QEvent::Show || !widget || !widget->isWindow() ||
        widget->windowModality() == Qt::NonModal)
        return false;
    seen << describe(widget);
    QPointer<QWidget> target(widget);
    Step step;
    if (!steps_.isEmpty())
        step = steps_.takeFirst();
    else if (fallback_)
        step = fallback_;
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

ModalScript::Step choose(const QString& path, std::function<void()> after) {
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

ModalScript::Step cancelDialog() {
    return [](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); };
}

ModalScript::Step press(QMessageBox::StandardButton button, std::function<void()> before) {
    return [button, before](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box && box->button(button));
        if (before) before();
        box->button(button)->click();
    };
}

BoxAnswerer::BoxAnswerer(QList<QMessageBox::StandardButton> answers)
    : answers_(std::move(answers)) {
    script_.setFallback([this](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box) {
            if (auto* dialog = qobject_cast<QDialog*>(w)) dialog->reject();
            return;
        }
        if (hook_) hook_(box->text());
        QAbstractButton* button = nullptr;
        if (!answers_.isEmpty()) button = box->button(answers_.takeFirst());
        if (!button) button = box->button(QMessageBox::Ignore);
        if (!button) button = box->button(QMessageBox::Ok);
        if (!button) button = box->buttons().value(0);
        button->click();
    });
}

QStringList BoxAnswerer::texts() const {
    QStringList texts;
    for (const Seen& s : script_.seen)
        if (s.kind == QLatin1String("box")) texts << s.text;
    return texts;
}

QList<QMessageBox::Icon> BoxAnswerer::icons() const {
    QList<QMessageBox::Icon> icons;
    for (const Seen& s : script_.seen)
        if (s.kind == QLatin1String("box")) icons << s.icon;
    return icons;
}

} // namespace testsupport
