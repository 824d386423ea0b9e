// The local history database on real SQLite files in a temporary folder: storing, one record per
// instrument however often it is read, the search with hostile input, migrations, a newer schema,
// damaged and foreign files, a full database and two programs writing at once.
#include "history/history_store.h"
#include "history_fixture.h"
#include "support/test_files.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <set>

using namespace vyz;
using namespace testsupport;
using namespace vyz::history;

namespace {

qint64 scalar(HistoryDb& db, const QString& sql) {
    QSqlQuery q(db.Database());
    if (!q.exec(sql) || !q.next()) return -1;
    return q.value(0).toLongLong();
}

// The child process of twoWritersAtOnce: stores `count` read-outs of 500 records each, half of
// them the same for both writers, half its own.
int runWriter(const QString& path, int writer, int count) {
    HistoryDb db(QStringLiteral("writer"));
    if (const HistoryDb::Open result = db.OpenLocal(path); result != HistoryDb::Open::Ok) {
        fprintf(stderr, "open %d: %s\n", int(result), qPrintable(db.Error()));
        return 2;
    }
    for (int i = 0; i < count; ++i) {
        Readout shared = test::MakeReadout(250, QStringLiteral("shared"), true, i * 250);
        const Readout own = test::MakeReadout(250, QString(), true, writer * 5000 + i * 250);
        shared.records.insert(shared.records.end(), own.records.begin(), own.records.end());
        if (db.Store(shared, true) == 0) {
            fprintf(stderr, "%s\n", qPrintable(db.Error()));
            return 3;
        }
    }
    return 0;
}

} // namespace

class TestHistoryStore : public QObject {
    Q_OBJECT
private slots:
    void init();
    void storeAndReadBack();
    void plainLayoutStoresItsOwnBytes();
    void sameRecordsStoredOnce();
    void search_data();
    void search();
    void searchLimitNewestFirst();
    void deleteKeepsSharedRecords();
    void migrationKeepsData();
    void newerSchemaRefused();
    void damagedFileMovedAside_data();
    void damagedFileMovedAside();
    void fullDatabaseStoresNothing();
    void twoWritersAtOnce();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
};

void TestHistoryStore::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    path_ = dir_->filePath(QStringLiteral("History.sqlite"));
}

void TestHistoryStore::storeAndReadBack() {
    HistoryDb db(QStringLiteral("t"));
    QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Ok);
    Readout readout = test::MakeReadout(ArchiveCapacity);
    readout.source = QStringLiteral("/home/op/Дорога 7.vyz");
    readout.kind = SourceKind::File;
    const qint64 id = db.Store(readout, true);
    QVERIFY2(id > 0, qPrintable(db.Error()));

    const std::vector<ReadoutInfo> list = db.Readouts();
    QCOMPARE(list.size(), size_t(1));
    QCOMPARE(list[0].id, id);
    QCOMPARE(list[0].count, ArchiveCapacity);
    QCOMPARE(list[0].source, readout.source);
    QCOMPARE(list[0].kind, QStringLiteral("file"));
    QCOMPARE(list[0].instrument, readout.instrument);
    QVERIFY(list[0].coordinates);
    QVERIFY(list[0].queued);
    QCOMPARE(list[0].takenAt.toSecsSinceEpoch(), readout.takenAt.toSecsSinceEpoch());

    const std::vector<FoundRecord> back = db.RecordsOf(id);
    QCOMPARE(back.size(), size_t(ArchiveCapacity));
    for (int i = 0; i < ArchiveCapacity; ++i)
        QVERIFY2(test::SameBytes(back[size_t(i)].record, readout.records[size_t(i)]),
                 qPrintable(QString::number(i)));
    // The decoded fields beside the bytes, for other programs that read the database.
    QSqlQuery q(db.Database());
    QVERIFY(q.exec(QStringLiteral("SELECT measured_at, material, thickness, density, porosity, "
                                  "latitude, deleted FROM records WHERE record_no = 3")));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("2024-01-03 08:00:02"));
    QCOMPARE(q.value(1).toInt(), 3);
    QCOMPARE(q.value(2).toInt(), 32);
    QCOMPARE(q.value(3).toDouble(), 2302.0);
    QCOMPARE(float(q.value(4).toDouble()), (1.0f - 2302.0f / 2450.0f) * 100.0f);
    QCOMPARE(q.value(5).toInt(), 363410555 + 2);
    QCOMPARE(q.value(6).toInt(), 0);
    QCOMPARE(db.Queued(), std::vector<qint64>{id});
}

