// The main window in process (offscreen): settings read at start-up, language switching and the
// chooser, help, shortcuts, the status line and its history window, the table fill and layout.
#include "data/archive_record.h"
#include "data/table_layout.h"
#include "data/text_pair.h"
#include "history/history_service.h"
#include "output/measurement_file.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "shell/image_list.h"
#include "shell/language_chooser.h"
#include "shell/main_window.h"
#include "shell/startup_settings.h"
#include "shell/status_window.h"
#include "support/records.h"
#include "support/test_files.h"

#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstring>
#include <memory>

using namespace vyz;
using namespace testsupport;

namespace {

QString ini(const char* section, const char* key) {
    return QString::fromStdString(
        GetPrivateProfileString(section, key, std::string("<missing>"), 64, IniFileName()));
}

// Receives the URLs the program hands to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

ArchiveRecord sample(int number, uint8_t month) {
    return MakeRecord({.number = number,
                       .second = 7,
                       .minute = 5,
                       .hour = 9,
                       .day = 3,
                       .month = month,
                       .year = 20,
                       .material = 1,
                       .depth = 40,
                       .density = 2300.0f,
                       .refDensity = 2400.0f,
                       .temperature = 21.25f,
                       .latitude = 363410555,
                       .longitude = -244882496});
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void moreCommandsArrowIsTheProgramsOwn();

    void storedLanguage_data();
    void storedLanguage();
    void countStart_data();
    void countStart();
    void startDrawsTheWindowFirst();
    void startTakesStoredColumnWidths();
    void storedGeometry_data();
    void storedGeometry();
    void storedFlags_data();
    void storedFlags();
    void statusWindowHeight_data();
    void statusWindowHeight();
    void historyLine_data();
    void historyLine();

    void languageSwitch();
    void historyCaptionKeepsStartLanguage();
    void chooserChoice_data();
    void chooserChoice();
    void chooserWithoutChoice();
    void chooserStaysOnScreen();
    void helpOpensManualOfLanguage();
    void windowShortcuts_data();
    void windowShortcuts();

    void statusLine();
    void historyPlacement_data();
    void historyPlacement();
    void statusClickTogglesHistory();
    void statusTextIsLiteral();

    void fillTable();
    void fullArchiveFitsAndKeepsOrder();
    void emptyArchive();
    void gpsModeWritesKeyAndColumns();
    void toolBarAndStatusBarLayout_data();
    void toolBarAndStatusBarLayout();
    void archiveBusyNests();
    void columnsFitTheirTexts_data();
    void columnsFitTheirTexts();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestShell::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    InitProgramPaths(dir_->path().toStdString());
    LangIndex = 0;
    RecordCount = 0;
}

void TestShell::cleanup() {
    dir_.reset();
}

void TestShell::storedLanguage_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expected");
    QTest::newRow("no file") << QByteArray() << int(SettingsLanguage::Missing);
    QTest::newRow("empty value counts as missing")
        << QByteArray("[Config]\nLangId=\n") << int(SettingsLanguage::Missing);
    QTest::newRow("Rus") << QByteArray("[Config]\nLangId=Rus\n") << int(SettingsLanguage::Russian);
    QTest::newRow("rus (case counts)")
        << QByteArray("[Config]\nLangId=rus\n") << int(SettingsLanguage::English);
    QTest::newRow("Eng") << QByteArray("[Config]\nLangId=Eng\n") << int(SettingsLanguage::English);
    QTest::newRow("anything else")
        << QByteArray("[Config]\nLangId=Deu\n") << int(SettingsLanguage::English);
}

void TestShell::storedLanguage() {
    QFETCH(QByteArray, content);
    QFETCH(int, expected);
    if (!content.isEmpty()) WriteFile(QString::fromStdString(IniFileName()), content);
    QCOMPARE(int(ReadSettingsLanguage()), expected);
}

void TestShell::countStart_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("written");
    QTest::newRow("first start") << QByteArray() << "1";
    QTest::newRow("counts on") << QByteArray("[Config]\nUses=41\n") << "42";
    QTest::newRow("not a number") << QByteArray("[Config]\nUses=abc\n") << "1";
    QTest::newRow("empty") << QByteArray("[Config]\nUses=\n") << "1";
    QTest::newRow("nine digits") << QByteArray("[Config]\nUses=999999999\n") << "1000000000";
}

void TestShell::countStart() {
    QFETCH(QByteArray, content);
    QFETCH(QString, written);
    if (!content.isEmpty()) WriteFile(QString::fromStdString(IniFileName()), content);
    CountStart();
    QCOMPARE(ini("Config", "Uses"), written);
}

