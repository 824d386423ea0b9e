// A real PostgreSQL server for the tests: Debian's initdb and pg_ctl in a temporary folder, run
// as an unprivileged user when the tests run as root (the server refuses to run as root). It
// listens on a free localhost port and on a socket in its folder; local connections are trusted,
// TCP connections need the password of user "vyz".
#pragma once

#include "history/history_store.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vyz::test {

class PgServer {
public:
    static constexpr const char* Bin = "/usr/lib/postgresql/15/bin";
    static constexpr const char* Password = "s3cret pass";

    PgServer() {
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (nobody) {
                uid_ = nobody->pw_uid;
                gid_ = nobody->pw_gid;
            }
        }
    }
    ~PgServer() { Stop(false); }

    QString Error() const { return error_; }
    int Port() const { return port_; }
    QString SocketDir() const { return dir_.path(); }

    // Creates the cluster (first time) and starts the server; `tls` turns TLS on with a
    // self-signed certificate.
    bool Start(bool tls = false) {
        if (!dir_.isValid()) return fail(QStringLiteral("no temporary folder"));
        const QString data = dir_.filePath(QStringLiteral("data"));
        if (!initialised_) {
            if (uid_ && chown(QFile::encodeName(dir_.path()).constData(), uid_, gid_) != 0)
                return fail(QStringLiteral("chown"));
            QFile pw(dir_.filePath(QStringLiteral("pw")));
            if (!pw.open(QIODevice::WriteOnly)) return fail(QStringLiteral("pw"));
            pw.write(Password);
            pw.close();
            if (uid_ && chown(QFile::encodeName(pw.fileName()).constData(), uid_, gid_) != 0)
                return fail(QStringLiteral("chown pw"));
            if (!run(QStringLiteral("initdb"),
                     {QStringLiteral("-D"), data, QStringLiteral("-U"), QStringLiteral("vyz"),
                      QStringLiteral("--pwfile=") + pw.fileName(),
                      QStringLiteral("--auth-local=trust"),
                      QStringLiteral("--auth-host=scram-sha-256"), QStringLiteral("--no-sync"),
                      QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C")}))
                return false;
            if (!run(QStringLiteral("/usr/bin/openssl"),
                     {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                      QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                      QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
                      QStringLiteral("-keyout"), data + QStringLiteral("/server.key"),
                      QStringLiteral("-out"), data + QStringLiteral("/server.crt")}))
                return false;
            QFile::setPermissions(data + QStringLiteral("/server.key"),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            port_ = freePort();
            initialised_ = true;
        }
        QStringList options = {QStringLiteral("-c listen_addresses=127.0.0.1"),
                               QStringLiteral("-c port=%1").arg(port_),
                               QStringLiteral("-c unix_socket_directories=") + dir_.path(),
                               QStringLiteral("-c fsync=off")};
        options << (tls ? QStringLiteral("-c ssl=on") : QStringLiteral("-c ssl=off"));
        return run(QStringLiteral("pg_ctl"),
                   {QStringLiteral("-D"), data, QStringLiteral("-l"),
                    dir_.filePath(QStringLiteral("log")), QStringLiteral("-w"),
                    QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("-o"),
                    options.join(u' '), QStringLiteral("start")});
    }

    // Stops the server; `immediate` ends it at once, as a crash or a pulled cable would, in the
    // middle of whatever it was doing.
    bool Stop(bool immediate) {
        if (!initialised_ || !QFile::exists(dir_.filePath(QStringLiteral("data/postmaster.pid"))))
            return true;
        return run(QStringLiteral("pg_ctl"),
                   {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")),
                    QStringLiteral("-w"), QStringLiteral("-m"),
                    immediate ? QStringLiteral("immediate") : QStringLiteral("fast"),
                    QStringLiteral("stop")});
    }

    // The settings the program would be given (password from the libpq environment).
    history::HistoryDb::Server Settings() const {
        history::HistoryDb::Server s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = port_;
        s.database = QStringLiteral("postgres");
        s.user = QStringLiteral("vyz");
        return s;
    }

    // A superuser connection over the trusted local socket, for the test's own look.
    QSqlDatabase Admin(const QString& name) const {
        QSqlDatabase db = QSqlDatabase::contains(name)
                              ? QSqlDatabase::database(name, false)
                              : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(dir_.path());
        db.setPort(port_);
        db.setDatabaseName(QStringLiteral("postgres"));
        db.setUserName(QStringLiteral("vyz"));
        db.open();
        return db;
    }

    // A password file as libpq reads it (PGPASSFILE), for the TCP login.
    QString WritePassFile(const QString& password) const {
        const QString path = dir_.filePath(QStringLiteral("pgpass"));
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(QStringLiteral("127.0.0.1:%1:*:vyz:%2\n").arg(port_).arg(password).toUtf8());
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return path;
    }

private:
    bool fail(const QString& why) {
        error_ = why;
        return false;
    }

    bool run(const QString& tool, const QStringList& args) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        const QString program = tool.startsWith(u'/') ? tool : QLatin1String(Bin) + u'/' + tool;
        if (uid_) {
            p.start(QStringLiteral("/usr/bin/setpriv"),
                    QStringList{QStringLiteral("--reuid=%1").arg(uid_),
                                QStringLiteral("--regid=%1").arg(gid_),
                                QStringLiteral("--clear-groups"), program} +
                        args);
        } else {
            p.start(program, args);
        }
        if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit ||
            p.exitCode() != 0)
            return fail(tool + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll()));
        return true;
    }

    static int freePort() {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        int port = 0;
        if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        close(s);
        return port;
    }

    QTemporaryDir dir_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    int port_ = 0;
    bool initialised_ = false;
    QString error_;
};

} // namespace vyz::test
