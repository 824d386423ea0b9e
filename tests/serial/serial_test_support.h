// Helpers of the serial tests: a pseudo-terminal pair, a device folder of links, the instrument
// simulator as a child process, and an operator who answers the program's message boxes.
#pragma once

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <functional>
#include <unistd.h>

// A pseudo-terminal pair; the test holds the master end and keeps the slave open so that the
// slave stays usable while the code under test opens and closes it.
class PtyPair {
public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            slavePath_ = QString::fromLocal8Bit(::ptsname(master_));
            slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
    }
    ~PtyPair() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    bool ok() const { return slave_ >= 0; }
    int master() const { return master_; }
    int slave() const { return slave_; }
    const QString& slavePath() const { return slavePath_; }

private:
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
};

// A folder standing in for /dev.
class DeviceFolder {
public:
    QString path() const { return dir_.path(); }
    bool link(const QString& name, const QString& target) {
        QDir().mkpath(QFileInfo(dir_.filePath(name)).path());
        return QFile::link(target, dir_.filePath(name));
    }
    bool remove(const QString& name) { return QFile::remove(dir_.filePath(name)); }

private:
    QTemporaryDir dir_;
};

#ifdef VYZ_SERIAL_SIM
// The serial instrument simulator on a pseudo-terminal.
class SimProcess {
public:
    bool start(const QStringList& args) {
        process_.setProgram(QStringLiteral(VYZ_SERIAL_SIM));
        process_.setArguments(args);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (!process_.waitForStarted(5000)) return false;
        for (int i = 0; i < 50 && !process_.canReadLine(); ++i)
            process_.waitForReadyRead(100);
        const QString first = QString::fromLocal8Bit(process_.readLine()).trimmed();
        if (!first.startsWith("PTY ")) return false;
        slavePath_ = first.mid(4);
        return true;
    }
    ~SimProcess() {
        process_.kill();
        process_.waitForFinished(2000);
    }
    const QString& slavePath() const { return slavePath_; }
    // Ends the simulator: its end of the pseudo-terminal closes, and the program's end hangs up
    // as a terminal does when its USB adapter is unplugged.
    void stop() {
        process_.kill();
        process_.waitForFinished(2000);
    }
    // The requests the simulator has seen so far, one line each ("ident", "record 5", ...).
    QStringList log() {
        process_.waitForReadyRead(50);
        while (process_.canReadLine())
            lines_ << QString::fromLocal8Bit(process_.readLine()).trimmed();
        return lines_;
    }

private:
    QProcess process_;
    QString slavePath_;
    QStringList lines_;
};
#endif

// Answers the message boxes the program shows, in order, with the buttons given; records each
// box's text. A box beyond the list is recorded too and answered Ignore (or OK), so that an
// unexpected question never leaves a test retrying for ever. One answerer at a time.
class BoxAnswerer {
public:
    using Hook = std::function<void(const QString& text)>;
    explicit BoxAnswerer(QList<QMessageBox::StandardButton> answers = {})
        : answers_(std::move(answers)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    void setAnswers(QList<QMessageBox::StandardButton> answers) { answers_ = std::move(answers); }
    // Runs before the answer is given (for example, to plug a device in before Retry).
    void setHook(Hook hook) { hook_ = std::move(hook); }
    const QStringList& texts() const { return texts_; }
    const QList<QMessageBox::Icon>& icons() const { return icons_; }
    void clear() {
        texts_.clear();
        icons_.clear();
    }

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == handled_) return;
        handled_ = box;
        texts_ << box->text();
        icons_ << box->icon();
        if (hook_) hook_(box->text());
        QAbstractButton* button = nullptr;
        if (!answers_.isEmpty()) button = box->button(answers_.takeFirst());
        if (!button) button = box->button(QMessageBox::Ignore);
        if (!button) button = box->button(QMessageBox::Ok);
        if (!button) button = box->buttons().value(0);
        button->click();
    }

    QTimer timer_;
    QList<QMessageBox::StandardButton> answers_;
    QStringList texts_;
    QList<QMessageBox::Icon> icons_;
    QPointer<QMessageBox> handled_;
    Hook hook_;
};