void TestHistoryStore::plainLayoutStoresItsOwnBytes() {
    HistoryDb db(QStringLiteral("t"));
    QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Ok);
    // The plain layout carries no coordinates (whatever the archive slot held) and no tail word.
    const Readout plain = test::MakeReadout(10, QStringLiteral("A"), false);
    const qint64 id = db.Store(plain, false);
    QVERIFY(id > 0);
    const std::vector<FoundRecord> back = db.RecordsOf(id);
    QCOMPARE(back.size(), size_t(10));
    for (size_t i = 0; i < back.size(); ++i) {
        ArchiveRecord expected = plain.records[i];
        expected.Latitude = expected.Longitude = 0;
        expected.TailWord = 0;
        QVERIFY(test::SameBytes(back[i].record, expected));
        QVERIFY(!back[i].coordinates);
    }
    // So reading the same plain archive again, over slots that held other bytes, adds nothing.
    Readout again = plain;
    again.uid = QUuid::createUuid().toString();
    for (ArchiveRecord& r : again.records)
        r.Latitude = 12345;
    QVERIFY(db.Store(again, false) > 0);
    QCOMPARE(db.RecordTotal(), 10);
    QVERIFY(db.Queued().empty());
}

void TestHistoryStore::sameRecordsStoredOnce() {
    HistoryDb db(QStringLiteral("t"));
    QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Ok);
    const Readout first = test::MakeReadout(ArchiveCapacity);
    QVERIFY(db.Store(first, true) > 0);
    // The same archive read again: a new read-out, no new record.
    Readout second = test::MakeReadout(ArchiveCapacity);
    const qint64 secondId = db.Store(second, true);
    QVERIFY(secondId > 0);
    QCOMPARE(db.RecordTotal(), ArchiveCapacity);
    QCOMPARE(db.Readouts().size(), size_t(2));
    QCOMPARE(db.RecordsOf(secondId).size(), size_t(ArchiveCapacity));
    // The instrument later holds 100 more: only those are new.
    Readout grown = test::MakeReadout(100, first.instrument, true, ArchiveCapacity);
    QVERIFY(db.Store(grown, true) > 0);
    QCOMPARE(db.RecordTotal(), ArchiveCapacity + 100);
    // A record that differs in one byte is another record; another instrument's are its own.
    Readout changed = test::MakeReadout(1);
    changed.records[0].Density += 1.0f;
    QVERIFY(db.Store(changed, true) > 0);
    QCOMPARE(db.RecordTotal(), ArchiveCapacity + 101);
    QVERIFY(db.Store(test::MakeReadout(5, QStringLiteral("other")), true) > 0);
    QCOMPARE(db.RecordTotal(), ArchiveCapacity + 106);
    // A record the instrument sent twice in one read-out: stored once, listed at both places.
    Readout twice = test::MakeReadout(2, QStringLiteral("twice"));
    twice.records[1] = twice.records[0];
    const qint64 twiceId = db.Store(twice, true);
    QVERIFY2(twiceId > 0, qPrintable(db.Error()));
    QCOMPARE(db.RecordTotal(), ArchiveCapacity + 107);
    QCOMPARE(db.RecordsOf(twiceId).size(), size_t(2));
    // The same read-out (its uid) offered again is not stored twice.
    QCOMPARE(db.Store(second, true), secondId);
    QCOMPARE(db.Readouts().size(), size_t(6));
}

