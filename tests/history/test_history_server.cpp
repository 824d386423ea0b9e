// The team server: a real PostgreSQL server started by the test. The login (refused, then the
// password from the libpq password file), TLS when the server offers it, the queue sent one
// transaction per read-out, the server stopped in the middle of a transfer and started again
// with nothing lost or doubled, the search there, and a newer schema on the server refused.
#include "history/history_service.h"
#include "history/history_store.h"
#include "history_fixture.h"
#include "pg_server.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>

using namespace vyz;
using namespace vyz::history;

namespace {

qint64 count(QSqlDatabase db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next()) return -1;
    return q.value(0).toLongLong();
}

} // namespace

class TestHistoryServer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void loginRefusedThenPasswordFile();
    void tlsWhenOffered();
    void stoppedMidTransferLosesAndDoublesNothing();
    void searchOnServer();
    void newerServerSchemaRefused();

private:
    void waitFor(const std::function<bool()>& done, int ms = 60000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms)
            QTest::qWait(20);
    }

    test::PgServer pg_;
    QTemporaryDir dir_;
};

void TestHistoryServer::initTestCase() {
    QVERIFY(dir_.isValid());
    QVERIFY2(pg_.Start(), qPrintable(pg_.Error()));
    qputenv("PGPASSFILE",
            pg_.WritePassFile(QString::fromLatin1(test::PgServer::Password)).toLocal8Bit());
    qunsetenv("PGPASSWORD");
}

void TestHistoryServer::cleanupTestCase() {
    pg_.Stop(false);
}

void TestHistoryServer::loginRefusedThenPasswordFile() {
    HistoryDb db(QStringLiteral("login"));
    pg_.WritePassFile(QStringLiteral("wrong"));
    QCOMPARE(db.OpenServer(pg_.Settings()), HistoryDb::Open::Failed);
    QVERIFY2(db.Error().contains(QStringLiteral("password"), Qt::CaseInsensitive),
             qPrintable(db.Error()));
    HistoryDb::Server nobody = pg_.Settings();
    nobody.user = QStringLiteral("nobody_here");
    QCOMPARE(db.OpenServer(nobody), HistoryDb::Open::Failed);
    pg_.WritePassFile(QString::fromLatin1(test::PgServer::Password));
    QCOMPARE(db.OpenServer(pg_.Settings()), HistoryDb::Open::Ok);
    QVERIFY(!db.Encrypted()); // this server offers no TLS
    QCOMPARE(count(db.Database(), QStringLiteral("SELECT version FROM vyz_schema")),
             SchemaVersion());
}

void TestHistoryServer::tlsWhenOffered() {
    QVERIFY(pg_.Stop(false));
    QVERIFY2(pg_.Start(true), qPrintable(pg_.Error()));
    {
        HistoryDb db(QStringLiteral("tls"));
        QCOMPARE(db.OpenServer(pg_.Settings()), HistoryDb::Open::Ok);
        QVERIFY(db.Encrypted());
    }
    // The sender says so too.
    ServerLink link(dir_.filePath(QStringLiteral("tls.sqlite")));
    {
        HistoryDb local(QStringLiteral("tls-local"));
        QCOMPARE(local.OpenLocal(dir_.filePath(QStringLiteral("tls.sqlite"))), HistoryDb::Open::Ok);
    }
    QSignalSpy spy(&link, &ServerLink::StateChanged);
    link.Configure({true, pg_.Settings()});
    QVERIFY(!spy.isEmpty());
    const ServerState last = spy.last().at(0).value<ServerState>();
    QCOMPARE(last.status, ServerState::Connected);
    QVERIFY(last.encrypted);
    link.Stop();
    QVERIFY(pg_.Stop(false));
    QVERIFY2(pg_.Start(false), qPrintable(pg_.Error()));
}

