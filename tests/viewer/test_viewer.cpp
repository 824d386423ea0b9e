// The display viewer against the real USB worker, which runs the real libusb-0.1.so.4 over the
// emulated usbfs of the simulated instrument: colour and monochrome images drawn, saved
// and put on the X clipboard (read back by another process), failed exchanges, no instrument, no
// worker, closing while the worker searches or transfers, several viewers, the settings and the
// colour dialogs.
#include "../usb/usb_test_support.h"
#include "data/text_pair.h"
#include "link/libusb_transport.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "viewer/screenshot_window.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace vyz;

namespace {

// The image the simulated instrument sends (byte i is i * 7 + 3), in a receive buffer.
std::vector<uint8_t> SimImage(int size) {
    std::vector<uint8_t> image(ColourImageBytes, 0);
    for (int i = 0; i < size; ++i)
        image[i] = uint8_t(i * 7 + 3);
    return image;
}

QImage ToQImage(const Picture& p) {
    QImage image(PictureWidth, PictureHeight, QImage::Format_RGB32);
    for (int y = 0; y < PictureHeight; ++y)
        for (int x = 0; x < PictureWidth; ++x) {
            const Rgb c = p.at(x, y);
            image.setPixel(x, y, qRgb(c.r, c.g, c.b));
        }
    return image;
}

Picture SimMonoPicture(Rgb ink = {31, 44, 37}, Rgb paper = {225, 234, 234}) {
    PixelMap map;
    UnpackMono(SimImage(MonoImageBytes).data(), map);
    return RenderMonoPicture(map, ink, paper);
}

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray BmpBytes(const Picture& picture) {
    const std::vector<uint8_t> bmp = EncodeBmp24(picture);
    return QByteArray(reinterpret_cast<const char*>(bmp.data()), qsizetype(bmp.size()));
}

// The picture on the clipboard. On a real X server another process (xclip) reads it as a PNG
// image, as any other program would, while this one serves the selection; on Qt's offscreen
// platform (the run under ThreadSanitizer) the clipboard is only this process's own.
QImage ClipboardSeenByAnotherProgram() {
    if (QGuiApplication::platformName() != "xcb")
        return QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    QProcess xclip;
    xclip.start("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"});
    if (!xclip.waitForStarted(5000)) return {};
    QElapsedTimer t;
    t.start();
    while (xclip.state() != QProcess::NotRunning && t.elapsed() < 10000) {
        QCoreApplication::processEvents();
        xclip.waitForFinished(10);
    }
    return QImage::fromData(xclip.readAllStandardOutput(), "PNG")
        .convertToFormat(QImage::Format_RGB32);
}

const QString ScreenCommand = "write 2 04FB -> 2"; // the display-image request in the trace
const QString ReadingStatus = QString::fromUtf8("Чтение образа экрана...");
const QString ReadStatus = QString::fromUtf8("Образ экрана считан");
const QString ExchangeErrorStatus = QString::fromUtf8("Ошибка обмена при чтении скриншота");

} // namespace

class TestViewer : public QObject {
    Q_OBJECT

    usbtest::SimScenario sim_;
    QTemporaryDir dir_;
    std::shared_ptr<AutoResetEvent> request_, answered_;
    // The worker's side of the main window (status lines, indicator), recorded.
    usbtest::RecordingHost workerHost_;
    std::unique_ptr<USBThread> worker_;
    std::unique_ptr<QWidget> main_;
    QStringList status_, errors_;
    int help_ = 0;

