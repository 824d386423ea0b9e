// The port list from a device folder of links to pseudo-terminals, the port menu, the port
// questions answered as an operator would, the port choice and the start-up selection.
#include "data/text_pair.h"
#include "link/serial_ports.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "serial_test_support.h"
#include "shell/main_window.h"
#include "shell/status_window.h"

#include <QPlainTextEdit>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QStandardPaths>

#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using namespace vyz;

namespace {

QString StatusText(TForm1& form) {
    return form.findChild<QPushButton*>("sbStatus")->text();
}

QString IniValue() {
    return QString::fromStdString(IniRead("Config", "COMPortNumber", std::string("<missing>")));
}

QList<int> Ports() {
    int32_t list[MaxListedPorts];
    const int n = EnumerateSerialPorts(list);
    return QList<int>(list, list + n);
}

} // namespace

class TestSerialPorts : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void portNames_data();
    void portNames();
    void listFollowsTheDeviceFolder();
    void atMostTwentyPortsLowestFirst();
    void menuNamesDeviceAndAdapter();
    void missingPortRetryAfterPluggingIn();
    void missingPortIgnoreLeavesPortClosed();
    void busyPortIgnoreThenRetry();
    void notConnectedRetryThenIgnoreKeepsPortOpen();
    void abortEndsTheProgramWithExitCode1();
    void abortChild();
    void portWithoutRightsNamesTheDialoutGroup();
    void noAccessChild();
    void selectSerialThenUsb();
    void startupSelection_data();
    void startupSelection();
    void startupOpenErrorLeavesPortClosed();
    void selectPortErrorIsShownAndTheChoiceKept();

private:
    std::unique_ptr<QTemporaryDir> programDir_;
    std::unique_ptr<DeviceFolder> dev_;
    std::unique_ptr<TForm1> form_;
    std::unique_ptr<PtyPair> pty_;
};

void TestSerialPorts::init() {
    programDir_ = std::make_unique<QTemporaryDir>();
    InitProgramPaths(programDir_->path().toStdString());
    dev_ = std::make_unique<DeviceFolder>();
    SetSerialDeviceRoot(dev_->path().toStdString());
    pty_ = std::make_unique<PtyPair>();
    QVERIFY(pty_->ok());
    LangIndex = 0;
    form_ = std::make_unique<TForm1>();
}

void TestSerialPorts::cleanup() {
    form_.reset();
    pty_.reset();
}

void TestSerialPorts::portNames_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("1") << 1 << "ttyS0";
    QTest::newRow("32") << 32 << "ttyS31";
    QTest::newRow("33") << 33 << "ttyUSB0";
    QTest::newRow("64") << 64 << "ttyUSB31";
    QTest::newRow("65") << 65 << "ttyACM0";
    QTest::newRow("96") << 96 << "ttyACM31";
    QTest::newRow("97") << 97 << "rfcomm0";
    QTest::newRow("99") << 99 << "rfcomm2";
    QTest::newRow("0 is USB") << 0 << "";
    QTest::newRow("100") << 100 << "";
}

void TestSerialPorts::portNames() {
    QFETCH(int, number);
    QFETCH(QString, name);
    QCOMPARE(QString::fromStdString(PortDeviceName(number)), name);
}

void TestSerialPorts::listFollowsTheDeviceFolder() {
    PtyPair second;
    QVERIFY(dev_->link("ttyUSB0", pty_->slavePath()));
    QVERIFY(dev_->link("ttyACM2", second.slavePath()));
    QVERIFY(dev_->link("ttyS3", pty_->slavePath()));
    QVERIFY(dev_->link("rfcomm1", pty_->slavePath()));
    QFile plain(dev_->path() + "/ttyUSB1"); // a regular file
    QVERIFY(plain.open(QIODevice::WriteOnly));
    QVERIFY(dev_->link("ttyUSB2", dev_->path() + "/gone")); // a dangling link
    QVERIFY(dev_->link("ttyS5", "/dev/null"));              // a character device, not a terminal
    QCOMPARE(Ports(), (QList<int>{4, 33, 67, 98}));
    // A port this program holds is still listed.
    form_->Comm1.SetDeviceName(PortDevicePath(33));
    form_->Comm1.Open();
    QVERIFY(form_->Comm1.Enabled());
    QCOMPARE(Ports(), (QList<int>{4, 33, 67, 98}));
}

