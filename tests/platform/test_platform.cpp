// The settings file, the named events and the USB log against real files.
#include "platform/events.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/usb_log.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace vyz;
using namespace testsupport;

namespace {} // namespace

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void readSemantics_data();
    void readSemantics();
    void writeKeepsTheRestOfTheFile_data();
    void writeKeepsTheRestOfTheFile();
    void writeToUnwritableFolderFailsAndKeepsFile();
    void writeNeverLosesSettings_data();
    void writeNeverLosesSettings();
    void writeAsUnprivilegedUser();
    void writeThroughSymbolicLink_data();
    void writeThroughSymbolicLink();
    void writeKeepsOwnerOfUsersFile();
    void writeOfTheValueHeldLeavesTheFile();
    void programPaths_data();
    void programPaths();
    void parseInt_data();
    void parseInt();
    void autoResetEvent();
    void eventSuffixPerRunningCopy();
    void usbLogFormats();
    void usbLogOffWritesNothing();
    void usbLogNewDayAfterMidnightOfTheStartDay();
};

void TestPlatform::readSemantics_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("hasDefault");
    QTest::addColumn<QString>("def");
    QTest::addColumn<int>("buffer");
    QTest::addColumn<QString>("expected");

    const QByteArray base = "[Config]\nLangId=Rus\nUses=12\nEmpty=\nQuoted=\"  a b \"\n"
                            "Long=1234567890123\nSpaced =  v w  \nCyr=абвгдеёжзий\n"
                            "[Other]\nLangId=Eng\n";
    QTest::newRow("present") << base << "LangId" << false << "" << 10 << "Rus";
    QTest::newRow("key case ignored") << base << "langid" << false << "" << 10 << "Rus";
    QTest::newRow("missing, no default") << base << "Nope" << false << "" << 10 << "";
    QTest::newRow("missing, default") << base << "Nope" << true << "0" << 10 << "0";
    QTest::newRow("empty value is empty, not default")
        << base << "Empty" << true << "Y" << 10 << "";
    QTest::newRow("quotes removed") << base << "Quoted" << false << "" << 10 << "  a b ";
    QTest::newRow("cut to 9 characters") << base << "Long" << false << "" << 10 << "123456789";
    QTest::newRow("20-character buffer") << base << "Long" << false << "" << 20 << "1234567890123";
    QTest::newRow("blanks around key and value") << base << "Spaced" << false << "" << 10 << "v w";
    QTest::newRow("characters, not bytes") << base << "Cyr" << false << "" << 10 << "абвгдеёжз";
    QTest::newRow("CRLF file") << QByteArray("[Config]\r\nUses=7\r\n") << "Uses" << true << "0"
                               << 10 << "7";
    QTest::newRow("no file") << QByteArray() << "Uses" << true << "0" << 10 << "0";
}

void TestPlatform::readSemantics() {
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(bool, hasDefault);
    QFETCH(QString, def);
    QFETCH(int, buffer);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString file = dir.filePath("Vyz.ini");
    if (!content.isEmpty()) WriteFile(file, content);
    const std::optional<std::string> d =
        hasDefault ? std::optional(def.toStdString()) : std::nullopt;
    const std::string got =
        GetPrivateProfileString("Config", key.toStdString(), d, buffer, file.toStdString());
    QCOMPARE(QString::fromStdString(got), expected);
}

void TestPlatform::writeKeepsTheRestOfTheFile_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("new file") << QByteArray() << "Config"
                              << "Uses" << QByteArray("[Config]\nUses=V\n");
    QTest::newRow("replace value, keep comments")
        << QByteArray("; note\n[Config]\nUses=1\n; keep\n[FormMain]\nTop=3\n") << "Config"
        << "uses" << QByteArray("; note\n[Config]\nuses=V\n; keep\n[FormMain]\nTop=3\n");
    QTest::newRow("new key after the section's last line")
        << QByteArray("[Config]\nA=1\n\n[FormMain]\nTop=3\n") << "Config"
        << "B" << QByteArray("[Config]\nA=1\nB=V\n\n[FormMain]\nTop=3\n");
    QTest::newRow("new section at the end, CRLF kept")
        << QByteArray("[Config]\r\nA=1\r\n") << "Debug"
        << "LogUSB" << QByteArray("[Config]\r\nA=1\r\n[Debug]\r\nLogUSB=V\r\n");
    QTest::newRow("file without final line end") << QByteArray("[Config]\nA=1") << "Config"
                                                 << "B" << QByteArray("[Config]\nA=1\nB=V\n");
}

void TestPlatform::writeKeepsTheRestOfTheFile() {
    QFETCH(QByteArray, before);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QByteArray, after);
    QTemporaryDir dir;
    const QString file = dir.filePath("Vyz.ini");
    if (!before.isEmpty()) WriteFile(file, before);
    QVERIFY(WritePrivateProfileString(section.toStdString(), key.toStdString(), "V",
                                      file.toStdString()));
    QCOMPARE(ReadAll(file), after);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary left
}