// The start on USB with a file given: the window's first frame comes before the start counter,
// the message history, the history and the start-up read; then the read starts and the file,
// opened after it, wins.
void TestShell::startDrawsTheWindowFirst() {
    QTemporaryDir noBus; // the USB library finds no bus here
    qputenv("USB_DEVFS_PATH", noBus.path().toLocal8Bit());
    QVERIFY(WriteFile(QString::fromStdString(IniFileName()),
                      "[Config]\nLangId=Eng\nCOMPortNumber=USB\nUses=4\n"));
    const ArchiveRecord record =
        MakeRecord({.number = 42, .hour = 9, .day = 3, .month = 5, .year = 20});
    const std::vector<uint8_t> bytes = SerializeArchive(&record, 1, false);
    const QString file = dir_->filePath("a.vyz");
    QVERIFY(WriteFile(
        file, QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))));

    struct FirstPaint : QObject {
        bool seen = false, history = false;
        QString uses;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && !seen) {
                seen = true;
                history = history::Service() != nullptr;
                uses = ini("Config", "Uses");
            }
            return false;
        }
    } firstPaint;
    {
        TForm1 window;
        window.installEventFilter(&firstPaint);
        QSignalSpy started(window.findChild<QAction*>("ARead"), &QAction::changed);
        window.FormCreate();
        window.OpenAfterStartup(file);
        QVERIFY(!history::Service());
        QVERIFY(!window.frmStatus());
        QCOMPARE(ini("Config", "Uses"), QString("4"));
        QVERIFY(!window.UsbReadRunning());

        QTRY_VERIFY_WITH_TIMEOUT(history::Service() && RecordCount == 1, 5000);
        QVERIFY(firstPaint.seen);
        QVERIFY(!firstPaint.history);
        QCOMPARE(firstPaint.uses, QString("4"));
        QCOMPARE(ini("Config", "Uses"), QString("5"));
        QVERIFY(!window.windowIcon().isNull());
        QVERIFY(window.frmStatus()); // the message history
        // The start-up read ran (it disabled the read command) and the file ended it.
        QVERIFY(started.count() >= 2);
        QVERIFY(!window.UsbReadRunning());
        QCOMPARE(window.StringGrid1()->Model()->Cell(0, 2), QString("42"));
    }
    QVERIFY(!history::Service());
    qunsetenv("USB_DEVFS_PATH");
}

// The fixed columns' widths: a start takes those the last start stored for the same fonts, then
// measures them again once the window is up, lays out and stores what it measured; widths stored
// for other fonts are not taken.
void TestShell::startTakesStoredColumnWidths() {
    QTemporaryDir noBus;
    qputenv("USB_DEVFS_PATH", noBus.path().toLocal8Bit());
    const QString settings = QString::fromStdString(IniFileName());
    const QString file = dir_->filePath("a.vyz");
    QVERIFY(WriteFile(file, QByteArray(24, 0)));
    // Starts as the program does, with a file given (it ends the start-up read on USB).
    auto start = [&](TForm1& window) {
        window.FormCreate();
        window.OpenAfterStartup(file);
    };
    auto started = [&] { return history::Service() && RecordCount == 1; };

    QVERIFY(WriteFile(settings, "[Config]\nLangId=Eng\nCOMPortNumber=USB\n"));
    QString stored;
    int number = 0, date = 0;
    {
        TForm1 window;
        start(window);
        QTRY_VERIFY_WITH_TIMEOUT(started(), 5000);
        number = window.NumberColumnWidth();
        date = window.DateColumnWidth();
        stored = ini("FormMain", "FixedColumns");
        const QStringList parts = stored.split(' ');
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts[1].toInt(), number);
        QCOMPARE(parts[2].toInt(), date);
    }
    const QString fingerprint = stored.section(' ', 0, 0);
    struct Row {
        QString value;
        int firstNumber, firstDate; // the widths of the first layout
    };
    for (const Row& row :
         {Row{fingerprint + " 31 97", 31, 97}, Row{"0 31 97", number, date},
          Row{fingerprint + " 31", number, date}, Row{fingerprint + " -4 97", number, date}}) {
        RecordCount = 0;
        QVERIFY(WriteFile(settings, ("[Config]\nLangId=Eng\nCOMPortNumber=USB\n[FormMain]\n"
                                     "FixedColumns=" +
                                     row.value + "\n")
                                        .toUtf8()));
        TForm1 window;
        start(window);
        QCOMPARE(window.StringGrid1()->ColWidth(0), row.firstNumber);
        QCOMPARE(window.StringGrid1()->ColWidth(1), row.firstDate);
        QTRY_VERIFY_WITH_TIMEOUT(started(), 5000);
        QCOMPARE(window.StringGrid1()->ColWidth(0), number);
        QCOMPARE(window.StringGrid1()->ColWidth(1), date);
        QCOMPARE(ini("FormMain", "FixedColumns"), stored);
    }
    qunsetenv("USB_DEVFS_PATH");
}

void TestShell::storedGeometry_data() {
    QTest::addColumn<QByteArray>("formMain");
    QTest::addColumn<QRect>("expected");
    // On a 1280 x 1024 screen with the minimum size 454 x 307.
    QTest::newRow("defaults: minimum size at the corner") << QByteArray() << QRect(0, 0, 454, 307);
    QTest::newRow("stored and fitting")
        << QByteArray("Width=600\nLeft=100\nHeight=400\nTop=50\n") << QRect(100, 50, 600, 400);
    QTest::newRow("Width=10000 at left 0")
        << QByteArray("Width=10000\nLeft=0\n") << QRect(0, 0, 1280, 307);
    QTest::newRow("Left=-5") << QByteArray("Width=600\nLeft=-5\n") << QRect(0, 0, 600, 307);
    QTest::newRow("Width=abc: half the screen")
        << QByteArray("Width=abc\n") << QRect(0, 0, 640, 307);
    QTest::newRow("Width empty: half the screen")
        << QByteArray("Width=\n") << QRect(0, 0, 640, 307);
    QTest::newRow("Left=abc: half the screen")
        << QByteArray("Width=600\nLeft=abc\n") << QRect(640, 0, 600, 307);
    QTest::newRow("Left beyond the right edge")
        << QByteArray("Width=600\nLeft=1000\n") << QRect(680, 0, 600, 307);
    QTest::newRow("Height and Top not numbers")
        << QByteArray("Height=x\nTop=y\n") << QRect(0, 512, 454, 512);
    QTest::newRow("Top beyond the bottom")
        << QByteArray("Height=500\nTop=2000\n") << QRect(0, 524, 454, 500);
    QTest::newRow("Height taller than the screen")
        << QByteArray("Height=5000\nTop=10\n") << QRect(0, 0, 454, 1024);
    QTest::newRow("value cut to 9 characters")
        << QByteArray("Width=1000000000000\n") << QRect(0, 0, 1280, 307);
}

