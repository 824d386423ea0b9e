// Measurement files: the two variants byte for byte, every file length, reading from disk and
// the staging-file writer against real files (and a real full or read-only tmpfs).
#include "output/measurement_file.h"
#include "support/test_files.h"
#include "tmpfs_mount.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace vyz;
using namespace testsupport;

namespace {

QByteArray marker() {
    return QByteArray(reinterpret_cast<const char*>(CoordinatesMarker), 16);
}

std::vector<ArchiveRecord> randomRecords(int count, quint32 seed) {
    std::vector<ArchiveRecord> records(static_cast<size_t>(count));
    const QByteArray bytes = RandomBytes(count * 32, seed);
    if (count) std::memcpy(records.data(), bytes.constData(), size_t(bytes.size()));
    return records;
}

std::span<const uint8_t> span(const QByteArray& b) {
    return {reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size())};
}

QByteArray bytesOf(const void* p, size_t n) {
    return QByteArray(reinterpret_cast<const char*>(p), qsizetype(n));
}

QByteArray toBytes(const std::vector<uint8_t>& v) {
    return bytesOf(v.data(), v.size());
}

// Every name in a folder, hidden ones included (a left-over staging file would show here).
QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class TestMeasurementFile : public QObject {
    Q_OBJECT
private slots:
    void fileLength_data();
    void fileLength();
    void plainFileAfterCoordinatesFile();
    void goldenBytes();
    void roundTrip_data();
    void roundTrip();
    void extensionRule_data();
    void extensionRule();
    void readFromDisk();
    void readFailures_data();
    void readFailures();
    void stagedReplaceKeepsModeAndFollowsLink();
    void stagedDiscardKeepsOldFile();
    void stagedDiskFull();
    void stagedReadOnlyFolder();
};

void TestMeasurementFile::fileLength_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("coordinates");
    QTest::addColumn<int>("count");

    const QByteArray m = marker();
    QByteArray random = RandomBytes(5000, 7);
    random[0] = 'x';
    QTest::newRow("empty") << QByteArray() << false << 0;
    QTest::newRow("1 byte") << QByteArray("G") << false << 0;
    QTest::newRow("11 marker characters") << QByteArray("GLONASS/GPS") << false << 0;
    QTest::newRow("12 bytes with marker") << m.left(12) << true << 0;
    QTest::newRow("marker only") << m << true << 0;
    QTest::newRow("47 bytes with marker") << m + RandomBytes(31, 1) << true << 0;
    QTest::newRow("48 bytes with marker") << m + RandomBytes(32, 2) << true << 1;
    QTest::newRow("3 coordinates records, 112 bytes") << m + RandomBytes(96, 3) << true << 3;
    QTest::newRow("marker bytes 12..15 not examined")
        << QByteArray("GLONASS/GPS\0abcd", 16) + RandomBytes(64, 4) << true << 2;
    QTest::newRow("marker without its terminator")
        << QByteArray("GLONASS/GPSX\0\0\0\0", 16) + RandomBytes(96, 5) << false << 4;
    QTest::newRow("lower-case marker") << QByteArray("glonass/gps\0\0\0\0\0", 16) << false << 0;
    QTest::newRow("23 bytes plain") << RandomBytes(23, 6).replace(0, 1, "x") << false << 0;
    QTest::newRow("3 plain records, 72 bytes")
        << RandomBytes(72, 8).replace(0, 1, "x") << false << 3;
    QTest::newRow("73 bytes plain, last byte ignored")
        << RandomBytes(73, 9).replace(0, 1, "x") << false << 3;
    QTest::newRow("3000 plain records")
        << RandomBytes(3000 * 24, 10).replace(0, 1, "x") << false << ArchiveCapacity;
    QTest::newRow("3000 coordinates records")
        << m + RandomBytes(3000 * 32 + 5, 11) << true << ArchiveCapacity;
    QTest::newRow("random bytes") << random << false << 5000 / 24;
}