void TestPlatform::writeToUnwritableFolderFailsAndKeepsFile() {
    if (::geteuid() == 0) QSKIP("root writes into read-only folders");
    QTemporaryDir dir;
    const QString file = dir.filePath("Vyz.ini");
    QVERIFY(WriteFile(file, "[Config]\nUses=1\n"));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    QVERIFY(!WritePrivateProfileString("Config", "Uses", "2", file.toStdString()));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(ReadAll(file), QByteArray("[Config]\nUses=1\n"));
}

// A settings file that exists but cannot be read or is read-only stays exactly as it is, and the
// write reports failure; the folder itself is writable for everybody, so only the file's own
// rights stop the write.
void TestPlatform::writeNeverLosesSettings_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("unreadable") << 0000;
    QTest::newRow("read-only") << 0444;
    QTest::newRow("write-only (read fails)") << 0200;
}

void TestPlatform::writeNeverLosesSettings() {
    QFETCH(int, mode);
    if (::geteuid() == 0 && mode != 0444)
        QSKIP("root reads any file: run as an unprivileged user by writeAsUnprivilegedUser");
    QTemporaryDir dir;
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    const QString file = dir.filePath("Vyz.ini");
    const QByteArray before = "[Config]\nLangId=Eng\nUses=7\n[FormMain]\nWidth=900\n";
    QVERIFY(WriteFile(file, before));
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), mode_t(mode)), 0);
    QVERIFY(!WritePrivateProfileString("Config", "Uses", "8", file.toStdString()));
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0644), 0);
    QCOMPARE(ReadAll(file), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"Vyz.ini"}));
}

// Root passes every access check, so the rights that matter to an operator are checked by running
// the same tests as an unprivileged user.
void TestPlatform::writeAsUnprivilegedUser() {
    if (::geteuid() != 0) QSKIP("already unprivileged: the tests above ran as this user");
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (setpriv.isEmpty()) QSKIP("setpriv (util-linux) is not installed");
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups",
                          QCoreApplication::applicationFilePath(), "writeNeverLosesSettings",
                          "writeToUnwritableFolderFailsAndKeepsFile"});
    QVERIFY(child.waitForFinished(30000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             qPrintable(output));
    QVERIFY2(output.contains("Totals: 6 passed, 0 failed, 0 skipped"), qPrintable(output));
}

// The link stays a link (same text), the file it names gets the new content by a rename (a new
// inode), the other keys are kept, and nothing is left beside either.
void TestPlatform::writeThroughSymbolicLink_data() {
    QTest::addColumn<QString>("linkText"); // relative to the link's folder unless absolute
    QTest::addColumn<bool>("targetExists");
    QTest::newRow("relative link") << "../real/Vyz.ini" << true;
    QTest::newRow("absolute link") << "@/real/Vyz.ini" << true;
    QTest::newRow("link to a missing file") << "../real/Vyz.ini" << false;
    QTest::newRow("chain of links") << "second.ini" << true;
}

void TestPlatform::writeThroughSymbolicLink() {
    QFETCH(QString, linkText);
    QFETCH(bool, targetExists);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("real") && QDir(dir.path()).mkpath("prog"));
    const QString real = dir.filePath("real/Vyz.ini");
    const QString link = dir.filePath("prog/Vyz.ini");
    linkText.replace("@", dir.path());
    const QByteArray before = "[Config]\nLangId=Eng\nUses=7\n";
    if (targetExists) WriteFile(real, before);
    if (linkText == "second.ini")
        QCOMPARE(::symlink("../real/Vyz.ini", QFile::encodeName(dir.filePath("prog/second.ini"))),
                 0);
    QCOMPARE(
        ::symlink(QFile::encodeName(linkText).constData(), QFile::encodeName(link).constData()), 0);
    struct stat old {};
    ::stat(QFile::encodeName(real).constData(), &old);

    QVERIFY(WritePrivateProfileString("Config", "Uses", "8", link.toStdString()));
    char text[512] = {};
    QVERIFY(::readlink(QFile::encodeName(link).constData(), text, sizeof text - 1) > 0);
    QCOMPARE(QString::fromLocal8Bit(text), linkText);
    QCOMPARE(ReadAll(real), targetExists ? QByteArray("[Config]\nLangId=Eng\nUses=8\n")
                                         : QByteArray("[Config]\nUses=8\n"));
    struct stat now {};
    QCOMPARE(::stat(QFile::encodeName(real).constData(), &now), 0);
    if (targetExists) QVERIFY(now.st_ino != old.st_ino); // replaced whole, not rewritten in place
    QCOMPARE(QDir(dir.filePath("real")).entryList(QDir::Files | QDir::Hidden),
             QStringList({"Vyz.ini"}));
    QCOMPARE(QDir(dir.filePath("prog")).entryList(QDir::System | QDir::Files | QDir::Hidden).size(),
             linkText == "second.ini" ? 2 : 1);
}

