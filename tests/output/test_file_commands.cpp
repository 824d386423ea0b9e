// The Open and Save commands on the real main window: the real file dialogs and message boxes,
// answered by the test as an operator would, against real files (and a real full or read-only
// tmpfs for the failures, which stop root too).
#include "data/archive_record.h"
#include "data/text_pair.h"
#include "output/measurement_file.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "shell/main_window.h"
#include "support/modal_script.h"
#include "support/test_files.h"
#include "tmpfs_mount.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace vyz;
using namespace testsupport;

namespace {

// Records that make a plain file (no marker at the start) with months the table shows as stored.
QByteArray recordBytes(int count, quint32 seed) {
    QByteArray out = RandomBytes(count * 32, seed);
    for (int i = 0; i < count; ++i) {
        out[i * 32] = char(i);
        out[i * 32 + 1] = 0;
        out[i * 32 + 6] = char(1 + i % 12);
    }
    return out;
}

QByteArray archiveBytes(int count) {
    return QByteArray(reinterpret_cast<const char*>(MeasurementArchive), count * 32);
}

void setArchive(const QByteArray& records, bool coordinates) {
    Form1->SetGPSMode(coordinates);
    std::memcpy(MeasurementArchive, records.constData(), size_t(records.size()));
    RecordCount = int(records.size() / 32);
}

// Showing a record repairs a month above 12 to 1 in the archive; compare with that applied.
QByteArray monthsAsShown(QByteArray records) {
    for (int i = 6; i < records.size(); i += 32)
        if (uchar(records[i]) > 12) records[i] = 1;
    return records;
}

// The archive records a file holds, as the file format defines them (independent of the reader).
QByteArray expectedRecords(const QByteArray& file, bool coordinates, int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        if (coordinates)
            out += file.mid(16 + i * 32, 32);
        else
            out += file.mid(i * 24, 24) + QByteArray(6, 0) + QByteArray(2, '\x77');
    }
    return out;
}

QString fileEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name).join(',');
}

} // namespace

class TestFileCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void open_data();
    void open();
    void openCancelKeepsArchive();
    void openFailure_data();
    void openFailure();
    void openFailureRetryShowsDialogAgain();
    void commandLineFileRetry();
    void saveEmptyArchiveDoesNothing();
    void save_data();
    void save();
    void saveAndOpenAgain_data();
    void saveAndOpenAgain();
    void overwrite_data();
    void overwrite();
    void createFailure_data();
    void createFailure();
    void writeFailure_data();
    void writeFailure();
    void dialogsStartInFolderLastUsed();

private:
    QString dir() const { return QString::fromStdString(ProgramDir()); }
    QTemporaryDir programDir_;
    TForm1* form_ = nullptr;
};

void TestFileCommands::initTestCase() {
    QVERIFY(programDir_.isValid());
    InitProgramPaths(programDir_.path().toStdString());
    form_ = new TForm1;
    form_->show();
}

void TestFileCommands::init() {
    LangIndex = 1;
    IniWrite("Config", "FileFolder", dir().toStdString()); // the dialogs start in dir()
    std::memset(&StagingRecord, 0x77, sizeof StagingRecord);
}

void TestFileCommands::open_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("coordinates");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("lang");

    const QByteArray m(reinterpret_cast<const char*>(CoordinatesMarker), 16);
    const QByteArray records = recordBytes(3000, 1);
    QByteArray plain;
    for (int i = 0; i < 3000; ++i)
        plain += records.mid(i * 32, 24);
    QTest::newRow("coordinates, 3 records, 112 bytes") << m + records.left(96) << true << 3 << 1;
    QTest::newRow("Russian") << m + records.left(96) << true << 3 << 0;
    QTest::newRow("plain, 73 bytes") << plain.left(73) << false << 3 << 1;
    QTest::newRow("empty") << QByteArray() << false << 0 << 1;
    QTest::newRow("1 byte") << QByteArray("\x01") << false << 0 << 1;
    QTest::newRow("marker only") << m << true << 0 << 1;
    QTest::newRow("47 bytes with marker") << m + records.left(31) << true << 0 << 1;
    QTest::newRow("3000 plain records") << plain << false << ArchiveCapacity << 1;
    QTest::newRow("3000 coordinates records") << m + records << true << ArchiveCapacity << 1;
    QTest::newRow("random bytes") << "x" + RandomBytes(9999, 2) << false << 10000 / 24 << 1;
}