void TestShell::storedGeometry() {
    QFETCH(QByteArray, formMain);
    QFETCH(QRect, expected);
    QVERIFY(WriteFile(QString::fromStdString(IniFileName()), "[FormMain]\n" + formMain));
    QCOMPARE(ReadSettingsGeometry(QSize(1280, 1024), QSize(454, 307)), expected);
}

void TestShell::storedFlags_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("gps");
    QTest::addColumn<bool>("maximized");
    QTest::newRow("missing") << QByteArray() << true << false;
    QTest::newRow("Y / 1") << QByteArray("[Config]\nGPSMode=Y\n[FormMain]\nMaximized=1\n") << true
                           << true;
    QTest::newRow("y (case counts)") << QByteArray("[Config]\nGPSMode=y\n") << false << false;
    QTest::newRow("first character counts")
        << QByteArray("[Config]\nGPSMode=Yes\n[FormMain]\nMaximized=10\n") << true << true;
    QTest::newRow("empty values") << QByteArray("[Config]\nGPSMode=\n[FormMain]\nMaximized=\n")
                                  << false << false;
    QTest::newRow("N / 0") << QByteArray("[Config]\nGPSMode=N\n[FormMain]\nMaximized=0\n") << false
                           << false;
}

void TestShell::storedFlags() {
    QFETCH(QByteArray, content);
    QFETCH(bool, gps);
    QFETCH(bool, maximized);
    if (!content.isEmpty()) WriteFile(QString::fromStdString(IniFileName()), content);
    QCOMPARE(ReadSettingsGPSMode(), gps);
    QCOMPARE(ReadSettingsMaximized(), maximized);
}

void TestShell::statusWindowHeight_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expected");
    QTest::newRow("missing") << QByteArray() << 400;
    QTest::newRow("stored") << QByteArray("[frmStatus]\nHeight=250\n") << 250;
    QTest::newRow("not a number: half the screen")
        << QByteArray("[frmStatus]\nHeight=abc\n") << 512;
    QTest::newRow("taller than the screen") << QByteArray("[frmStatus]\nHeight=5000\n") << 1024;
    QTest::newRow("negative: still usable") << QByteArray("[frmStatus]\nHeight=-20\n") << 60;
}

void TestShell::statusWindowHeight() {
    QFETCH(QByteArray, content);
    QFETCH(int, expected);
    if (!content.isEmpty()) WriteFile(QString::fromStdString(IniFileName()), content);
    QCOMPARE(ReadStatusWindowHeight(1024, 60), expected);
}

void TestShell::historyLine_data() {
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QString>("expected");
    QTest::newRow("worked example") << QTime(14, 3, 7, 482) << "14:03:07,4: Архив пуст";
    QTest::newRow("tenths are cut, not rounded") << QTime(9, 0, 0, 999) << "09:00:00,9: Архив пуст";
    QTest::newRow("midnight") << QTime(0, 0, 0, 0) << "00:00:00,0: Архив пуст";
    QTest::newRow("same tenth, same text") << QTime(14, 3, 7, 400) << "14:03:07,4: Архив пуст";
}

void TestShell::historyLine() {
    QFETCH(QTime, time);
    QFETCH(QString, expected);
    QCOMPARE(HistoryLine(time, QString::fromUtf8("Архив пуст")), expected);
}

void TestShell::languageSwitch() {
    TForm1 window;
    window.ALangEngExecute();
    QCOMPARE(int(LangIndex), 1);
    QVERIFY(window.ALangEng->isChecked());
    QVERIFY(!window.ALangRus->isChecked());
    QCOMPARE(ini("Config", "LangId"), QString("Eng"));
    QCOMPARE(window.windowTitle(), QString("VYZ. Pavement quality tester"));
    QCOMPARE(window.findChild<QMenu*>("itmFile")->title(), QString("File"));
    QCOMPARE(window.findChild<QMenu*>("itmParam")->title(), QString("Parameters"));
    QCOMPARE(window.findChild<QMenu*>("itmCOMUSB1")->title(), QString("COM-port №, USB-port"));
    QCOMPARE(window.ARead->text(), QString("Data read"));
    QCOMPARE(window.AHelp->text(), QString("Help"));
    QCOMPARE(window.StringGrid1()->Model()->Cell(2, 0), QString("Density"));
    QCOMPARE(window.StringGrid1()->Model()->Cell(2, 1), QString("kg/m^3"));
    QVERIFY(window.HelpFileName().endsWith("/Help/Vyz1EngHelp.html"));
    // The tool buttons announce their command in the current language.
    auto* readButton = window.findChild<QToolButton*>("SpeedButtonRead");
    QCOMPARE(readButton->text(), QString("Data read"));

    window.ALangRusExecute();
    const QString titleOnce = window.windowTitle();
    const QString gridOnce = window.StringGrid1()->Model()->Cell(6, 0);
    window.ALangRusExecute();
    QCOMPARE(int(LangIndex), 0);
    QVERIFY(window.ALangRus->isChecked());
    QVERIFY(!window.ALangEng->isChecked());
    QCOMPARE(ini("Config", "LangId"), QString("Rus"));
    QCOMPARE(window.windowTitle(), titleOnce);
    QCOMPARE(titleOnce, QString::fromUtf8("VYZ. Плотномер асфальта"));
    QCOMPARE(gridOnce, QString::fromUtf8("Толщина слоя"));
    QCOMPARE(window.StringGrid1()->Model()->Cell(6, 0), gridOnce);
    QCOMPARE(window.findChild<QMenu*>("itmFile")->title(), QString::fromUtf8("Файл"));
    QVERIFY(window.HelpFileName().endsWith("/Help/Vyz1RusHelp.html"));
}