// Root rewriting a user's settings file (sudo in a portable folder) leaves it the user's.
void TestPlatform::writeKeepsOwnerOfUsersFile() {
    if (::geteuid() != 0) QSKIP("only root can give a file to another user");
    QTemporaryDir dir;
    const QString file = dir.filePath("Vyz.ini");
    QVERIFY(WriteFile(file, "[Config]\nUses=7\n"));
    QCOMPARE(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);
    QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0600), 0);
    QVERIFY(WritePrivateProfileString("Config", "Uses", "8", file.toStdString()));
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &st), 0);
    QCOMPARE(st.st_uid, uid_t(65534));
    QCOMPARE(st.st_gid, gid_t(65534));
    QCOMPARE(st.st_mode & 07777, mode_t(0600));
    QCOMPARE(ReadAll(file), QByteArray("[Config]\nUses=8\n"));
}

// Where the settings, the log and the picture go, for a program in `folder`. "@" stands for a
// writable temporary folder; the system folders are only named, never written.
// Confirming a value the key holds changes nothing on disk (the same file, not a copy of it).
void TestPlatform::writeOfTheValueHeldLeavesTheFile() {
    QTemporaryDir dir;
    const QString file = dir.filePath("Vyz.ini");
    QVERIFY(WriteFile(file, "[Config]\r\nLangId=Eng\r\nUses=7\r\n"));
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &before), 0);
    QVERIFY(WritePrivateProfileString("Config", "LangId", "Eng", file.toStdString()));
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(file).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QVERIFY(WritePrivateProfileString("Config", "LangId", "Rus", file.toStdString()));
    QCOMPARE(ReadAll(file), QByteArray("[Config]\r\nLangId=Rus\r\nUses=7\r\n"));
}

void TestPlatform::programPaths_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("beside");
    QTest::newRow("installed in /usr/bin") << "/usr/bin" << false;
    QTest::newRow("installed in /usr/local/bin") << "/usr/local/bin" << false;
    QTest::newRow("installed in /opt") << "/opt/vyz/bin" << false;
    QTest::newRow("the prefix itself") << "/usr" << false;
    QTest::newRow("portable copy") << "@/Vyz" << true;
    QTest::newRow("portable copy in a folder named usr") << "@/usr/bin" << true;
    QTest::newRow("a name that only begins like a prefix") << "@/optics" << true;
    QTest::newRow("portable copy, trailing slash") << "@/Vyz/" << true;
}

void TestPlatform::programPaths() {
    QFETCH(QString, folder);
    QFETCH(bool, beside);
    QTemporaryDir tmp, config, data;
    if (folder.startsWith('@')) {
        folder.replace("@", tmp.path());
        QVERIFY(QDir().mkpath(folder));
    }
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    InitProgramPaths(folder.toStdString());
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_DATA_HOME");
    const QString program = QDir::cleanPath(folder);
    const QString iniFolder = beside ? program : config.filePath("vyz");
    const QString dataFolder = beside ? program : data.filePath("vyz");
    QCOMPARE(QString::fromStdString(ProgramDir()), program);
    QCOMPARE(QString::fromStdString(IniFileName()), iniFolder + "/Vyz.ini");
    QCOMPARE(QString::fromStdString(LogFileName()), dataFolder + "/LogUSB.log");
    QCOMPARE(QString::fromStdString(ScreenshotFileName()), dataFolder + "/Screenshot.bmp");
    QVERIFY(QFileInfo(iniFolder).isDir() && QFileInfo(dataFolder).isDir());
    if (!beside) QVERIFY(!QFileInfo::exists(program + "/Vyz.ini"));
}

void TestPlatform::parseInt_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("ok");
    QTest::newRow("plain") << "482" << 482 << true;
    QTest::newRow("negative") << "-5" << -5 << true;
    QTest::newRow("empty") << "" << 0 << false;
    QTest::newRow("word") << "abc" << 0 << false;
    QTest::newRow("trailing junk") << "12a" << 0 << false;
    QTest::newRow("blank") << " 12" << 0 << false;
    QTest::newRow("too large") << "99999999999" << 0 << false;
}

void TestPlatform::parseInt() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QFETCH(bool, ok);
    const auto got = ParseInt(text.toStdString());
    QCOMPARE(got.has_value(), ok);
    if (ok) QCOMPARE(*got, value);
}