void TestFileCommands::open() {
    QFETCH(QByteArray, content);
    QFETCH(bool, coordinates);
    QFETCH(int, count);
    QFETCH(int, lang);
    LangIndex = int8_t(lang);
    setArchive(recordBytes(5, 3), !coordinates);
    const QString path = dir() + "/measured.vyz";
    QVERIFY(WriteFile(path, content));

    ModalScript script({choose(path)});
    form_->AOpenExecute();
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.seen.size(), 1);
    const Seen& dialog = script.seen[0];
    QCOMPARE(dialog.kind, "dialog");
    QCOMPARE(dialog.save, false);
    QCOMPARE(dialog.directory, dir());
    if (lang == 0) {
        QCOMPARE(dialog.title, "Открыть файл...");
        QCOMPARE(dialog.filters, QStringList({"Файлы VYZ-1 (*.vyz)", "Все файлы (*)"}));
    } else {
        QCOMPARE(dialog.title, "File Open...");
        QCOMPARE(dialog.filters, QStringList({"VYZ-1 files (*.vyz)", "All files (*)"}));
    }

    QCOMPARE(RecordCount.load(), count);
    QCOMPARE(GPSModeFlag.load(), coordinates);
    QCOMPARE(monthsAsShown(archiveBytes(count)),
             monthsAsShown(expectedRecords(content, coordinates, count)));
    QCOMPARE(statusText(),
             QString(lang == 0 ? "Считано с диска записей: %1" : "Readed records from disk: %1")
                 .arg(count));
}

void TestFileCommands::openCancelKeepsArchive() {
    const QByteArray before = recordBytes(4, 4);
    setArchive(before, true);
    form_->SetStatusBarGeneral("unchanged");
    ModalScript script({cancelDialog()});
    form_->AOpenExecute();
    QCOMPARE(script.seen.size(), 1);
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(RecordCount.load(), 4);
    QCOMPARE(GPSModeFlag.load(), true);
    QCOMPARE(archiveBytes(4), before);
    QCOMPARE(statusText(), "unchanged");
}

void TestFileCommands::openFailure_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("lang");
    QTest::newRow("vanished after the dialog") << "vanished" << 1;
    QTest::newRow("vanished, Russian") << "vanished" << 0;
    QTest::newRow("folder") << "folder" << 1;
    QTest::newRow("pipe") << "fifo" << 1;
    QTest::newRow("no read permission") << "unreadable" << 1;
}

void TestFileCommands::openFailure() {
    QFETCH(QString, kind);
    QFETCH(int, lang);
    LangIndex = int8_t(lang);
    const QByteArray before = recordBytes(4, 5);
    setArchive(before, true);
    QTemporaryDir temp;
    const QString path = temp.filePath("x.vyz");

    QList<ModalScript::Step> steps;
    if (kind == "vanished") {
        QVERIFY(WriteFile(path, recordBytes(3, 6)));
        steps << choose(path, [path] { QFile::remove(path); });
    }
    if (kind == "folder") QVERIFY(QDir().mkdir(path));
    if (kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (kind == "unreadable") {
        if (::geteuid() == 0) QSKIP("root reads every file");
        QVERIFY(WriteFile(path, recordBytes(3, 6)));
        QVERIFY(QFile::setPermissions(path, QFile::WriteOwner));
    }
    steps << press(QMessageBox::Cancel);
    ModalScript script(steps);
    if (kind == "vanished")
        form_->AOpenExecute();
    else
        form_->OpenMeasurementFile(path);
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.left(), 0);
    QVERIFY(!script.seen.isEmpty());
    const Seen& box = script.seen.last();
    QCOMPARE(box.kind, "box");
    const QString quoted = '"' + path + '"';
    QCOMPARE(box.title, lang == 0 ? "Ошибка чтения файла" : "Error reading file");
    QCOMPARE(box.text, (lang == 0 ? "Не могу открыть файл " : "Can not open file ") + quoted);
    QCOMPARE(box.status, (lang == 0 ? "Ошибка открытия файла " : "Error opening file ") + quoted);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::Retry | QMessageBox::Cancel);
    QCOMPARE(box.defaultButton, QMessageBox::Retry);
    QCOMPARE(RecordCount.load(), 4);
    QCOMPARE(GPSModeFlag.load(), true);
    QCOMPARE(archiveBytes(4), before);
}