void TestShell::historyCaptionKeepsStartLanguage() {
    TForm1 window;
    window.ALangRusExecute();
    auto* history = new TfrmStatus(&window);
    window.SetFrmStatus(history);
    window.ALangEngExecute();
    QCOMPARE(history->windowTitle(), QString::fromUtf8("История сообщений в статус-строке"));
}

void TestShell::chooserChoice_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("means");
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("title");
    const QString ru = QString::fromUtf8("VYZ. Плотномер асфальта");
    const QString en = "VYZ. Pavement quality tester";
    for (const char* means : {"mouse", "keys", "assistive technology"}) {
        QTest::addRow("Русский, %s", means) << 1 << means << 0 << "Rus" << ru;
        QTest::addRow("English, %s", means) << 2 << means << 1 << "Eng" << en;
    }
}

// Either choice by mouse, by keys (the arrows only move the focus, Space chooses) and by the
// action assistive technology offers on a radio button.
void TestShell::chooserChoice() {
    QFETCH(int, button);
    QFETCH(QString, means);
    QFETCH(int, lang);
    QFETCH(QString, stored);
    QFETCH(QString, title);
    TForm1 window;
    LangIndex = int8_t(1 - lang);
    TfrmLanguage chooser;
    QVERIFY(!chooser.RadioButton1()->isChecked() && !chooser.RadioButton2()->isChecked());
    QRadioButton* radio = button == 1 ? chooser.RadioButton1() : chooser.RadioButton2();
    bool stillOpen = false;
    QTimer::singleShot(0, &chooser, [&] {
        if (means == "mouse") {
            QTest::mouseClick(radio, Qt::LeftButton);
        } else if (means == "keys") {
            chooser.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&chooser));
            chooser.RadioButton1()->setFocus();
            QTest::keyClick(chooser.RadioButton1(), Qt::Key_Down);
            if (button == 1) QTest::keyClick(chooser.RadioButton2(), Qt::Key_Up);
            stillOpen = chooser.isVisible() && QApplication::focusWidget() == radio;
            QTest::keyClick(radio, Qt::Key_Space);
        } else {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(radio);
            QVERIFY(a && a->actionInterface());
            QCOMPARE(a->role(), QAccessible::RadioButton);
            QCOMPARE(a->text(QAccessible::Name), radio->text());
            QVERIFY(a->state().checkable && !a->state().checked);
            const QString toggle = QAccessibleActionInterface::toggleAction();
            QVERIFY(a->actionInterface()->actionNames().contains(toggle));
            a->actionInterface()->doAction(toggle);
        }
    });
    QCOMPARE(chooser.exec(), int(QDialog::Accepted));
    if (means == "keys") QVERIFY(stillOpen);
    QCOMPARE(int(LangIndex), lang);
    QCOMPARE(ini("Config", "LangId"), stored);
    QCOMPARE(window.windowTitle(), title);
}

// Esc and the close command leave the chooser open without a choice; a choice then ends it.
void TestShell::chooserWithoutChoice() {
    TForm1 window;
    TfrmLanguage chooser;
    bool stillOpen = false;
    QTimer::singleShot(0, &chooser, [&] {
        QTest::keyClick(&chooser, Qt::Key_Escape);
        chooser.close();
        stillOpen = chooser.isVisible();
        QCOMPARE(ini("Config", "LangId"), QString("<missing>"));
        QTest::mouseClick(chooser.RadioButton2(), Qt::LeftButton);
    });
    QCOMPARE(chooser.exec(), int(QDialog::Accepted));
    QVERIFY(stillOpen);
    QCOMPARE(int(LangIndex), 1);
}

void TestShell::chooserStaysOnScreen() {
    TfrmLanguage chooser;
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    const QSize screen = chooser.screen()->geometry().size();
    chooser.move(-30, screen.height() - 10);
    chooser.FormActivate();
    QCOMPARE(chooser.pos(), QPoint(0, screen.height() / 2));
    chooser.move(screen.width() - 20, -7);
    chooser.FormActivate();
    QCOMPARE(chooser.pos(), QPoint(screen.width() / 2, 0));
}