void TestSerialPorts::atMostTwentyPortsLowestFirst() {
    for (int i = 24; i >= 0; --i)
        QVERIFY(dev_->link(QString("ttyUSB%1").arg(i), pty_->slavePath()));
    QList<int> expected;
    for (int n = 33; n < 53; ++n)
        expected << n;
    QCOMPARE(Ports(), expected);
}

void TestSerialPorts::menuNamesDeviceAndAdapter() {
    PtyPair second;
    QVERIFY(dev_->link("ttyUSB0", pty_->slavePath()));
    QVERIFY(dev_->link("ttyACM0", second.slavePath()));
    QVERIFY(
        dev_->link("serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0"));
    PortCount = EnumerateSerialPorts(PortNumbers);
    form_->FillPortMenu();
    QCOMPARE(form_->ACOM[0]->text(), QString("ttyUSB0 (FTDI FT232R USB UART A50285BI)"));
    QCOMPARE(form_->ACOM[0]->data().toInt(), 33);
    QCOMPARE(form_->ACOM[1]->text(), QString("ttyACM0"));
    QCOMPARE(form_->ACOM[1]->data().toInt(), 65);
    QVERIFY(form_->ACOM[0]->isVisible() && form_->ACOM[1]->isVisible());
    for (int k = 2; k < 20; ++k)
        QVERIFY(!form_->ACOM[k]->isVisible());
}

void TestSerialPorts::missingPortRetryAfterPluggingIn() {
    BoxAnswerer answerer({QMessageBox::Retry, QMessageBox::Ignore});
    answerer.setHook([this](const QString& text) {
        if (text.contains(QString::fromUtf8("не существует")))
            dev_->link("ttyUSB0", pty_->slavePath());
    });
    form_->ConnectPort(33);
    QCOMPARE(answerer.texts().size(), 2);
    QCOMPARE(answerer.texts()[0],
             QString::fromUtf8("Выбранный COM-порт (ttyUSB0) не существует.\nСвязь с прибором "
                               "невозможна.\nПродолжить выполнение?"));
    // A pseudo-terminal has no modem lines: no instrument answers the line check.
    QCOMPARE(answerer.texts()[1],
             QString::fromUtf8("Прибор не подключен к выбранному COM-порту (ttyUSB0).\nСвязь с "
                               "прибором невозможна.\nПродолжить выполнение?"));
    QCOMPARE(answerer.icons()[0], QMessageBox::Question);
    QVERIFY(form_->Comm1.Enabled());
    QCOMPARE(QString::fromStdString(form_->Comm1.DeviceName()), dev_->path() + "/ttyUSB0");
    QCOMPARE(form_->Comm1.BaudRate(), br115200);
    QVERIFY(form_->ACOM[0]->isChecked());
    QVERIFY(!form_->AUSB->isChecked());
}

void TestSerialPorts::missingPortIgnoreLeavesPortClosed() {
    LangIndex = 1;
    BoxAnswerer answerer({QMessageBox::Ignore});
    form_->ConnectPort(34);
    QCOMPARE(answerer.texts(),
             QStringList{"The selected COM-port (ttyUSB1) does not exist.\nCommunication with the "
                         "instrument is not possible.\nContinue running?"});
    QCOMPARE(StatusText(*form_), QString("The selected COM-port (ttyUSB1) does not exist. "
                                         "Communication with the instrument is not possible"));
    QVERIFY(!form_->Comm1.Enabled());
}

void TestSerialPorts::busyPortIgnoreThenRetry() {
    QVERIFY(dev_->link("ttyUSB0", pty_->slavePath()));
    auto other = std::make_unique<TComm>(); // another program holding the port
    other->SetDeviceName(pty_->slavePath().toStdString());
    other->Open();
    QVERIFY(other->Enabled());
    {
        BoxAnswerer answerer({QMessageBox::Ignore});
        form_->ConnectPort(33);
        QCOMPARE(answerer.texts(),
                 QStringList{QString::fromUtf8("Выбранный COM-порт (ttyUSB0) открыт другой "
                                               "программой. \nСвязь с прибором невозможна.\n"
                                               "Продолжить выполнение?")});
        QVERIFY(!form_->Comm1.Enabled());
    }
    BoxAnswerer answerer({QMessageBox::Retry, QMessageBox::Ignore});
    answerer.setHook([&](const QString&) { other.reset(); }); // the other program ends
    form_->ConnectPort(33);
    QCOMPARE(answerer.texts().size(), 2);
    QVERIFY(answerer.texts()[1].startsWith(QString::fromUtf8("Прибор не подключен")));
    QVERIFY(form_->Comm1.Enabled());
}