void TestHistoryServer::stoppedMidTransferLosesAndDoublesNothing() {
    const QString path = dir_.filePath(QStringLiteral("queue.sqlite"));
    // Three read-outs: the second holds the first's records and 300 more, the third its own.
    std::vector<Readout> readouts = {test::MakeReadout(ArchiveCapacity - 300, QStringLiteral("Q")),
                                     test::MakeReadout(ArchiveCapacity, QStringLiteral("Q")),
                                     test::MakeReadout(ArchiveCapacity, QStringLiteral("R"))};
    {
        HistoryDb local(QStringLiteral("queue-local"));
        QCOMPARE(local.OpenLocal(path), HistoryDb::Open::Ok);
        for (const Readout& r : readouts)
            QVERIFY(local.Store(r, true) > 0);
    }

    QThread thread;
    auto* link = new ServerLink(path);
    // In the second read-out's transaction, 1000 records in, the server goes away at once.
    std::atomic<bool> firstSent{false}, stopped{false};
    link->afterRecordHook = [&](int written) {
        if (written == int(readouts[0].records.size())) {
            firstSent = true;
        } else if (firstSent && written >= 1000 && !stopped) {
            stopped = true;
            pg_.Stop(true);
        }
    };
    link->moveToThread(&thread);
    thread.start();
    std::vector<ServerState> states;
    connect(link, &ServerLink::StateChanged, this,
            [&](const ServerState& s) { states.push_back(s); });
    QMetaObject::invokeMethod(link, [&] { link->Configure({true, pg_.Settings()}); });
    waitFor([&] {
        return stopped && !states.empty() && states.back().status == ServerState::Unreachable;
    });
    QVERIFY(stopped);
    QCOMPARE(states.back().status, ServerState::Unreachable);
    QCOMPARE(states.back().queued, 2); // the first read-out went; the second is still queued
    QVERIFY(!states.back().error.isEmpty());

    QVERIFY2(pg_.Start(), qPrintable(pg_.Error()));
    QSqlDatabase admin = pg_.Admin(QStringLiteral("admin-queue"));
    QVERIFY(admin.isOpen());
    QCOMPARE(count(admin, QStringLiteral("SELECT COUNT(*) FROM readouts")), 1);
    QCOMPARE(count(admin, QStringLiteral("SELECT COUNT(*) FROM records")),
             qint64(readouts[0].records.size()));

    // The first read-out again, as if its dequeue had been lost after the server's commit.
    {
        HistoryDb local(QStringLiteral("queue-local2"));
        QCOMPARE(local.OpenLocal(path), HistoryDb::Open::Ok);
        QSqlQuery q(local.Database());
        QVERIFY(
            q.exec(QStringLiteral("INSERT INTO outbox (readout_id) SELECT MIN(id) FROM readouts")));
    }
    states.clear();
    QMetaObject::invokeMethod(link, &ServerLink::Kick);
    waitFor([&] {
        return !states.empty() && states.back().status == ServerState::Connected &&
               states.back().queued == 0;
    });
    QVERIFY(!states.empty());
    QCOMPARE(states.back().queued, 0);

    // Every read-out once, every record once, each read-out with all its records in order.
    QCOMPARE(count(admin, QStringLiteral("SELECT COUNT(*) FROM readouts")), 3);
    QCOMPARE(count(admin, QStringLiteral("SELECT COUNT(*) FROM records")),
             qint64(2 * ArchiveCapacity));
    QCOMPARE(count(admin, QStringLiteral("SELECT COUNT(*) FROM readout_records")),
             qint64(3 * ArchiveCapacity - 300));
    {
        HistoryDb server(QStringLiteral("check"));
        QCOMPARE(server.OpenServer(pg_.Settings()), HistoryDb::Open::Ok);
        for (const Readout& r : readouts) {
            QSqlQuery q(server.Database());
            q.prepare(QStringLiteral("SELECT id FROM readouts WHERE uid = ?"));
            q.addBindValue(r.uid);
            QVERIFY(q.exec() && q.next());
            const std::vector<FoundRecord> back = server.RecordsOf(q.value(0).toLongLong());
            QCOMPARE(back.size(), r.records.size());
            for (size_t i = 0; i < back.size(); ++i)
                QVERIFY(test::SameBytes(back[i].record, r.records[i]));
        }
    }
    QMetaObject::invokeMethod(link, &ServerLink::Stop, Qt::BlockingQueuedConnection);
    delete link;
    thread.quit();
    thread.wait();
    admin.close();
}

