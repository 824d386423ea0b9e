// The history of status-line messages: a tool window beside the main window, opened and closed by
// clicking the status line, one time-stamped line per message.
#pragma once

#include "data/text_pair.h"

#include <QTime>
#include <QWidget>

class QPlainTextEdit;

namespace vyz {

class ToolWindowDock;

extern const TextPair StatusTexts;

// "hh:mm:ss,z: message": the time to a tenth of a second (cut, not rounded), then the message.
QString HistoryLine(const QTime& time, const QString& message);

class TfrmStatus : public QWidget {
    Q_OBJECT
public:
    // Created once, hidden, after the main window has chosen the language.
    explicit TfrmStatus(QWidget* mainWindow);
    QPlainTextEdit* Memo1() const { return memo_; }
    void AppendLine(const QString& line);
    ToolWindowDock* Dock() const { return dock_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPlainTextEdit* memo_;
    ToolWindowDock* dock_;
};

} // namespace vyz