void TestHistoryStore::search_data() {
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<int>("material");
    QTest::addColumn<QString>("instrument");
    QTest::addColumn<QString>("text");
    const QDate none;
    QTest::newRow("everything") << none << none << -1 << QString() << QString();
    QTest::newRow("one day") << QDate(2024, 1, 5) << QDate(2024, 1, 5) << -1 << QString()
                             << QString();
    QTest::newRow("a month") << QDate(2024, 2, 1) << QDate(2024, 2, 29) << -1 << QString()
                             << QString();
    QTest::newRow("from only") << QDate(2024, 11, 20) << none << -1 << QString() << QString();
    QTest::newRow("to only") << none << QDate(2023, 12, 31) << -1 << QString() << QString();
    QTest::newRow("material") << none << none << 7 << QString() << QString();
    QTest::newRow("instrument") << none << none << -1 << QStringLiteral("Прибор №2") << QString();
    QTest::newRow("instrument and day")
        << QDate(2024, 3, 3) << QDate(2024, 3, 3) << 4 << QStringLiteral("VYZ-1 #17") << QString();
    QTest::newRow("text: part of the identity, any case")
        << none << none << -1 << QString() << QStringLiteral("vyz-1");
    QTest::newRow("text: the file's path, Cyrillic in another case")
        << none << none << -1 << QString() << QStringLiteral("дОРОГА");
    QTest::newRow("text: a record number")
        << none << none << -1 << QString() << QStringLiteral("42");
    QTest::newRow("hostile: quote and statement")
        << none << none << -1 << QString() << QStringLiteral("'; DROP TABLE records; --");
    QTest::newRow("hostile: wildcard %") << none << none << -1 << QString() << QStringLiteral("%");
    QTest::newRow("hostile: wildcard _") << none << none << -1 << QString() << QStringLiteral("_");
    QTest::newRow("hostile: escape character")
        << none << none << -1 << QString() << QStringLiteral("!%");
    QTest::newRow("hostile instrument")
        << none << none << -1 << QStringLiteral("x' OR '1'='1") << QString();
    QTest::newRow("literal 100% in a path")
        << none << none << -1 << QString() << QStringLiteral("100%_ok");
}

void TestHistoryStore::search() {
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(int, material);
    QFETCH(QString, instrument);
    QFETCH(QString, text);
    HistoryDb db(QStringLiteral("t"));
    QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Ok);
    // Three read-outs: two instruments, two years; the file's path has a literal "100%_ok".
    std::vector<Readout> readouts = {
        test::MakeReadout(400, QStringLiteral("VYZ-1 #17"), true, 0, 24),
        test::MakeReadout(300, QStringLiteral("Прибор №2"), false, 0, 23),
        test::MakeReadout(50, QStringLiteral("Прибор №2"), false, 1000, 24)};
    readouts[2].kind = SourceKind::File;
    readouts[2].source = QStringLiteral("/data/Дорога 100%_ok.vyz");
    for (const Readout& r : readouts)
        QVERIFY(db.Store(r, false) > 0);

    RecordFilter filter;
    if (from.isValid()) filter.from = from;
    if (to.isValid()) filter.to = to;
    filter.material = material;
    filter.instrument = instrument;
    filter.text = text;
    bool more = true;
    const std::vector<FoundRecord> found = db.Search(filter, &more);
    QVERIFY2(db.Error().isEmpty(), qPrintable(db.Error()));
    QVERIFY(!more);

    // The same filter worked out here, record by record.
    std::multiset<QString> expected;
    for (const Readout& r : readouts)
        for (const ArchiveRecord& a : r.records) {
            const QDate date(2000 + a.Year, a.Month, a.Day);
            if (from.isValid() && date < from) continue;
            if (to.isValid() && date > to) continue;
            if (material >= 0 && a.MaterialIndex != material) continue;
            if (!instrument.isEmpty() && r.instrument != instrument) continue;
            if (!text.isEmpty() && !r.instrument.contains(text, Qt::CaseInsensitive) &&
                !r.source.contains(text, Qt::CaseInsensitive) &&
                QString::number(a.RecordNo) != text)
                continue;
            expected.insert(r.instrument + QString::number(a.RecordNo) + MeasuredAt(a));
        }
    std::multiset<QString> got;
    for (const FoundRecord& f : found)
        got.insert(f.instrument + QString::number(f.record.RecordNo) + MeasuredAt(f.record));
    QCOMPARE(got.size(), expected.size());
    QVERIFY(got == expected);
    // Newest first.
    for (size_t i = 1; i < found.size(); ++i)
        QVERIFY(MeasuredAt(found[i - 1].record) >= MeasuredAt(found[i].record));
    // Whatever was typed, the tables are all still there.
    QCOMPARE(db.RecordTotal(), 750);
}