void TestShell::helpOpensManualOfLanguage() {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    const QString eng = dir_->filePath("Help/Vyz1EngHelp.html");
    const QString rus = dir_->filePath("Help/Vyz1RusHelp.html");
    QVERIFY(WriteFile(eng, "<html>en</html>"));
    QVERIFY(WriteFile(rus, "<html>ru</html>"));
    {
        TForm1 window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.ALangEngExecute();
        // F1 in the table goes through the table's key handler.
        QTest::keyClick(window.StringGrid1(), Qt::Key_F1);
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(eng)});
        window.ALangRusExecute();
        // F1 elsewhere in the main window.
        QTest::keyClick(&window, Qt::Key_F1);
        QCOMPARE(catcher.opened.size(), 2);
        QCOMPARE(catcher.opened.last(), QUrl::fromLocalFile(rus));
        // F1 in the history window, also from its text field.
        TfrmStatus history(&window);
        QTest::keyClick(history.Memo1(), Qt::Key_F1);
        QCOMPARE(catcher.opened.size(), 3);
        QCOMPARE(catcher.opened.last(), QUrl::fromLocalFile(rus));
        // F1 in the chooser.
        TfrmLanguage chooser;
        QTest::keyClick(chooser.RadioButton1(), Qt::Key_F1);
        QCOMPARE(catcher.opened.size(), 4);
        // No manual for the language: nothing is opened and nothing is said.
        QFile::remove(rus);
        window.AHelpExecute();
        QCOMPARE(catcher.opened.size(), 4);
    }
    QDesktopServices::unsetUrlHandler("file");
}

void TestShell::windowShortcuts_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("action");
    QTest::newRow("Ctrl+O") << int(Qt::Key_O) << "AOpen";
    QTest::newRow("Ctrl+S") << int(Qt::Key_S) << "ASave";
    QTest::newRow("Ctrl+P") << int(Qt::Key_P) << "APrint";
}

void TestShell::windowShortcuts() {
    QFETCH(int, key);
    QFETCH(QString, action);
    TForm1 window;
    auto* a = window.findChild<QAction*>(action);
    QVERIFY(a);
    // Only the key routing is under test here, not the command behind it.
    QObject::disconnect(a, &QAction::triggered, &window, nullptr);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.StringGrid1()->setFocus();
    QSignalSpy spy(a, &QAction::triggered);
    QTest::keyClick(window.StringGrid1(), Qt::Key(key), Qt::ControlModifier);
    QCOMPARE(spy.count(), 1);
    // A disabled command does not run.
    window.SetArchiveBusy(true);
    QTest::keyClick(window.StringGrid1(), Qt::Key(key), Qt::ControlModifier);
    QCOMPARE(spy.count(), 1);
    window.SetArchiveBusy(false);
}

void TestShell::statusLine() {
    TForm1 window;
    auto* history = new TfrmStatus(&window);
    window.SetFrmStatus(history);
    auto* sb = window.findChild<QPushButton*>("sbStatus");
    const QTime before = QTime::currentTime();
    window.SetStatusBarGeneral(QString::fromUtf8("Архив пуст"));
    const QTime after = QTime::currentTime();
    QCOMPARE(sb->text(), QString::fromUtf8("Архив пуст"));
    // The history is written while hidden too.
    QVERIFY(!history->isVisible());
    const QStringList lines = history->Memo1()->toPlainText().split('\n');
    QCOMPARE(lines.size(), 1);
    const QRegularExpression shape(QString::fromUtf8("^(\\d\\d:\\d\\d:\\d\\d,\\d): Архив пуст$"));
    const auto match = shape.match(lines[0]);
    QVERIFY2(match.hasMatch(), qPrintable(lines[0]));
    const QTime stamp = QTime::fromString(match.captured(1) + "00", "hh:mm:ss,zzz");
    QVERIFY(stamp.isValid());
    QVERIFY(stamp.msecsSinceStartOfDay() >= before.msecsSinceStartOfDay() / 100 * 100);
    QVERIFY(stamp <= after);

    window.ProgressBar1()->show();
    window.SetStatusBarPlain("usb_open: Permission denied");
    QCOMPARE(sb->text(), QString("usb_open: Permission denied"));
    QVERIFY(window.ProgressBar1()->isHidden());
    QCOMPARE(history->Memo1()->toPlainText().split('\n').size(), 1);
}

void TestShell::historyPlacement_data() {
    // Main window frame, history frame height, expected history frame (empty: stays where it
    // was). A negative top counts from the bottom of the screen.
    QTest::addColumn<QRect>("main");
    QTest::addColumn<int>("height");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("fits below") << QRect(100, 50, 500, 320) << 200 << QRect(100, 370, 500, 200);
    QTest::newRow("fits above") << QRect(60, -330, 480, 320) << 200 << QRect(60, -530, 480, 200);
    QTest::newRow("no room") << QRect(60, 150, 480, 320) << 400 << QRect();
}

namespace {

// Places a window so that its outer frame (decorations included) is `frame`.
void setFrame(QWidget* w, const QRect& frame) {
    const QMargins m(w->geometry().left() - w->frameGeometry().left(),
                     w->geometry().top() - w->frameGeometry().top(),
                     w->frameGeometry().right() - w->geometry().right(),
                     w->frameGeometry().bottom() - w->geometry().bottom());
    w->setGeometry(frame.marginsRemoved(m));
}

} // namespace