void TestSerialPorts::notConnectedRetryThenIgnoreKeepsPortOpen() {
    QVERIFY(dev_->link("ttyUSB0", pty_->slavePath()));
    BoxAnswerer answerer({QMessageBox::Retry, QMessageBox::Ignore});
    form_->ConnectPort(33);
    QCOMPARE(answerer.texts().size(), 2);
    QCOMPARE(answerer.texts()[0], answerer.texts()[1]);
    QCOMPARE(StatusText(*form_),
             QString::fromUtf8("Прибор не подключен к выбранному COM-порту (ttyUSB0). Связь с "
                               "прибором невозможна"));
    QVERIFY(form_->Comm1.Enabled());
}

void TestSerialPorts::abortEndsTheProgramWithExitCode1() {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VYZ_TEST_ABORT_CHILD", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"abortChild"});
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 1);
    QVERIFY(!child.readAllStandardOutput().contains("still running"));
}

// Run by the test above in a process of its own.
void TestSerialPorts::abortChild() {
    if (qgetenv("VYZ_TEST_ABORT_CHILD") != "1") QSKIP("runs as a child process");
    BoxAnswerer answerer({QMessageBox::Abort});
    form_->ConnectPort(33);
    QFAIL("still running");
}

// A port the user may not open is listed, and the question says how to get the right.
void TestSerialPorts::portWithoutRightsNamesTheDialoutGroup() {
    if (::geteuid() != 0) QSKIP("needs root to start the program as an unprivileged user");
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (setpriv.isEmpty()) QSKIP("setpriv (util-linux) is not installed");
    // The terminal belongs to root with mode 0600: the unprivileged user may not open it.
    QVERIFY(dev_->link("ttyUSB0", pty_->slavePath()));
    QCOMPARE(::chmod(pty_->slavePath().toLocal8Bit().constData(), 0600), 0);
    QFile::setPermissions(dev_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadOther | QFile::ExeOther);
    QTemporaryDir home;
    QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VYZ_TEST_NOACCESS_DEVROOT", dev_->path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home.path());
    env.remove("XDG_RUNTIME_DIR");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups",
                          QCoreApplication::applicationFilePath(), "noAccessChild"});
    QVERIFY(child.waitForFinished(30000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    QVERIFY2(child.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains("PASS   : TestSerialPorts::noAccessChild()"), qPrintable(output));
}

// Run by the test above as an unprivileged user.
void TestSerialPorts::noAccessChild() {
    const QByteArray root = qgetenv("VYZ_TEST_NOACCESS_DEVROOT");
    if (root.isEmpty()) QSKIP("runs as a child process");
    SetSerialDeviceRoot(root.toStdString());
    BoxAnswerer answerer({QMessageBox::Ignore});
    form_->ConnectPort(33);
    QVERIFY(!form_->Comm1.Enabled());
    QCOMPARE(answerer.texts().size(), 1);
    QVERIFY2(answerer.texts()[0].contains("ttyUSB0") && answerer.texts()[0].contains("dialout") &&
                 answerer.texts()[0].contains("sudo adduser $USER dialout"),
             qPrintable(answerer.texts()[0]));
}

void TestSerialPorts::selectSerialThenUsb() {
    QVERIFY(dev_->link("ttyUSB0", pty_->slavePath()));
    QVERIFY(dev_->link("ttyUSB3", pty_->slavePath()));
    BoxAnswerer answerer({QMessageBox::Ignore});
    form_->ACOM1Execute(nullptr); // (no sender: USB)
    QCOMPARE(IniValue(), QString("USB"));
    PortCount = EnumerateSerialPorts(PortNumbers);
    form_->FillPortMenu();
    form_->ACOM1Execute(form_->ACOM[1]); // ttyUSB3
    QCOMPARE(IniValue(), QString("36"));
    QVERIFY(form_->Comm1.Enabled());
    QVERIFY(!form_->AUSB->isChecked());
    QVERIFY(!form_->ACOM[0]->isChecked());
    QVERIFY(form_->ACOM[1]->isChecked());

    form_->SetFrmStatus(new TfrmStatus(form_.get()));
    form_->SelectPort(0);
    QCOMPARE(IniValue(), QString("USB"));
    // "USB-port is set", then the transport's own word on the library.
    const QString history = form_->frmStatus()->Memo1()->toPlainText();
    QVERIFY2(history.contains(QString::fromUtf8(": Выбран USB-порт\n")), qPrintable(history));
    QVERIFY2(StatusText(*form_) == QString::fromUtf8("USB-порт открыт") ||
                 StatusText(*form_) == QString::fromUtf8("USB-ошибка драйвера"),
             qPrintable(StatusText(*form_)));
    QVERIFY(!form_->Comm1.Enabled());
    QCOMPARE(form_->Comm1.DeviceName(), std::string("USB"));
    QVERIFY(form_->AUSB->isChecked());
    for (QAction* a : form_->ACOM)
        QVERIFY(!a->isChecked());

    // A refused port is still the stored choice.
    answerer.setAnswers({QMessageBox::Ignore});
    form_->SelectPort(40);
    QCOMPARE(IniValue(), QString("40"));
    QVERIFY(!form_->Comm1.Enabled());
}

void TestSerialPorts::startupSelection_data() {
    QTest::addColumn<QString>("stored"); // "<missing>": no key
    QTest::addColumn<bool>("usb");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("after");
    QTest::newRow("USB") << "USB" << true << ""
                         << "USB";
    QTest::newRow("usb") << "usb" << false << "ttyS0"
                         << "usb";
    QTest::newRow("0") << "0" << false << "ttyS0"
                       << "1";
    QTest::newRow("100") << "100" << false << "ttyS0"
                         << "1";
    QTest::newRow("99") << "99" << false << "rfcomm2"
                        << "99";
    QTest::newRow("missing") << "<missing>" << false << "ttyS0"
                             << "1";
    QTest::newRow("empty") << "" << false << "ttyS0"
                           << "1";
}

void TestSerialPorts::startupSelection() {
    QFETCH(QString, stored);
    QFETCH(bool, usb);
    QFETCH(QString, device);
    QFETCH(QString, after);
    QVERIFY(dev_->link("ttyS0", pty_->slavePath()));
    QVERIFY(dev_->link("rfcomm2", pty_->slavePath()));
    if (stored != "<missing>") IniWrite("Config", "COMPortNumber", stored.toStdString());
    BoxAnswerer answerer({QMessageBox::Ignore});
    form_->StartupPortSelection();
    QCOMPARE(IniValue(), after);
    QCOMPARE(form_->AUSB->isChecked(), usb);
    QCOMPARE(form_->Comm1.Enabled(), !usb);
    if (!usb) {
        QCOMPARE(QString::fromStdString(form_->Comm1.DeviceName()), dev_->path() + "/" + device);
        QCOMPARE(answerer.texts().size(), 1); // the line check on a pseudo-terminal
    } else {
        QVERIFY(answerer.texts().isEmpty());
    }
}

void TestSerialPorts::startupOpenErrorLeavesPortClosed() {
    QVERIFY(dev_->link("ttyS0", pty_->slavePath()));
    IniWrite("Config", "COMPortNumber", "1");
    form_->Comm1.SetDataBits(da4); // refused by the platform when the port is opened
    BoxAnswerer answerer;
    form_->StartupPortSelection(); // returns: start-up goes on
    QVERIFY(!form_->Comm1.Enabled());
    const QString text = QString("Error updating DataControlBlock (Error: %1)").arg(EINVAL);
    QCOMPARE(StatusText(*form_), text);
    QTRY_COMPARE(answerer.texts(), QStringList{text}); // shown once the window is up
    QCOMPARE(answerer.icons()[0], QMessageBox::Critical);
    form_->Comm1.SetDataBits(da8);
}

void TestSerialPorts::selectPortErrorIsShownAndTheChoiceKept() {
    QVERIFY(dev_->link("ttyUSB0", pty_->slavePath()));
    form_->Comm1.SetDataBits(da4);
    BoxAnswerer answerer;
    form_->SelectPort(33);
    QCOMPARE(answerer.texts(),
             QStringList{QString("Error updating DataControlBlock (Error: %1)").arg(EINVAL)});
    QCOMPARE(answerer.icons()[0], QMessageBox::Critical);
    QVERIFY(!form_->Comm1.Enabled());
    QCOMPARE(IniValue(), QString("33"));
    QVERIFY(form_->ACOM[0]->isChecked());
    form_->Comm1.SetDataBits(da8);
}

QTEST_MAIN(TestSerialPorts)
#include "test_serial_ports.moc"