void TestHistoryStore::searchLimitNewestFirst() {
    HistoryDb db(QStringLiteral("t"));
    QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Ok);
    QVERIFY(db.Store(test::MakeReadout(ArchiveCapacity, QStringLiteral("A"), true, 0, 20), false) >
            0);
    QVERIFY(db.Store(test::MakeReadout(ArchiveCapacity, QStringLiteral("B"), true, 0, 21), false) >
            0);
    bool more = false;
    const std::vector<FoundRecord> found = db.Search({}, &more);
    QVERIFY(more);
    QCOMPARE(found.size(), size_t(ArchiveCapacity));
    for (const FoundRecord& f : found)
        QCOMPARE(f.instrument, QStringLiteral("B"));
}

void TestHistoryStore::deleteKeepsSharedRecords() {
    HistoryDb db(QStringLiteral("t"));
    QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Ok);
    const qint64 a = db.Store(test::MakeReadout(100), true);
    const qint64 b = db.Store(test::MakeReadout(150), true); // holds a's 100 and 50 more
    QCOMPARE(db.RecordTotal(), 150);
    QVERIFY(db.DeleteReadout(b));
    QCOMPARE(db.RecordTotal(), 100);
    QCOMPARE(db.RecordsOf(a).size(), size_t(100));
    QCOMPARE(db.Queued(), std::vector<qint64>{a});
    QVERIFY(db.DeleteReadout(a));
    QCOMPARE(db.RecordTotal(), 0);
    QVERIFY(db.Readouts().empty());
    QVERIFY(db.Queued().empty());
}

void TestHistoryStore::migrationKeepsData() {
    qint64 id = 0;
    {
        // A database of the first schema version, as an older program left it.
        HistoryDb v1(QStringLiteral("v1"));
        QCOMPARE(v1.OpenLocal(path_, nullptr, 1), HistoryDb::Open::Ok);
        QCOMPARE(scalar(v1, QStringLiteral("SELECT version FROM vyz_schema")), 1);
        QCOMPARE(scalar(v1, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = "
                                           "'index' AND name = 'records_measured'")),
                 0);
        id = v1.Store(test::MakeReadout(20), true);
        QVERIFY2(id > 0, qPrintable(v1.Error()));
    }
    HistoryDb db(QStringLiteral("t"));
    QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Ok);
    QCOMPARE(scalar(db, QStringLiteral("SELECT version FROM vyz_schema")), SchemaVersion());
    QCOMPARE(
        scalar(db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND "
                                  "name IN ('records_measured', 'readouts_taken', "
                                  "'readout_records_record')")),
        3);
    QCOMPARE(db.RecordsOf(id).size(), size_t(20));
    QCOMPARE(db.Queued(), std::vector<qint64>{id});
}

void TestHistoryStore::newerSchemaRefused() {
    {
        HistoryDb db(QStringLiteral("t"));
        QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Ok);
        QVERIFY(db.Store(test::MakeReadout(5), true) > 0);
        QSqlQuery q(db.Database());
        QVERIFY(
            q.exec(QStringLiteral("UPDATE vyz_schema SET version = %1").arg(SchemaVersion() + 1)));
        QVERIFY(q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")));
    }
    const QByteArray before = ReadAll(path_);
    HistoryDb db(QStringLiteral("t2"));
    QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Newer);
    QVERIFY(!db.IsOpen());
    QCOMPARE(db.Store(test::MakeReadout(5), true), 0);
    QCOMPARE(ReadAll(path_), before);
    QCOMPARE(QDir(dir_->path()).entryList({QStringLiteral("*.damaged-*")}, QDir::Files).size(), 0);
}