void TestMeasurementFile::fileLength() {
    QFETCH(QByteArray, content);
    QFETCH(bool, coordinates);
    QFETCH(int, count);

    const FileLayout layout = DetectLayout(span(content));
    QCOMPARE(layout.coordinates, coordinates);
    const size_t size = coordinates ? 32 : 24;
    QCOMPARE(layout.recordSize, size);

    // A sentinel after the last slot shows that nothing is written past the capacity.
    std::vector<ArchiveRecord> archive(ArchiveCapacity + 1);
    std::memset(archive.data(), 0x5A, archive.size() * sizeof(ArchiveRecord));
    ArchiveRecord staging;
    std::memset(&staging, 0xEE, sizeof staging);
    QList<int> progress;
    const int stored = ReadRecords(span(content), layout, staging, archive.data(), ArchiveCapacity,
                                   [&](int n) { progress << n; });
    QCOMPARE(stored, count);
    QCOMPARE(progress.size(), count);
    for (int i = 0; i < count; ++i)
        QCOMPARE(progress[i], i + 1);

    const int offset = coordinates ? 16 : 0;
    for (int i = 0; i < count; ++i) {
        const QByteArray got = bytesOf(&archive[size_t(i)], 32);
        QCOMPARE(got.left(int(size)), content.mid(offset + i * int(size), int(size)));
        if (!coordinates) {
            QCOMPARE(got.mid(24, 6), QByteArray(6, 0));      // the rest of the coordinates
            QCOMPARE(got.mid(30, 2), QByteArray(2, '\xEE')); // the staging record's tail word
        }
    }
    QCOMPARE(bytesOf(&archive[size_t(count)], 32), QByteArray(32, 0x5A));
}

void TestMeasurementFile::plainFileAfterCoordinatesFile() {
    // The staging record keeps what the last coordinates record left in it; a plain file then
    // brings coordinates of 0 apart from the two bytes it reads into offsets 22..23.
    std::vector<ArchiveRecord> archive(ArchiveCapacity);
    ArchiveRecord staging{};
    const QByteArray coordinatesFile = marker() + RandomBytes(64, 20);
    ReadRecords(span(coordinatesFile), DetectLayout(span(coordinatesFile)), staging, archive.data(),
                ArchiveCapacity);
    const ArchiveRecord last = archive[1];
    QVERIFY(last.Latitude != 0 && last.Longitude != 0);

    QByteArray plainFile = RandomBytes(48, 21);
    plainFile[0] = 'x';
    plainFile[22] = '\x34';
    plainFile[23] = '\x12';
    QCOMPARE(ReadRecords(span(plainFile), DetectLayout(span(plainFile)), staging, archive.data(),
                         ArchiveCapacity),
             2);
    QCOMPARE(archive[0].Latitude, 0x1234);
    QCOMPARE(archive[0].Longitude, 0);
    QCOMPARE(archive[0].TailWord, last.TailWord);
}

void TestMeasurementFile::goldenBytes() {
    ArchiveRecord r{};
    r.RecordNo = 0x0102;
    r.Second = 3;
    r.Minute = 4;
    r.Hour = 5;
    r.Day = 6;
    r.Month = 7;
    r.Year = 20;
    r.MaterialIndex = 1;
    r.LayerThickness = 50;
    r.Density = 2300.0f;
    r.RefDensity = 2400.0f;
    r.Temperature = -1.5f;
    r.Latitude = 363410555;
    r.Longitude = -244882496;
    r.TailWord = 0xBEEF;
    const QByteArray first22 = QByteArray::fromHex("0201030405060714013200c00f45000016450000c0bf");
    QCOMPARE(toBytes(SerializeArchive(&r, 1, false)), first22 + QByteArray::fromHex("7b34"));
    QCOMPARE(toBytes(SerializeArchive(&r, 1, true)),
             QByteArray::fromHex("474c4f4e4153532f4750530000000000") + first22 +
                 QByteArray::fromHex("7b34a915c06367f1efbe"));
}

void TestMeasurementFile::roundTrip_data() {
    QTest::addColumn<bool>("coordinates");
    QTest::addColumn<int>("count");
    for (bool c : {false, true})
        for (int n : {0, 1, 3, ArchiveCapacity})
            QTest::addRow("%s, %d records", c ? "coordinates" : "plain", n) << c << n;
}