void TestFileCommands::openFailureRetryShowsDialogAgain() {
    const QString path = dir() + "/later.vyz";
    const QByteArray content = recordBytes(2, 7).left(48);
    QVERIFY(WriteFile(path, content));
    // The file is gone when it is read and back before Retry is pressed.
    ModalScript script({choose(path, [path] { QFile::remove(path); }),
                        press(QMessageBox::Retry, [&] { WriteFile(path, content); }),
                        choose(path)});
    form_->AOpenExecute();
    QStringList kinds;
    for (const Seen& s : script.seen)
        kinds << s.kind;
    QCOMPARE(kinds, QStringList({"dialog", "box", "dialog"}));
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(RecordCount.load(), 2);
    QCOMPARE(GPSModeFlag.load(), false);
}

void TestFileCommands::commandLineFileRetry() {
    // Without a dialog, Retry opens the same name again.
    QTemporaryDir temp;
    const QString path = temp.filePath("x.vyz");
    const QByteArray content = recordBytes(1, 8).left(24);
    ModalScript script(
        {press(QMessageBox::Retry), press(QMessageBox::Retry, [&] { WriteFile(path, content); })});
    form_->OpenMeasurementFile(path);
    QCOMPARE(script.seen.size(), 2);
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(RecordCount.load(), 1);
    QCOMPARE(archiveBytes(1).left(24), content);
}

void TestFileCommands::saveEmptyArchiveDoesNothing() {
    RecordCount = 0;
    form_->SetStatusBarGeneral("unchanged");
    const QString before = fileEntries(dir());
    ModalScript script;
    form_->ASaveExecute();
    QCOMPARE(script.seen.size(), 0);
    QCOMPARE(statusText(), "unchanged");
    QCOMPARE(fileEntries(dir()), before);
}

void TestFileCommands::save_data() {
    QTest::addColumn<bool>("coordinates");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<int>("lang");
    QTest::newRow("coordinates, no extension") << true << 3 << "result"
                                               << "result.Vyz" << 1;
    QTest::newRow("plain, no extension") << false << 3 << "result"
                                         << "result.Vyz" << 1;
    QTest::newRow("upper-case extension kept") << true << 1 << "r.VYZ"
                                               << "r.VYZ" << 1;
    QTest::newRow("other extension") << false << 2 << "data.txt"
                                     << "data.txt.Vyz" << 1;
    QTest::newRow("full archive, coordinates") << true << ArchiveCapacity << "f"
                                               << "f.Vyz" << 1;
    QTest::newRow("full archive, plain") << false << ArchiveCapacity << "f"
                                         << "f.Vyz" << 1;
    QTest::newRow("Russian") << false << 2 << "замер"
                             << "замер.Vyz" << 0;
}

void TestFileCommands::save() {
    QFETCH(bool, coordinates);
    QFETCH(int, count);
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    QFETCH(int, lang);
    LangIndex = int8_t(lang);
    QTemporaryDir target;
    const QByteArray records = recordBytes(count, 9);
    setArchive(records, coordinates);

    ModalScript script({choose(target.filePath(typed))});
    form_->ASaveExecute();
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.seen.size(), 1);
    const Seen& dialog = script.seen[0];
    QCOMPARE(dialog.title, lang == 0 ? "Сохранить файл..." : "File Save...");
    QCOMPARE(dialog.filters.size(), 2);
    QVERIFY(dialog.save);
    QVERIFY(dialog.confirmsOverwrite);
    QCOMPARE(dialog.directory, dir());
    QCOMPARE(dialog.text, dir() + "/Default.Vyz");

    QByteArray expected;
    if (coordinates)
        expected = QByteArray("GLONASS/GPS\0\0\0\0\0", 16) + records;
    else
        for (int i = 0; i < count; ++i)
            expected += records.mid(i * 32, 24);
    QCOMPARE(ReadAll(target.filePath(saved)), expected);
    QCOMPARE(fileEntries(target.path()), saved);
    QCOMPARE(statusText(),
             QString(lang == 0 ? "Сохранено на диск записей: %1" : "Saved to disk records: %1")
                 .arg(count));
    QCOMPARE(archiveBytes(count), records); // saving never changes the archive
    QCOMPARE(RecordCount.load(), count);
}

void TestFileCommands::saveAndOpenAgain_data() {
    QTest::addColumn<bool>("coordinates");
    QTest::newRow("plain") << false;
    QTest::newRow("coordinates") << true;
}