void TestHistoryStore::damagedFileMovedAside_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("foreignDatabase");
    QTest::newRow("text file") << QByteArray("this is not a database\n") << false;
    QTest::newRow("damaged header") << QByteArray("SQLite format 2\0garbage", 23) << false;
    QTest::newRow("another program's database") << QByteArray() << true;
}

void TestHistoryStore::damagedFileMovedAside() {
    QFETCH(QByteArray, content);
    QFETCH(bool, foreignDatabase);
    if (foreignDatabase) {
        QSqlDatabase other =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(path_);
        QVERIFY(other.open());
        QVERIFY(QSqlQuery(other).exec(QStringLiteral("CREATE TABLE contacts (name TEXT)")));
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
        content = ReadAll(path_);
    } else {
        QVERIFY(WriteFile(path_, content));
    }
    HistoryDb db(QStringLiteral("t"));
    QString movedTo;
    QCOMPARE(db.OpenLocal(path_, &movedTo), HistoryDb::Open::MovedAside);
    QVERIFY(movedTo.startsWith(path_ + QStringLiteral(".damaged-")));
    QCOMPARE(ReadAll(movedTo), content); // nothing of it is lost
    QVERIFY(db.Store(test::MakeReadout(3), true) > 0);
    QCOMPARE(db.RecordTotal(), 3);
    // The new file is ours from now on.
    db.Close();
    QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Ok);
    QCOMPARE(db.RecordTotal(), 3);
}

void TestHistoryStore::fullDatabaseStoresNothing() {
    HistoryDb db(QStringLiteral("t"));
    QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Ok);
    QVERIFY(db.Store(test::MakeReadout(10), true) > 0);
    // SQLite answers a page limit as it answers a full disk: SQLITE_FULL.
    const qint64 pages = scalar(db, QStringLiteral("PRAGMA page_count"));
    QVERIFY(
        QSqlQuery(db.Database()).exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages + 2)));
    QCOMPARE(db.Store(test::MakeReadout(ArchiveCapacity, QStringLiteral("big")), true), 0);
    QVERIFY2(db.Error().contains(QStringLiteral("full"), Qt::CaseInsensitive),
             qPrintable(db.Error()));
    // Nothing half-written.
    QCOMPARE(db.RecordTotal(), 10);
    QCOMPARE(db.Readouts().size(), size_t(1));
    QCOMPARE(db.Queued().size(), size_t(1));
    // Room again: the next read-out is stored whole.
    QVERIFY(QSqlQuery(db.Database()).exec(QStringLiteral("PRAGMA max_page_count = 1000000")));
    QVERIFY(db.Store(test::MakeReadout(ArchiveCapacity, QStringLiteral("big")), true) > 0);
    QCOMPARE(db.RecordTotal(), 10 + ArchiveCapacity);
}

void TestHistoryStore::twoWritersAtOnce() {
    constexpr int perWriter = 12;
    QList<QProcess*> writers;
    for (int w = 1; w <= 2; ++w) {
        auto* p = new QProcess(this);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--writer"), path_, QString::number(w), QString::number(perWriter)});
        writers << p;
    }
    for (QProcess* p : writers) {
        QVERIFY(p->waitForFinished(120000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
    }
    HistoryDb db(QStringLiteral("t"));
    QCOMPARE(db.OpenLocal(path_), HistoryDb::Open::Ok);
    QCOMPARE(db.Readouts().size(), size_t(2 * perWriter));
    // The shared half stored once, each writer's own half once each.
    QCOMPARE(db.RecordTotal(), qint64(perWriter) * 250 * 3);
    QCOMPARE(scalar(db, QStringLiteral("SELECT COUNT(*) FROM readout_records")),
             qint64(2 * perWriter) * 500);
    QCOMPARE(db.Queued().size(), size_t(2 * perWriter));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 5 && QByteArray(argv[1]) == "--writer")
        return runWriter(QString::fromLocal8Bit(argv[2]), atoi(argv[3]), atoi(argv[4]));
    TestHistoryStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_history_store.moc"