void TestMeasurementFile::roundTrip() {
    QFETCH(bool, coordinates);
    QFETCH(int, count);
    std::vector<ArchiveRecord> records = randomRecords(count, 30 + quint32(count));
    if (count) records[0].RecordNo = 1; // a plain file must not begin with the marker

    const std::vector<uint8_t> file = SerializeArchive(records.data(), count, coordinates);
    QCOMPARE(file.size(), coordinates ? 16 + 32 * size_t(count) : 24 * size_t(count));
    if (coordinates) QCOMPARE(toBytes(file).left(16), marker());

    std::vector<ArchiveRecord> back(ArchiveCapacity);
    ArchiveRecord staging{};
    QCOMPARE(ReadRecords(file, DetectLayout(file), staging, back.data(), ArchiveCapacity), count);
    for (int i = 0; i < count; ++i) {
        const QByteArray want = bytesOf(&records[size_t(i)], 32);
        const QByteArray got = bytesOf(&back[size_t(i)], 32);
        if (coordinates)
            QCOMPARE(got, want);
        else
            QCOMPARE(got.left(24), want.left(24));
    }
    // Serialising what was read gives the same file again.
    QCOMPARE(SerializeArchive(back.data(), count, coordinates), file);
}

void TestMeasurementFile::extensionRule_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved");
    QTest::newRow("no extension") << "/d/result"
                                  << "/d/result.Vyz";
    QTest::newRow("upper case kept") << "/d/result.VYZ"
                                     << "/d/result.VYZ";
    QTest::newRow("lower case kept") << "/d/result.vyz"
                                     << "/d/result.vyz";
    QTest::newRow("mixed case kept") << "/d/result.vYz"
                                     << "/d/result.vYz";
    QTest::newRow("other extension") << "/d/data.txt"
                                     << "/d/data.txt.Vyz";
    QTest::newRow("dot in the folder only") << "/d.vyz/result"
                                            << "/d.vyz/result.Vyz";
    QTest::newRow("longer extension") << "/d/a.vyzz"
                                      << "/d/a.vyzz.Vyz";
    QTest::newRow("trailing dot") << "/d/a."
                                  << "/d/a..Vyz";
    QTest::newRow("Cyrillic name") << "/d/замер"
                                   << "/d/замер.Vyz";
}

void TestMeasurementFile::extensionRule() {
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    QCOMPARE(QString::fromStdString(WithVyzExtension(typed.toStdString())), saved);
}

void TestMeasurementFile::readFromDisk() {
    QTemporaryDir dir;
    const QString path = dir.filePath("big.vyz");
    const QByteArray content = marker() + RandomBytes(200000, 40);
    QVERIFY(WriteFile(path, content));
    std::vector<uint8_t> bytes{1, 2, 3};
    QCOMPARE(ReadMeasurementFileBytes(path.toStdString(), bytes), 0);
    QCOMPARE(toBytes(bytes), content.left(int(MaxMeasurementFileBytes)));

    QVERIFY(WriteFile(path, QByteArray()));
    QCOMPARE(ReadMeasurementFileBytes(path.toStdString(), bytes), 0);
    QVERIFY(bytes.empty());
}

void TestMeasurementFile::readFailures_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("error");
    QTest::newRow("missing") << "missing" << ENOENT;
    QTest::newRow("folder") << "folder" << EISDIR;
    QTest::newRow("pipe without a writer") << "fifo" << EINVAL;
    QTest::newRow("no read permission") << "unreadable" << EACCES;
}