void TestFileCommands::saveAndOpenAgain() {
    QFETCH(bool, coordinates);
    QTemporaryDir target;
    const QString path = target.filePath("trip.Vyz");
    const QByteArray records = recordBytes(50, 10);
    setArchive(records, coordinates);
    {
        ModalScript script({choose(path)});
        form_->ASaveExecute();
    }
    setArchive(recordBytes(7, 11), !coordinates);
    ModalScript script({choose(path)});
    form_->AOpenExecute();
    QCOMPARE(RecordCount.load(), 50);
    QCOMPARE(GPSModeFlag.load(), coordinates);
    for (int i = 0; i < 50; ++i) {
        const QByteArray got = archiveBytes(50).mid(i * 32, 32);
        QCOMPARE(got.left(coordinates ? 32 : 24), records.mid(i * 32, coordinates ? 32 : 24));
    }
}

void TestFileCommands::overwrite_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("Yes") << "result" << int(QMessageBox::Yes) << true;
    QTest::newRow("No shows the dialog again") << "result" << int(QMessageBox::No) << false;
    QTest::newRow("Cancel") << "result" << int(QMessageBox::Cancel) << false;
    QTest::newRow("exact name: the dialog asks first")
        << "result.Vyz" << int(QMessageBox::Yes) << true;
}

void TestFileCommands::overwrite() {
    QFETCH(QString, typed);
    QFETCH(int, answer);
    QFETCH(bool, replaced);
    QTemporaryDir target;
    const QString path = target.filePath("result.Vyz");
    QVERIFY(WriteFile(path, "old content"));
    const QByteArray records = recordBytes(2, 12);
    setArchive(records, true);
    form_->setWindowTitle("VYZ. Pavement quality tester");

    QList<ModalScript::Step> steps{choose(target.filePath(typed))};
    if (typed.endsWith(".Vyz")) steps << press(QMessageBox::Yes); // the dialog's own question
    steps << press(QMessageBox::StandardButton(answer));
    if (answer == QMessageBox::No) steps << cancelDialog();
    ModalScript script(steps);
    form_->ASaveExecute();
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.left(), 0);

    const int ours = typed.endsWith(".Vyz") ? 2 : 1;
    const Seen& box = script.seen[ours];
    QCOMPARE(box.kind, "box");
    QCOMPARE(box.text, "File exists. Overwrite?");
    QCOMPARE(box.status, "File exists. Overwrite?");
    QCOMPARE(box.title, "VYZ. Pavement quality tester");
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    if (answer == QMessageBox::No) {
        // The dialog shows again with the name that was used.
        QCOMPARE(script.seen.last().kind, "dialog");
        QCOMPARE(script.seen.last().text, path);
    }
    QCOMPARE(ReadAll(path),
             replaced ? QByteArray("GLONASS/GPS\0\0\0\0\0", 16) + records : "old content");
    QCOMPARE(fileEntries(target.path()), "result.Vyz");
}

void TestFileCommands::createFailure_data() {
    QTest::addColumn<int>("answer");
    QTest::newRow("Abort") << int(QMessageBox::Abort);
    QTest::newRow("Retry shows the dialog again") << int(QMessageBox::Retry);
    QTest::newRow("Ignore goes on to the writes") << int(QMessageBox::Ignore);
}

void TestFileCommands::createFailure() {
    QFETCH(int, answer);
    TmpfsMount disk(64 * 1024);
    if (!disk.Mounted()) QSKIP("mounting a tmpfs needs root");
    const QString path = disk.Path() + "/a.Vyz";
    QVERIFY(WriteFile(path, "old content"));
    QVERIFY(disk.MakeReadOnly());
    setArchive(recordBytes(3, 13), false);

    QList<ModalScript::Step> steps{choose(disk.Path() + "/a"), press(QMessageBox::Yes),
                                   press(QMessageBox::StandardButton(answer))};
    if (answer == QMessageBox::Retry) steps << cancelDialog();
    if (answer == QMessageBox::Ignore) steps << press(QMessageBox::Abort);
    ModalScript script(steps);
    form_->ASaveExecute();
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.left(), 0);

    const Seen& box = script.seen[2];
    const QString text = "Can not create file. Perhaps there is no room on the disk";
    QCOMPARE(box.text, text);
    QCOMPARE(box.status, text);
    QCOMPARE(box.title, "Error writing to disk");
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
    QCOMPARE(box.defaultButton, QMessageBox::Retry);
    if (answer == QMessageBox::Retry) QCOMPARE(script.seen[3].kind, "dialog");
    if (answer == QMessageBox::Ignore)
        QCOMPARE(script.seen[3].text, "Unable to write file. Perhaps there is no room on the disk");
    QCOMPARE(ReadAll(path), QByteArray("old content"));
    QVERIFY(!statusText().startsWith("Saved"));
}