void TestShell::historyPlacement() {
    QFETCH(QRect, main);
    QFETCH(int, height);
    QFETCH(QRect, expected);
    TForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int screenHeight = window.screen()->geometry().height();
    if (main.top() < 0) main.moveTop(screenHeight + main.top());
    if (expected.top() < 0) expected.moveTop(screenHeight + expected.top());
    setFrame(&window, main);
    QCOMPARE(window.frameGeometry(), main);
    auto* history = new TfrmStatus(&window);
    window.SetFrmStatus(history);
    history->show();
    QVERIFY(QTest::qWaitForWindowExposed(history));
    const QRect before(5, 7, 300, height);
    setFrame(history, before);
    QCOMPARE(history->frameGeometry(), before);
    window.SetSizeFrmStatus();
    QCOMPARE(history->frameGeometry(), expected.isNull() ? before : expected);
}

void TestShell::statusClickTogglesHistory() {
    TForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    setFrame(&window, QRect(100, 50, 500, 320));
    auto* history = new TfrmStatus(&window);
    window.SetFrmStatus(history);
    auto* sb = window.findChild<QPushButton*>("sbStatus");
    QTest::mouseClick(sb, Qt::LeftButton);
    QVERIFY(history->isVisible());
    const int h = history->frameGeometry().height();
    QCOMPARE(history->frameGeometry(), QRect(100, 370, 500, h));
    QTest::mouseClick(sb, Qt::LeftButton);
    QVERIFY(!history->isVisible());
}

namespace {
// The rightmost column of the status button that holds ink (a pixel unlike the top left one).
int inkRight(QWidget* button) {
    const QImage image = button->grab().toImage();
    const QRgb background = image.pixel(0, 0);
    for (int x = image.width() - 1; x >= 0; --x)
        for (int y = 0; y < image.height(); ++y)
            if (image.pixel(x, y) != background) return x;
    return -1;
}
} // namespace

// An "&" in a message (a file name) is shown as it stands and makes no keyboard shortcut.
void TestShell::statusTextIsLiteral() {
    TForm1 window;
    auto* history = new TfrmStatus(&window);
    window.SetFrmStatus(history);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* sb = window.findChild<QPushButton*>("sbStatus");
    window.SetStatusBarGeneral("RD.vyz");
    const int without = inkRight(sb);
    window.SetStatusBarGeneral("R&D.vyz");
    QCOMPARE(sb->text(), QString("R&D.vyz"));
    QCOMPARE(sb->accessibleName(), QString("R&D.vyz"));
    QVERIFY(history->Memo1()->toPlainText().endsWith(": R&D.vyz"));
    // The "&" is drawn: the text reaches further right by about the width of that character.
    const int amp = sb->fontMetrics().horizontalAdvance('&');
    QVERIFY2(qAbs(inkRight(sb) - without - amp) <= 2,
             qPrintable(QString("%1 %2 %3").arg(inkRight(sb)).arg(without).arg(amp)));
    // Alt+D is no shortcut of the status line: the history stays closed.
    QTest::keyClick(&window, Qt::Key_D, Qt::AltModifier);
    QTest::qWait(50);
    QVERIFY(!history->isVisible());
    window.SetStatusBarPlain("A&&B");
    QCOMPARE(sb->text(), QString("A&&B"));
}

void TestShell::fillTable() {
    TForm1 window;
    window.ALangRusExecute();
    window.SetGPSMode(true);
    window.ClearTable();
    for (int i = 0; i < 3; ++i)
        MeasurementArchive[i] = sample(100 + i, i == 1 ? 13 : 3);
    MeasurementArchive[2].Second = DeletedMark;
    RecordCount = 3;
    window.FillDataTable(1);
    GridModel* m = window.StringGrid1()->Model();
    QCOMPARE(m->RowCount(), 5);
    QCOMPARE(m->Cell(0, 1), QString("(3)"));
    // Newest first.
    QCOMPARE(m->Cell(0, 2), QString("102"));
    QCOMPARE(m->Cell(0, 4), QString("100"));
    QCOMPARE(m->Cell(1, 2), QString::fromUtf8(" 9:05:170 ( 3 мар 2020) - удалена"));
    QCOMPARE(m->Cell(1, 3), QString::fromUtf8(" 9:05:07 ( 3 янв 2020)"));
    QCOMPARE(m->Cell(2, 3), QString("2300,00"));
    QCOMPARE(m->Cell(3, 3), QString("4,2"));
    QCOMPARE(m->Cell(4, 3), QString::fromUtf8("Асфальт базовый"));
    QCOMPARE(m->Cell(5, 3), QString("21,3"));
    QCOMPARE(m->Cell(6, 3), QString("40"));
    QCOMPARE(m->Cell(7, 3), QString::fromUtf8("55°45'12,3\" СШ"));
    QCOMPARE(m->Cell(8, 3), QString::fromUtf8("37°36'36,6\" ЗД"));
    // The month is repaired in the archive itself, so a later save stores January.
    QCOMPARE(int(MeasurementArchive[1].Month), 1);

    // A language switch re-titles only; the data keep the language they were built in.
    window.ALangEngExecute();
    QCOMPARE(m->Cell(1, 0), QString("Date, time"));
    QCOMPARE(m->Cell(1, 3), QString::fromUtf8(" 9:05:07 ( 3 янв 2020)"));
    // Re-titling (here by a resize) empties the count cell; the rows stay.
    window.resize(window.width() + 10, window.height());
    window.FormResize();
    QCOMPARE(m->Cell(0, 1), QString());
    QCOMPARE(m->RowCount(), 5);

    // The order 0 lists the archive as stored.
    window.FillDataTable(0);
    QCOMPARE(m->Cell(0, 2), QString("100"));
    QCOMPARE(m->Cell(1, 3), QString(" 9:05:07 (Jan  3, 2020)"));
}

