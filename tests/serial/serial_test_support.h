// Helpers of the serial tests: a pseudo-terminal pair, a device folder of links and the instrument
// simulator as a child process.
#pragma once

#include "support/modal_script.h"

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

using testsupport::BoxAnswerer;