void TestMeasurementFile::readFailures() {
    QFETCH(QString, kind);
    QFETCH(int, error);
    QTemporaryDir dir;
    const QString path = dir.filePath("x.vyz");
    if (kind == "folder") QVERIFY(QDir().mkdir(path));
    if (kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (kind == "unreadable") {
        if (::geteuid() == 0) QSKIP("root reads every file");
        QVERIFY(WriteFile(path, marker()));
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
    }
    std::vector<uint8_t> bytes{1};
    QCOMPARE(ReadMeasurementFileBytes(path.toStdString(), bytes), error);
    QVERIFY(bytes.empty());
}

void TestMeasurementFile::stagedReplaceKeepsModeAndFollowsLink() {
    QTemporaryDir dir;
    const QString real = dir.filePath("real.Vyz");
    const QString link = dir.filePath("link.Vyz");
    QVERIFY(WriteFile(real, "old content"));
    QVERIFY(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(QFile::link(real, link));

    const QByteArray content = RandomBytes(1000, 50);
    {
        StagedFile file(link.toStdString());
        QVERIFY(file.Create());
        QVERIFY(file.Write(span(content.left(400))));
        QVERIFY(file.Write(span(content.mid(400))));
        QCOMPARE(ReadAll(real), QByteArray("old content")); // nothing replaced before Commit
        QVERIFY(file.Commit());
    }
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(ReadAll(real), content);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0640u);
    QCOMPARE(entries(dir.path()), QStringList({"link.Vyz", "real.Vyz"}));

    // A new file gets the usual permissions of a new file.
    const QString fresh = dir.filePath("new.Vyz");
    StagedFile file(fresh.toStdString());
    QVERIFY(file.Write(span(content)));
    QVERIFY(file.Commit());
    QCOMPARE(ReadAll(fresh), content);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    QCOMPARE(::stat(QFile::encodeName(fresh).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0666u & ~mask);
}

void TestMeasurementFile::stagedDiscardKeepsOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("a.Vyz");
    QVERIFY(WriteFile(path, "old"));
    {
        StagedFile file(path.toStdString());
        QVERIFY(file.Create());
        QVERIFY(file.Write(span(QByteArray("new content"))));
        QCOMPARE(entries(dir.path()).size(), 2);
    }
    QCOMPARE(ReadAll(path), QByteArray("old"));
    QCOMPARE(entries(dir.path()), QStringList({"a.Vyz"}));

    // A folder of that name is not replaced.
    const QString folder = dir.filePath("b.Vyz");
    QVERIFY(QDir().mkdir(folder));
    StagedFile file(folder.toStdString());
    QVERIFY(!file.Create());
    QCOMPARE(file.Error(), EISDIR);
}

void TestMeasurementFile::stagedDiskFull() {
    TmpfsMount disk(64 * 1024);
    if (!disk.Mounted()) QSKIP("mounting a tmpfs needs root");
    const QString path = disk.Path() + "/a.Vyz";
    const QString filler = disk.Path() + "/filler";
    const QByteArray old = RandomBytes(1000, 60);
    QVERIFY(WriteFile(path, old));
    QVERIFY(WriteFile(filler, QByteArray(32 * 1024, 'f')));

    const QByteArray content = RandomBytes(40 * 1024, 61);
    {
        StagedFile file(path.toStdString());
        QVERIFY(file.Write(span(content.left(100))));
        QVERIFY(!file.Write(span(content.mid(100))));
        QCOMPARE(file.Error(), ENOSPC);
    }
    QCOMPARE(ReadAll(path), old);
    QCOMPARE(entries(disk.Path()), QStringList({"a.Vyz", "filler"}));

    // Writing the failed piece again once there is room gives exactly the content.
    StagedFile file(path.toStdString());
    QVERIFY(file.Write(span(content.left(100))));
    QVERIFY(!file.Write(span(content.mid(100))));
    QVERIFY(QFile::remove(filler));
    QVERIFY(file.Write(span(content.mid(100))));
    QVERIFY(file.Commit());
    QCOMPARE(ReadAll(path), content);
    QCOMPARE(entries(disk.Path()), QStringList({"a.Vyz"}));
}

void TestMeasurementFile::stagedReadOnlyFolder() {
    TmpfsMount disk(64 * 1024);
    if (!disk.Mounted()) QSKIP("mounting a tmpfs needs root");
    const QString path = disk.Path() + "/a.Vyz";
    QVERIFY(WriteFile(path, "old"));
    QVERIFY(disk.MakeReadOnly());
    StagedFile file(path.toStdString());
    QVERIFY(!file.Create());
    QCOMPARE(file.Error(), EROFS);
    QVERIFY(!file.Write(span(QByteArray("x"))));
    QVERIFY(!file.Commit());
    QCOMPARE(ReadAll(path), QByteArray("old"));
}

QTEST_GUILESS_MAIN(TestMeasurementFile)
#include "test_measurement_file.moc"
