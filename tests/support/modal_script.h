// Answers the modal windows (file dialogs, message boxes) the program opens, as an operator
// would, and records what each showed.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace testsupport {

// What the operator saw in one modal window.
struct Seen {
    QString kind; // "dialog", "box" or "window"
    QString title;
    QString text;   // box text, or the dialog's selected file
    QString status; // the main window's status line while the window was shown
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QStringList filters;
    QString directory;
    bool save = false;
    bool confirmsOverwrite = false;
};

// The main window's status line.
QString statusText();

// Answers the modal windows shown while it lives, one step per window, in order, once each is
// up. A window shown when no step is left goes to the fallback; without one it is rejected and
// counted as unexpected, so a test never hangs on it.
class ModalScript : public QObject {
public:
    using Step = std::function<void(QWidget*)>;
    explicit ModalScript(QList<Step> steps = {});
    ~ModalScript() override;

    QList<Seen> seen;
    int unexpected = 0;
    int left() const { return int(steps_.size()); }
    void setFallback(Step fallback) { fallback_ = std::move(fallback); }

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    QList<Step> steps_;
    Step fallback_;
};

// Steps: a file chosen in a file dialog by typing its name, as the operator does (then `after`);
// a dialog cancelled; a message box answered with `button` (after `before`).
ModalScript::Step choose(const QString& path, std::function<void()> after = {});
ModalScript::Step cancelDialog();
ModalScript::Step press(QMessageBox::StandardButton button, std::function<void()> before = {});

// Answers the message boxes with the buttons given, in order; a box beyond the list gets Ignore,
// else OK, else its first button, so an unexpected question never leaves a test retrying for
// ever. Records each box's text and icon.
class BoxAnswerer {
public:
    using Hook = std::function<void(const QString& text)>;
    explicit BoxAnswerer(QList<QMessageBox::StandardButton> answers = {});

    void setAnswers(QList<QMessageBox::StandardButton> answers) { answers_ = std::move(answers); }
    // Runs before an answer is given (for example, to plug a device in before Retry).
    void setHook(Hook hook) { hook_ = std::move(hook); }
    QStringList texts() const;
    QList<QMessageBox::Icon> icons() const;
    void clear() { script_.seen.clear(); }

private:
    ModalScript script_;
    QList<QMessageBox::StandardButton> answers_;
    Hook hook_;
};

} // namespace testsupport
