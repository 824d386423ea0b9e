#include "shell/status_window.h"

#include "platform/text_string.h"
#include "shell/docking.h"
#include "shell/main_window.h"
#include "shell/startup_settings.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

namespace vyz {

const TextPair StatusTexts = {"История сообщений в статус-строке",
                              "History of messages in the status bar"};

QString HistoryLine(const QTime& time, const QString& message) {
    QString stamp = time.toString(QStringLiteral("hh:mm:ss,zzz"));
    stamp.chop(2);
    return stamp + QStringLiteral(": ") + message;
}

TfrmStatus::TfrmStatus(QWidget* mainWindow) : QWidget(mainWindow, Qt::Tool) {
    setObjectName(QStringLiteral("frmStatus"));
    setWindowTitle(Text(StatusTexts));
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName(QStringLiteral("Memo1"));
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(memo_);
    const QScreen* screen = mainWindow && mainWindow->screen() ? mainWindow->screen()
                                                               : QGuiApplication::primaryScreen();
    const int screenHeight = screen ? screen->geometry().height() : 768;
    resize(620, ReadStatusWindowHeight(screenHeight, 60));
    dock_ = new ToolWindowDock(this, mainWindow);
}

void TfrmStatus::AppendLine(const QString& line) {
    memo_->appendPlainText(line);
}

// F1 here or in the memo (the memo passes keys it does not use on to its window) opens the help.
void TfrmStatus::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1 && Form1) {
        Form1->AHelpExecute();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace vyz