void TestFileCommands::writeFailure_data() {
    QTest::addColumn<bool>("coordinates");
    QTest::addColumn<int>("answer");
    for (bool c : {false, true}) {
        const char* layout = c ? "coordinates" : "plain";
        QTest::addRow("%s, Abort", layout) << c << int(QMessageBox::Abort);
        QTest::addRow("%s, Ignore", layout) << c << int(QMessageBox::Ignore);
        QTest::addRow("%s, Retry after making room", layout) << c << int(QMessageBox::Retry);
    }
}

void TestFileCommands::writeFailure() {
    QFETCH(bool, coordinates);
    QFETCH(int, answer);
    TmpfsMount disk(128 * 1024);
    if (!disk.Mounted()) QSKIP("mounting a tmpfs needs root");
    const QString path = disk.Path() + "/a.Vyz";
    const QString filler = disk.Path() + "/filler";
    QVERIFY(WriteFile(path, "old content"));
    QVERIFY(WriteFile(filler, QByteArray(112 * 1024, 'f')));
    const QByteArray records = recordBytes(ArchiveCapacity, 14);
    setArchive(records, coordinates);

    ModalScript script({choose(disk.Path() + "/a"), press(QMessageBox::Yes),
                        press(QMessageBox::StandardButton(answer), [filler] {
                            QFile::remove(
                                filler); // the room is there for every answer; only Retry uses it
                        })});
    form_->ASaveExecute();
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.left(), 0);
    const Seen& box = script.seen[2];
    const QString text = "Unable to write file. Perhaps there is no room on the disk";
    QCOMPARE(box.text, text);
    QCOMPARE(box.status, text);
    QCOMPARE(box.title, "Error writing to disk");
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
    QCOMPARE(box.defaultButton, QMessageBox::Retry);

    if (answer == QMessageBox::Retry) {
        QByteArray expected;
        if (coordinates)
            expected = QByteArray("GLONASS/GPS\0\0\0\0\0", 16) + records;
        else
            for (int i = 0; i < ArchiveCapacity; ++i)
                expected += records.mid(i * 32, 24);
        QCOMPARE(ReadAll(path), expected);
        QCOMPARE(statusText(), QString("Saved to disk records: %1").arg(ArchiveCapacity));
    } else {
        // The file that was there is kept whole, and no success is reported.
        QCOMPARE(ReadAll(path), QByteArray("old content"));
        QCOMPARE(statusText(), text);
    }
    QCOMPARE(fileEntries(disk.Path()), "a.Vyz");
}

// The dialogs start in the folder last chosen in either of them, kept in the settings file; with
// none (or one that is gone) in the documents folder, and without that in the home folder.
void TestFileCommands::dialogsStartInFolderLastUsed() {
    QTemporaryDir home, opened, saved;
    const QString documents = home.filePath("Documents");
    QVERIFY(QDir().mkdir(documents));
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(".config")));
    IniWrite("Config", "FileFolder", "");
    const QString file = opened.filePath("measured.vyz");
    QVERIFY(WriteFile(file, recordBytes(2, 20).left(48)));

    QStringList started; // the folder each dialog started in
    auto run = [&](bool save, ModalScript::Step step) {
        ModalScript script({step});
        save ? form_->ASaveExecute() : form_->AOpenExecute();
        QCOMPARE(script.seen.size(), 1);
        started << script.seen[0].directory;
        if (save) QCOMPARE(script.seen[0].text, script.seen[0].directory + "/Default.Vyz");
    };
    run(false, choose(file));                    // nothing stored: the documents folder
    run(true, choose(saved.filePath("result"))); // where the file was opened
    run(false, cancelDialog());                  // where it was saved
    run(false, cancelDialog());                  // a cancelled dialog changes nothing
    QVERIFY(QDir(saved.path()).removeRecursively());
    run(false, cancelDialog()); // the stored folder is gone: documents again
    QVERIFY(QDir(documents).removeRecursively());
    run(false, cancelDialog()); // no documents folder: home
    qputenv("HOME", oldHome);
    oldConfig.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", oldConfig);

    QCOMPARE(started, QStringList({documents, opened.path(), saved.path(), saved.path(), documents,
                                   home.path()}));
    QCOMPARE(QString::fromStdString(IniRead("Config", "FileFolder", std::nullopt, 4097)),
             saved.path());
}

QTEST_MAIN(TestFileCommands)
#include "test_file_commands.moc"