void TestShell::fullArchiveFitsAndKeepsOrder() {
    for (int plain = 0; plain < 2; ++plain) {
        TForm1 window;
        window.resize(700, 450);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.SetGPSMode(plain == 0);
        window.ClearTable();
        for (int i = 0; i < ArchiveCapacity; ++i)
            MeasurementArchive[i] = sample(i + 1, 5);
        RecordCount = ArchiveCapacity;
        window.FillDataTable(1);
        StringGrid* grid = window.StringGrid1();
        QCOMPARE(grid->RowCount(), ArchiveCapacity + 2);
        QCOMPARE(grid->Model()->Cell(0, 2), QString::number(ArchiveCapacity));
        QCOMPARE(grid->Model()->Cell(0, ArchiveCapacity + 1), QString("1"));
        QVERIFY(window.AOpen->isEnabled());
        QCoreApplication::processEvents();
        // With the vertical scroll bar shown, the columns still fit side by side.
        QVERIFY(grid->verticalScrollBar()->isVisible());
        QCOMPARE(grid->horizontalScrollBar()->maximum(), 0);
        QCOMPARE(grid->ColWidth(0), window.NumberColumnWidth());
        QCOMPARE(grid->ColWidth(1), window.DateColumnWidth());
        // Dragged columns are read where the operator put them, and stay there through a refill.
        grid->horizontalHeader()->moveSection(1, 0); // "Density" before "Date, time"
        QCOMPARE(grid->CellAt(1, 2), QString("2300,00"));
        window.ClearTable();
        window.FillDataTable(1);
        QCOMPARE(grid->CellAt(1, 2), QString("2300,00"));
        QCOMPARE(grid->CellAt(2, 2), QString::fromUtf8(" 9:05:07 ( 3 мая 2020)"));
    }
}

void TestShell::emptyArchive() {
    TForm1 window;
    window.ClearTable();
    QCOMPARE(window.StringGrid1()->RowCount(), 3);
    RecordCount = 0;
    window.FillDataTable(1);
    QCOMPARE(window.StringGrid1()->RowCount(), 2);
    QCOMPARE(window.StringGrid1()->Model()->Cell(0, 1), QString("(0)"));
}

void TestShell::gpsModeWritesKeyAndColumns() {
    TForm1 window;
    window.ALangEngExecute();
    window.SetGPSMode(true);
    QCOMPARE(ini("Config", "GPSMode"), QString("Y"));
    QCOMPARE(window.StringGrid1()->ColCount(), 9);
    QCOMPARE(window.StringGrid1()->Model()->Cell(8, 0), QString("Longitude"));
    QCOMPARE(window.StringGrid1()->Model()->Cell(7, 1), QString("(GLONASS/GPS)"));
    window.SetGPSMode(false);
    QCOMPARE(ini("Config", "GPSMode"), QString("N"));
    QCOMPARE(window.StringGrid1()->ColCount(), 7);
    QVERIFY(!GPSModeFlag);
}

void TestShell::toolBarAndStatusBarLayout_data() {
    QTest::addColumn<int>("width");
    QTest::newRow("minimum") << 454;
    QTest::newRow("designed") << 482;
    QTest::newRow("wide") << 780;
}

void TestShell::toolBarAndStatusBarLayout() {
    QFETCH(int, width);
    TForm1 window;
    window.resize(width, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.width(), width);
    auto* panel1 = window.findChild<QWidget*>("Panel1");
    auto* panel6 = window.findChild<QWidget*>("Panel6");
    auto* panel7 = window.findChild<QWidget*>("Panel7");
    QCOMPARE(panel1->geometry(), QRect(8, 4, width - 14, 33));
    QCOMPARE(panel7->x() + panel7->width(), panel1->width());
    QCOMPARE(panel6->x() + panel6->width() + 20, panel7->x());

    QStatusBar* bar = window.statusBar();
    const int panel0 = bar->width() - 140 - 20 - 20;
    auto* sb = window.findChild<QPushButton*>("sbStatus");
    QCOMPARE(sb->geometry(), QRect(1, 3, panel0 - 2, bar->height() - 4));
    QCOMPARE(window.ProgressBar1()->geometry(), QRect(panel0 + 3, 5, 136, 11));
    auto* link = window.findChild<QWidget*>("PanelShapeLink");
    QCOMPARE(link->pos(), QPoint(panel0 + 140 + 6, (bar->height() - 13) / 2));

    // The table: 8 from the left, 14 narrower than the client area, 70 shorter.
    const int client = window.centralWidget()->height() + bar->height();
    QCOMPARE(window.StringGrid1()->geometry().left(), 8);
    QCOMPARE(window.StringGrid1()->width(), width - 14);
    QCOMPARE(window.StringGrid1()->height(), client - 70);
}

void TestShell::archiveBusyNests() {
    TForm1 window;
    window.SetArchiveBusy(true);
    window.SetArchiveBusy(true);
    window.SetArchiveBusy(false);
    QVERIFY(!window.ARead->isEnabled());
    QVERIFY(!window.ASave->isEnabled());
    QVERIFY(!window.APrint->isEnabled());
    QVERIFY(window.AHelp->isEnabled());
    window.SetArchiveBusy(false);
    QVERIFY(window.ARead->isEnabled());
    QVERIFY(window.AOpen->isEnabled());
    QVERIFY(window.ACopyCtrlC->isEnabled());
}