void TestHistoryServer::searchOnServer() {
    const QString path = dir_.filePath(QStringLiteral("search.sqlite"));
    {
        HistoryDb server(QStringLiteral("search-server"));
        QCOMPARE(server.OpenServer(pg_.Settings()), HistoryDb::Open::Ok);
        Readout r = test::MakeReadout(200, QStringLiteral("Прибор 'поиска'"), true, 5000, 22);
        QVERIFY2(server.Store(r, false) > 0, qPrintable(server.Error()));
        HistoryDb local(QStringLiteral("search-local"));
        QCOMPARE(local.OpenLocal(path), HistoryDb::Open::Ok);
    }
    ServerLink link(path);
    link.Configure({true, pg_.Settings()});
    QSignalSpy spy(&link, &ServerLink::SearchDone);
    struct Case {
        RecordFilter filter;
        int expected;
    };
    RecordFilter byInstrument;
    byInstrument.instrument = QStringLiteral("Прибор 'поиска'");
    RecordFilter byText;
    byText.text = QStringLiteral("'ПОИСКА'"); // any case, Cyrillic too
    RecordFilter hostile;
    hostile.text = QStringLiteral("'); DELETE FROM records; --");
    RecordFilter wildcard;
    wildcard.instrument = QStringLiteral("%");
    RecordFilter day;
    day.from = QDate(2022, 1, 1);
    day.to = QDate(2022, 1, 31);
    day.instrument = byInstrument.instrument;
    const Case cases[] = {
        {byInstrument, 200}, {byText, 200}, {hostile, 0}, {wildcard, 0}, {day, 0}};
    int request = 0;
    for (const Case& c : cases) {
        link.Search(c.filter, ++request);
        QCOMPARE(spy.size(), request);
        const auto found = spy.last().at(1).value<std::vector<FoundRecord>>();
        QVERIFY2(spy.last().at(3).toString().isEmpty(), qPrintable(spy.last().at(3).toString()));
        if (&c == &cases[4]) {
            // The fixture's January 2022 records, worked out here.
            int expected = 0;
            for (int i = 0; i < 200; ++i)
                expected += test::HistoryRecord(5000 + i, 22).Month == 1;
            QCOMPARE(int(found.size()), expected);
            QVERIFY(expected > 0);
        } else {
            QCOMPARE(int(found.size()), c.expected);
        }
    }
    QSqlDatabase admin = pg_.Admin(QStringLiteral("admin-search"));
    QVERIFY(count(admin, QStringLiteral("SELECT COUNT(*) FROM records")) >= 200);
    link.Stop();
}

void TestHistoryServer::newerServerSchemaRefused() {
    QSqlDatabase admin = pg_.Admin(QStringLiteral("admin-newer"));
    QVERIFY(QSqlQuery(admin).exec(
        QStringLiteral("UPDATE vyz_schema SET version = %1").arg(SchemaVersion() + 1)));
    const qint64 records = count(admin, QStringLiteral("SELECT COUNT(*) FROM records"));
    HistoryDb db(QStringLiteral("newer"));
    QCOMPARE(db.OpenServer(pg_.Settings()), HistoryDb::Open::Newer);
    QVERIFY(!db.IsOpen());
    QCOMPARE(count(admin, QStringLiteral("SELECT COUNT(*) FROM records")), records);
    QCOMPARE(count(admin, QStringLiteral("SELECT version FROM vyz_schema")), SchemaVersion() + 1);
    QVERIFY(QSqlQuery(admin).exec(
        QStringLiteral("UPDATE vyz_schema SET version = %1").arg(SchemaVersion())));
    admin.close();
}

QTEST_GUILESS_MAIN(TestHistoryServer)
#include "test_history_server.moc"