    ViewerHost Host() {
        ViewerHost host;
        host.mainWindow = main_.get();
        host.events = {request_, answered_};
        host.statusMessage = [this](const QString& s) { status_ << s; };
        host.errorMessage = [this](const QString& s) { errors_ << s; };
        host.help = [this] { ++help_; };
        return host;
    }
    // Starts the real worker on the simulated instrument playing `scenario`.
    void StartWorker(const QStringList& scenario, UsbPauses pauses = usbtest::FastPauses()) {
        sim_.Set(scenario);
        workerHost_.Forget();
        workerHost_.events = {std::make_shared<AutoResetEvent>(false),
                              std::make_shared<AutoResetEvent>(false), request_, answered_};
        worker_ = std::make_unique<USBThread>(workerHost_, LibUSB, pauses);
        worker_->Start();
    }
    void StopWorker() {
        if (!worker_) return;
        worker_->Terminate();
        QVERIFY(worker_->WaitFor(10000));
        worker_.reset();
    }
    QStringList WorkerStatuses() {
        QStringList s;
        for (const QString& c : workerHost_.CallsStarting("status:"))
            s << c.mid(7);
        return s;
    }
    static void WaitQueueIdle() {
        QTRY_VERIFY_WITH_TIMEOUT(!ScreenRequestQueue::instance().Busy(), 5000);
    }
    QString Bmp() const { return dir_.filePath("Screenshot.bmp"); }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        InitProgramPaths(dir_.path().toStdString());
        main_ = std::make_unique<QWidget>();
        main_->setGeometry(100, 100, 482, 363);
        main_->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
    }
    void init() {
        request_ = std::make_shared<AutoResetEvent>(false);
        answered_ = std::make_shared<AutoResetEvent>(false);
        QFile::remove(QString::fromStdString(IniFileName()));
        QFile::remove(Bmp());
        status_.clear();
        errors_.clear();
        LangIndex = 0;
    }
    void cleanup() {
        WaitQueueIdle();
        StopWorker();
        QVERIFY(!UsbWorkerRunning);
        QVERIFY(!LibUSB.isLibraryLoaded());
        const std::vector<TfrmScreenshot*> open =
            TfrmScreenshot::OpenViewers(); // destruction edits the list
        for (TfrmScreenshot* v : open)
            delete v;
    }

    void colourImage() {
        StartWorker({"screen=colour"});
        auto* viewer = new TfrmScreenshot(Host());
        viewer->show();
        viewer->BtnGetPictureClick();
        const Picture expected = RenderColourPicture(SimImage(ColourImageBytes).data());
        QCOMPARE(viewer->Picture(), ToQImage(expected));
        QVERIFY(viewer->findChild<QPushButton*>("BtnPenColor")->isHidden());
        QVERIFY(viewer->findChild<QPushButton*>("BtnBackgroundColor")->isHidden());
        QVERIFY(viewer->findChild<QPushButton*>("btnOff")->isEnabled());
        QCOMPARE(ReadFile(Bmp()), BmpBytes(expected));
        QCOMPARE(ClipboardSeenByAnotherProgram(), ToQImage(expected));
        QVERIFY(errors_.isEmpty());
        QCOMPARE(WorkerStatuses(), (QStringList{ReadingStatus, ReadStatus}));
        QCOMPARE(sim_.Trace().count(ScreenCommand), 1);
        // A monochrome image after it brings the colour buttons back.
        sim_.Set({"screen=mono"});
        viewer->BtnGetPictureClick();
        QCOMPARE(viewer->Picture(), ToQImage(SimMonoPicture()));
        QVERIFY(viewer->findChild<QPushButton*>("BtnPenColor")->isVisible());
        QVERIFY(viewer->findChild<QPushButton*>("BtnBackgroundColor")->isVisible());
    }

    void monoImageWithDefaultColours() {
        StartWorker({"screen=mono"});
        auto* viewer = new TfrmScreenshot(Host());
        viewer->show();
        viewer->BtnGetPictureClick();
        PixelMap map;
        UnpackMono(SimImage(MonoImageBytes).data(), map);
        QVERIFY(viewer->PixelMapData() == map);
        const Picture expected = SimMonoPicture();
        QCOMPARE(viewer->Picture(), ToQImage(expected));
        QVERIFY(viewer->findChild<QPushButton*>("BtnPenColor")->isVisible());
        QVERIFY(viewer->findChild<QPushButton*>("BtnBackgroundColor")->isVisible());
        QCOMPARE(ReadFile(Bmp()), BmpBytes(expected));
        QCOMPARE(ClipboardSeenByAnotherProgram(), ToQImage(expected));
    }

    // The instrument is plugged in while the worker searches for it: the viewer keeps waiting and
    // gets the image.
    void instrumentAttachedWhileWaiting() {
        StartWorker({"screen=mono", "attach_after_searches=4"});
        auto* viewer = new TfrmScreenshot(Host());
        viewer->show();
        viewer->BtnGetPictureClick();
        QCOMPARE(viewer->Picture(), ToQImage(SimMonoPicture()));
        const QStringList trace = sim_.Trace();
        QVERIFY(trace.count("find none") >= 3);
        QVERIFY(trace.indexOf(ScreenCommand) > trace.lastIndexOf("find none"));
    }

    void keypadDisabledWhileWaiting() {
        UsbPauses slow = usbtest::FastPauses();
        slow.beforeScreen = 400; // the exchange takes a while
        StartWorker({"screen=mono"}, slow);
        auto* viewer = new TfrmScreenshot(Host());
        viewer->show();
        int disabledSeen = 0;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            if (viewer->RequestPending() &&
                !viewer->findChild<QPushButton*>("btnOff")->isEnabled() &&
                !viewer->findChild<QPushButton*>("btnAlt")->isEnabled())
                ++disabledSeen;
        });
        probe.start(20);
        viewer->BtnGetPictureClick();
        probe.stop();
        QVERIFY(disabledSeen > 3); // the interface kept running while the viewer waited
        QVERIFY(!viewer->Picture().isNull());
        for (const char* name : {"btnM", "btnUp", "btnOff", "btnAlt"})
            QVERIFY(viewer->findChild<QPushButton*>(name)->isEnabled());
    }

    // An exchange that fails after a good image: nothing drawn, saved or copied, the worker says
    // why, and the keypad is usable again.
    void failedExchangeDrawsNothing_data() {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<QString>("status");
        QTest::newRow("size neither format")
            << QStringList{"screen_size=1000"} << ExchangeErrorStatus;
        QTest::newRow("image transfer fails")
            << QStringList{"screen=mono", "fail_transfer=3", "fail_code=-5"}
            << QString::fromStdString(TLibUsb::ErrorText(-5, 0));
        QTest::newRow("no answer to the size")
            << QStringList{"hang_transfer=2", "hang_ms=300"}
            << QString::fromStdString(TLibUsb::ErrorText(-110, 0));
    }
    void failedExchangeDrawsNothing() {
        QFETCH(QStringList, scenario);
        QFETCH(QString, status);
        StartWorker({"screen=mono"});
        auto* viewer = new TfrmScreenshot(Host());
        viewer->show();
        viewer->BtnGetPictureClick();
        const QImage before = viewer->Picture();
        QVERIFY(!before.isNull());
        QFile::remove(Bmp());
        QGuiApplication::clipboard()->clear();
        workerHost_.Forget();
        sim_.Set(scenario);
        viewer->BtnGetPictureClick();
        QCOMPARE(ScreenReadResult.load(), int(usbResultFailed));
        QCOMPARE(sim_.Trace().count(ScreenCommand), 1);
        QVERIFY(WorkerStatuses().contains(status));
        QCOMPARE(viewer->Picture(), before);
        QVERIFY(!QFile::exists(Bmp()));
        QVERIFY(QGuiApplication::clipboard()->image().isNull());
        QVERIFY(viewer->findChild<QPushButton*>("btnOff")->isEnabled());
        QVERIFY(!viewer->RequestPending());
    }

    void workerStoppingEndsTheWait() {
        StartWorker({"devices="}); // no instrument: the worker searches for ever
        auto* viewer = new TfrmScreenshot(Host());
        viewer->show();
        // The worker is told to stop (as at program exit) while the viewer waits.
        QTimer::singleShot(150, [this] { worker_->Terminate(); });
        QElapsedTimer t;
        t.start();
        viewer->BtnGetPictureClick();
        QVERIFY(t.elapsed() < 5000);
        QVERIFY(!viewer->RequestPending());
        QVERIFY(viewer->Picture().isNull());
        QVERIFY(!ScreenRequestQueue::instance().Busy());
        QVERIFY(sim_.Trace().contains("find none"));
    }

    void noWorkerSaysUsbOnly_data() {
        QTest::addColumn<int>("lang");
        QTest::addColumn<QString>("message");
        QTest::newRow("ru") << 0
                            << QString::fromUtf8(
                                   "Экран прибора считывается только через USB: выберите порт USB");
        QTest::newRow("en")
            << 1
            << QString("The instrument's display can only be read over USB: choose the USB port");
    }
    void noWorkerSaysUsbOnly() {
        QFETCH(int, lang);
        QFETCH(QString, message);
        LangIndex = int8_t(lang);
        QVERIFY(!UsbWorkerRunning);
        auto* viewer = new TfrmScreenshot(Host());
        QElapsedTimer t;
        t.start();
        viewer->BtnGetPictureClick();
        QVERIFY(t.elapsed() < 2000);
        QCOMPARE(status_, QStringList{message});
        QVERIFY(!request_->wait(0)); // nobody was asked
        QVERIFY(viewer->findChild<QPushButton*>("btnOff")->isEnabled());
    }

    // The operator closes the viewer while the image comes in: the worker gives the exchange up at
    // its next transfer and says nothing; the request's buffer stays with the queue until then.
    void closedWhileTransferRuns() {
        // The 8th row of the colour image (transfer 10) takes 1.5 s and then fails.
        StartWorker({"screen=colour", "hang_transfer=10", "hang_ms=1500"});
        QPointer<TfrmScreenshot> viewer = new TfrmScreenshot(Host());
        viewer->show();
        QTimer probe;
        connect(&probe, &QTimer::timeout, viewer.data(), [&] {
            if (sim_.Trace().count("read 640 -> 640") == 7) {
                probe.stop();
                viewer->findChild<QPushButton*>("BtnExit")->click();
            }
        });
        probe.start(10);
        viewer->BtnGetPictureClick(); // returns once the operator closed the window
        QTRY_VERIFY_WITH_TIMEOUT(viewer.isNull(), 2000);
        QVERIFY(ScreenRequestQueue::instance().Busy()); // the worker is still in the transfer
        WaitQueueIdle();
        QCOMPARE(ScreenReadResult.load(), int(usbResultCancelled));
        const QStringList trace = sim_.Trace();
        QCOMPARE(trace.count("read 640 -> 640"), 7);
        QCOMPARE(trace.count("read 640 -> -110"), 1);
        QCOMPARE(trace.last(), QString("close"));
        QCOMPARE(WorkerStatuses(), QStringList{ReadingStatus}); // no error shown
        QVERIFY(!QFile::exists(Bmp()));
        QVERIFY(TfrmScreenshot::OpenViewers().empty());
        QCOMPARE(ScreenBuffer.load(), nullptr);
        QCOMPARE(int(UsbState.load()), int(usIdle));
    }

    void closedWhileWorkerSearches() {
        StartWorker({"devices="});
        QPointer<TfrmScreenshot> viewer = new TfrmScreenshot(Host());
        viewer->show();
        QTimer::singleShot(150, viewer.data(), [&] { viewer->close(); });
        viewer->BtnGetPictureClick();
        QTRY_VERIFY_WITH_TIMEOUT(viewer.isNull(), 2000);
        // The queue puts the worker's state back to idle; the worker gives up and answers.
        WaitQueueIdle();
        QCOMPARE(ScreenReadResult.load(), int(usbResultCancelled));
        QCOMPARE(int(UsbState.load()), int(usIdle));
        QVERIFY(sim_.Trace().contains("find none"));
        QVERIFY(WorkerStatuses().isEmpty());
        // The worker is free again: the next viewer gets its image once the instrument is there.
        sim_.Set({"screen=mono"});
        auto* next = new TfrmScreenshot(Host());
        next->show();
        next->BtnGetPictureClick();
        QCOMPARE(next->Picture(), ToQImage(SimMonoPicture()));
    }

    void closedBeforeTheWorkerTookTheRequest() {
        // The worker is busy with an archive read whose first transfer takes a second: it does
        // not look at the image request meanwhile.
        StartWorker({"hang_transfer=1", "hang_ms=1000"});
        workerHost_.events.dataRd->set();
        QTRY_VERIFY_WITH_TIMEOUT(UsbState.load() == usReadIdentity, 5000);
        QPointer<TfrmScreenshot> viewer = new TfrmScreenshot(Host());
        viewer->show();
        QTimer::singleShot(50, viewer.data(), [&] { viewer->close(); });
        viewer->BtnGetPictureClick();
        QTRY_VERIFY_WITH_TIMEOUT(viewer.isNull(), 2000);
        QVERIFY(!ScreenRequestQueue::instance().Busy());
        QVERIFY(!request_->wait(0)); // the request was taken back
        QCOMPARE(ScreenBuffer.load(), nullptr);
        // The archive read ends, and the worker never starts the image exchange.
        QVERIFY(workerHost_.events.dataReaded->wait(5000));
        QTest::qWait(200);
        QCOMPARE(sim_.Trace().count(ScreenCommand), 0);
    }

    void severalViewers() {
        UsbPauses slow = usbtest::FastPauses();
        slow.beforeScreen = 200;
        StartWorker({"screen=mono"}, slow);
        auto* first = new TfrmScreenshot(Host());
        first->show();
        TfrmScreenshot* second = nullptr;
        // The operator opens a second viewer while the first one waits.
        QTimer::singleShot(50, [&] {
            second = new TfrmScreenshot(Host());
            second->show();
            second->BtnGetPictureClick();
        });
        first->BtnGetPictureClick();
        QTRY_VERIFY_WITH_TIMEOUT(second && !second->RequestPending(), 5000);
        // One exchange after the other, each into its own viewer.
        const QStringList trace = sim_.Trace();
        QCOMPARE(trace.count(ScreenCommand), 2);
        QVERIFY(trace.indexOf("close") < trace.lastIndexOf(ScreenCommand));
        QCOMPARE(first->Picture(), ToQImage(SimMonoPicture()));
        QCOMPARE(second->Picture(), ToQImage(SimMonoPicture()));
        QCOMPARE(TfrmScreenshot::OpenViewers().size(), std::size_t(2));
        first->close();
        QTRY_COMPARE(TfrmScreenshot::OpenViewers().size(), std::size_t(1));
        QCOMPARE(TfrmScreenshot::OpenViewers().front(), second);
    }

    void position_data() {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("top");
        QTest::addColumn<QPoint>("expected");
        const int screenW = QGuiApplication::primaryScreen()->geometry().width();
        const int screenH = QGuiApplication::primaryScreen()->geometry().height();
        // The viewer is 339 x 310; the main window 482 x 363 at (100, 100).
        const QPoint centred(100 + (482 - 339) / 2, 100 + (363 - 310) / 2);
        QTest::newRow("no section: centred") << QString() << QString() << centred;
        QTest::newRow("stored") << "40"
                                << "60" << QPoint(40, 60);
        QTest::newRow("not numbers: centred") << "abc"
                                              << "1e3" << centred;
        QTest::newRow("too far right and down")
            << "5000"
            << "5000" << QPoint(screenW - 339, screenH - 310 - 25);
        QTest::newRow("negative") << "-20"
                                  << "-1" << QPoint(0, 0);
    }
    void position() {
        QFETCH(QString, left);
        QFETCH(QString, top);
        QFETCH(QPoint, expected);
        if (!left.isNull()) IniWrite("Screenshot", "Left", left.toStdString());
        if (!top.isNull()) IniWrite("Screenshot", "Top", top.toStdString());
        auto* viewer = new TfrmScreenshot(Host());
        QCOMPARE(viewer->pos(), expected);
        QCOMPARE(viewer->windowTitle(), QString::fromUtf8("Экран прибора"));
    }

    void activationKeepsTheWindowOnTheScreen() {
        auto* viewer = new TfrmScreenshot(Host());
        viewer->move(-50, -40);
        viewer->show();
        viewer->activateWindow();
        QTRY_COMPARE(viewer->pos(), QPoint(0, 0));
    }

    void closingStoresThePosition() {
        auto* viewer = new TfrmScreenshot(Host());
        viewer->move(210, 230);
        viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(viewer));
        viewer->close();
        QCOMPARE(IniRead("Screenshot", "Left", std::nullopt), std::string("210"));
        QCOMPARE(IniRead("Screenshot", "Top", std::nullopt), std::string("230"));
    }

    void colours_data() {
        QTest::addColumn<QString>("pen");
        QTest::addColumn<QString>("background");
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<QColor>("paper");
        QTest::newRow("defaults") << QString() << QString() << QColor(31, 44, 37)
                                  << QColor(225, 234, 234);
        QTest::newRow("stored") << "255"
                                << "65280" << QColor(255, 0, 0) << QColor(0, 255, 0);
        QTest::newRow("not numbers") << "red"
                                     << "" << QColor(0, 0, 255) << QColor(255, 255, 255);
    }
    void colours() {
        QFETCH(QString, pen);
        QFETCH(QString, background);
        QFETCH(QColor, ink);
        QFETCH(QColor, paper);
        if (!pen.isNull()) IniWrite("Screenshot", "PenColor", pen.toStdString());
        if (!background.isNull())
            IniWrite("Screenshot", "BackgroundColor", background.toStdString());
        auto* viewer = new TfrmScreenshot(Host());
        QCOMPARE(viewer->PenColorDialog()->currentColor(), ink);
        QCOMPARE(viewer->BackgroundColorDialog()->currentColor(), paper);
    }

    void colourDialog_data() {
        QTest::addColumn<bool>("accept");
        QTest::newRow("cancelled") << false;
        QTest::newRow("accepted") << true;
    }
    void colourDialog() {
        QFETCH(bool, accept);
        StartWorker({"screen=mono"});
        auto* viewer = new TfrmScreenshot(Host());
        viewer->show();
        viewer->BtnGetPictureClick();
        QFile::remove(Bmp());
        QGuiApplication::clipboard()->clear();
        QTimer::singleShot(100, [&] {
            QColorDialog* dialog = viewer->PenColorDialog();
            if (accept) {
                dialog->setCurrentColor(QColor(200, 10, 20));
                dialog->accept();
            } else {
                dialog->setCurrentColor(QColor(1, 2, 3)); // chosen, then cancelled
                dialog->reject();
            }
        });
        viewer->findChild<QPushButton*>("BtnPenColor")->click();
        const Rgb ink = accept ? Rgb{200, 10, 20} : Rgb{31, 44, 37};
        const QImage expected = ToQImage(SimMonoPicture(ink));
        QCOMPARE(viewer->Picture(), expected);
        QVERIFY(QFile::exists(Bmp()));
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 expected);
        QCOMPARE(IniRead("Screenshot", "PenColor", std::nullopt, 20),
                 std::to_string(accept ? 200 + 10 * 256 + 20 * 65536 : 2436127));
    }

    void unwritablePictureFileIsReported() {
        StartWorker({"screen=mono"});
        auto* viewer = new TfrmScreenshot(Host());
        viewer->ScreenshotPath = dir_.filePath("missing/Screenshot.bmp");
        viewer->show();
        viewer->BtnGetPictureClick();
        QCOMPARE(errors_.size(), 1);
        QVERIFY(errors_[0].contains("missing/Screenshot.bmp"));
        // The picture is still shown and copied, and the keypad is usable again.
        QVERIFY(!viewer->Picture().isNull());
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 viewer->Picture());
        QVERIFY(viewer->findChild<QPushButton*>("btnOff")->isEnabled());
    }

    void offAndF1() {
        auto* viewer = new TfrmScreenshot(Host());
        QPointer<TfrmScreenshot> guard = viewer;
        viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(viewer));
        QTest::keyClick(viewer->findChild<QPushButton*>("BtnExit"), Qt::Key_F1);
        QCOMPARE(help_, 1);
        viewer->findChild<QPushButton*>("btnOff")->click();
        QTRY_VERIFY(guard.isNull());
    }
};

QTEST_MAIN(TestViewer)
#include "test_viewer.moc"