void TestShell::columnsFitTheirTexts_data() {
    QTest::addColumn<int>("pointSize"); // 0: the desktop's default font
    QTest::addColumn<bool>("coordinates");
    QTest::addColumn<int>("lang");
    QTest::newRow("default font, Russian, coordinates") << 0 << true << 0;
    QTest::newRow("default font, English, plain") << 0 << false << 1;
    QTest::newRow("large font, Russian, plain") << 16 << false << 0;
    QTest::newRow("large font, English, coordinates") << 16 << true << 1;
}

// The fixed columns are as wide as their widest texts need in the window's font (as the view
// itself measures cells and titles), and at a first start's width every title is shown whole.
void TestShell::columnsFitTheirTexts() {
    QFETCH(int, pointSize);
    QFETCH(bool, coordinates);
    QFETCH(int, lang);
    TForm1 window;
    if (pointSize > 0) {
        QFont font = window.font();
        font.setPointSize(pointSize);
        window.setFont(font);
    }
    lang == 0 ? window.ALangRusExecute() : window.ALangEngExecute();
    window.SetGPSMode(coordinates);
    const int columns = coordinates ? 9 : 7;
    window.resize(window.WholeTableWidth(columns), 500);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.ClearTable();
    int n = 0;
    for (uint8_t month = 1; month <= 12; ++month)
        for (uint8_t second : {uint8_t(58), DeletedMark}) {
            ArchiveRecord r = sample(65535, month);
            r.Hour = 18;
            r.Minute = 58;
            r.Second = second;
            r.Day = 28;
            r.Year = 88;
            MeasurementArchive[n++] = r;
        }
    RecordCount = n;
    window.FillDataTable(1);
    window.FormResize();

    StringGrid* grid = window.StringGrid1();
    QHeaderView* header = grid->horizontalHeader();
    const int dateNeed = std::max(static_cast<QAbstractItemView*>(grid)->sizeHintForColumn(0),
                                  header->sectionSizeHint(0));
    QVERIFY2(grid->columnWidth(0) >= dateNeed,
             qPrintable(QString("%1 < %2").arg(grid->columnWidth(0)).arg(dateNeed)));
    QVERIFY2(grid->columnWidth(0) <= dateNeed + 10,
             qPrintable(QString::number(grid->columnWidth(0))));
    QVERIFY2(grid->verticalHeader()->width() >= grid->verticalHeader()->sizeHint().width(),
             qPrintable(QString("%1 < %2 (%3)")
                            .arg(grid->verticalHeader()->width())
                            .arg(grid->verticalHeader()->sizeHint().width())
                            .arg(grid->verticalHeader()->sectionSizeHint(0))));
    // Every title whole, unless the screen is too narrow for that width.
    const bool capped = window.width() < window.WholeTableWidth(columns);
    QVERIFY(capped || pointSize > 0 || coordinates || window.width() > 454);
    for (int c = 1; c < columns - 1 && !capped; ++c)
        QVERIFY2(grid->columnWidth(c) >= header->sectionSizeHint(c),
                 qPrintable(QString("column %1: %2 < %3")
                                .arg(c + 1)
                                .arg(grid->columnWidth(c))
                                .arg(header->sectionSizeHint(c))));
    // The other columns share the rest by the rule.
    const int clientWidth = grid->verticalHeader()->width() + grid->viewport()->width();
    const std::vector<int> rule = DistributeColumnWidths(
        columns, clientWidth, grid->verticalHeader()->width(), grid->columnWidth(0));
    for (int c = 2; c < columns; ++c)
        QCOMPARE(grid->columnWidth(c - 1), rule[c]);
}

// The arrow of a bar too narrow for its commands is drawn by the program (both directions, a
// visible image at both sizes); every other standard image is still the style's own.
void TestShell::moreCommandsArrowIsTheProgramsOwn() {
    ProgramStyle style;
    QImage arrows[2];
    for (int i = 0; i < 2; ++i) {
        const QIcon icon = style.standardIcon(i == 0 ? QStyle::SP_ToolBarHorizontalExtensionButton
                                                     : QStyle::SP_ToolBarVerticalExtensionButton,
                                              nullptr, nullptr);
        for (int size : {16, 32}) {
            const QImage image = icon.pixmap(size, size).toImage();
            QCOMPARE(image.size(), QSize(size, size));
            int inked = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    inked += qAlpha(image.pixel(x, y)) > 128;
            QVERIFY2(inked > size, qPrintable(QString::number(inked)));
        }
        arrows[i] = icon.pixmap(16, 16).toImage();
    }
    QVERIFY(arrows[0] != arrows[1]);
    QCOMPARE(arrows[1], arrows[0].transformed(QTransform().rotate(90)));
    const QIcon close = style.standardIcon(QStyle::SP_DialogCloseButton, nullptr, nullptr);
    const QIcon base =
        style.baseStyle()->standardIcon(QStyle::SP_DialogCloseButton, nullptr, nullptr);
    QCOMPARE(close.pixmap(16, 16).toImage(), base.pixmap(16, 16).toImage());
}

QTEST_MAIN(TestShell)
#include "test_shell.moc"