void TestPlatform::autoResetEvent() {
    AutoResetEvent e(true);
    QVERIFY(e.wait(0));  // initially signalled
    QVERIFY(!e.wait(0)); // and reset by the wait
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        e.set();
    });
    QVERIFY(e.wait(5000));
    t.join();
    e.set();
    e.set(); // two sets before a wait count once
    QVERIFY(e.wait(0));
    QVERIFY(!e.wait(10));
}

void TestPlatform::eventSuffixPerRunningCopy() {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    auto first = CreateMyEvent("DataRdEvent", true);
    QCOMPARE(QString::fromStdString(first->name()), QString("DataRdEvent0"));
    auto second = CreateMyEvent("DataRdEvent", true);
    QCOMPARE(QString::fromStdString(second->name()), QString("DataRdEvent1"));
    // Another process holding suffix 0 and 1 as a second copy would: it gets 2 while we live.
    first.reset();
    auto again = CreateMyEvent("DataRdEvent", false);
    QCOMPARE(QString::fromStdString(again->name()), QString("DataRdEvent0"));
    // A killed copy leaves a lock file but no lock: its suffix is free again.
    QProcess holder;
    holder.start("flock", {"-o", runtime.filePath("vyz/ScrReadedEvent0.lock"), "sleep", "30"});
    QVERIFY(holder.waitForStarted());
    QTest::qWait(200);
    QCOMPARE(QString::fromStdString(CreateMyEvent("ScrReadedEvent", false)->name()),
             QString("ScrReadedEvent1"));
    holder.kill();
    holder.waitForFinished();
    QCOMPARE(QString::fromStdString(CreateMyEvent("ScrReadedEvent", false)->name()),
             QString("ScrReadedEvent0"));
    qunsetenv("XDG_RUNTIME_DIR");
}

void TestPlatform::usbLogFormats() {
    QTemporaryDir dir;
    InitProgramPaths(dir.path().toStdString());
    ResetLogUSBForTest();
    QVERIFY(WriteFile(dir.filePath("Vyz.ini"), "[Debug]\nLogUSB=Yes\n"));
    StartLogUSB();
    AddLogUSB("\r\nfirst\r\nsecond\r\n");
    AddLogUSB("plain");
    const QString log = QString::fromUtf8(ReadAll(dir.filePath("LogUSB.log")));
    const QRegularExpression re(
        "^\r\n========== \\d\\d\\.\\d\\d\\.\\d{4} ==========\r\n"
        "\\d\\d:\\d\\d:\\d\\d first  second\r\n\\d\\d:\\d\\d:\\d\\d plain\r\n$");
    QVERIFY2(re.match(log).hasMatch(), qPrintable(log));
    QCOMPARE(log.mid(2 + 11, 10), QDate::currentDate().toString("dd.MM.yyyy"));
    // A deleted log is not re-created by a line: lines drop until the next header.
    QFile::remove(dir.filePath("LogUSB.log"));
    AddLogUSB("dropped");
    QVERIFY(!QFile::exists(dir.filePath("LogUSB.log")));
}

void TestPlatform::usbLogOffWritesNothing() {
    QTemporaryDir dir;
    InitProgramPaths(dir.path().toStdString());
    ResetLogUSBForTest();
    for (const QByteArray& ini :
         {QByteArray(), QByteArray("[Debug]\nLogUSB=N\n"), QByteArray("[Debug]\nLogUSB=y\n")}) {
        if (!ini.isEmpty()) WriteFile(dir.filePath("Vyz.ini"), ini);
        StartLogUSB();
        AddLogUSB("line");
        QVERIFY(!QFile::exists(dir.filePath("LogUSB.log")));
    }
}

namespace {
time_t fakeNow = 0;
time_t fakeClock() {
    return fakeNow;
}
time_t localTime(int year, int month, int day, int hour, int minute, int second) {
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return ::mktime(&t);
}
} // namespace

// Started just before midnight, the first line comes after it: it goes under a header of its
// own day, written once, and later lines of that day add none.
void TestPlatform::usbLogNewDayAfterMidnightOfTheStartDay() {
    QTemporaryDir dir;
    InitProgramPaths(dir.path().toStdString());
    QVERIFY(WriteFile(dir.filePath("Vyz.ini"), "[Debug]\nLogUSB=Y\n"));
    fakeNow = localTime(2026, 3, 31, 23, 59, 58);
    ResetLogUSBForTest(fakeClock);
    StartLogUSB();
    fakeNow = localTime(2026, 4, 1, 0, 0, 3);
    AddLogUSB("first");
    fakeNow = localTime(2026, 4, 1, 0, 0, 4);
    AddLogUSB("second");
    ResetLogUSBForTest();
    QCOMPARE(ReadAll(dir.filePath("LogUSB.log")),
             QByteArray("\r\n========== 31.03.2026 ==========\r\n"
                        "\r\n========== 01.04.2026 ==========\r\n"
                        "00:00:03 first\r\n"
                        "00:00:04 second\r\n"));
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
