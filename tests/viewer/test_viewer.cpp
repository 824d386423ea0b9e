// The display viewer against a thread that plays the USB worker's side of the image exchange:
// colour and monochrome images drawn, saved and put on the X clipboard (read back by another
// process), failed and missing workers, closing while a request is pending, several viewers, the
// settings and the colour dialogs.
#include "contract_worker.h"
#include "data/text_pair.h"
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

std::vector<uint8_t> ColourImage() {
    std::vector<uint8_t> image(ScreenColourSize);
    for (int i = 0; i < ScreenColourSize / 2; ++i) {
        const uint16_t w = uint16_t(i * 2654435761u >> 7);
        image[2 * i] = uint8_t(w);
        image[2 * i + 1] = uint8_t(w >> 8);
    }
    return image;
}

std::vector<uint8_t> MonoImage() {
    std::vector<uint8_t> image(ScreenColourSize, 0);
    for (int i = 0; i < ScreenMonoSize; ++i)
        image[i] = uint8_t(i * 37 + (i >> 5));
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

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
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

} // namespace

class TestViewer : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::shared_ptr<AutoResetEvent> request_, answered_;
    std::unique_ptr<ContractWorker> worker_;
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
    void StartWorker(ContractWorker::Reply reply) {
        worker_ = std::make_unique<ContractWorker>(request_, answered_);
        worker_->setReply(std::move(reply));
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
        worker_.reset();
        UsbWorkerRunning = false;
        WaitQueueIdle();
        const std::vector<TfrmScreenshot*> open =
            TfrmScreenshot::OpenViewers(); // destruction edits the list
        for (TfrmScreenshot* v : open)
            delete v;
    }

    void colourImage() {
        const std::vector<uint8_t> image = ColourImage();
        StartWorker({ScreenColourSize, image});
        auto* viewer = new TfrmScreenshot(Host());
        viewer->show();
        viewer->BtnGetPictureClick();
        const Picture expected = RenderColourPicture(image.data());
        QCOMPARE(viewer->Picture(), ToQImage(expected));
        QVERIFY(viewer->findChild<QPushButton*>("BtnPenColor")->isHidden());
        QVERIFY(viewer->findChild<QPushButton*>("BtnBackgroundColor")->isHidden());
        QVERIFY(viewer->findChild<QPushButton*>("btnOff")->isEnabled());
        const std::vector<uint8_t> bmp = EncodeBmp24(expected);
        QCOMPARE(ReadFile(Bmp()),
                 QByteArray(reinterpret_cast<const char*>(bmp.data()), qsizetype(bmp.size())));
        QCOMPARE(ClipboardSeenByAnotherProgram(), ToQImage(expected));
        QVERIFY(errors_.isEmpty());
        QCOMPARE(worker_->served(), 1);
        // A monochrome image after it brings the colour buttons back.
        worker_->setReply({ScreenMonoSize, MonoImage()});
        viewer->BtnGetPictureClick();
        QVERIFY(viewer->findChild<QPushButton*>("BtnPenColor")->isVisible());
        QVERIFY(viewer->findChild<QPushButton*>("BtnBackgroundColor")->isVisible());
    }

    void monoImageWithDefaultColours() {
        const std::vector<uint8_t> image = MonoImage();
        StartWorker({ScreenMonoSize, image});
        auto* viewer = new TfrmScreenshot(Host());
        viewer->show();
        viewer->BtnGetPictureClick();
        PixelMap map;
        UnpackMono(image.data(), map);
        QVERIFY(viewer->PixelMapData() == map);
        const Picture expected = RenderMonoPicture(map, {31, 44, 37}, {225, 234, 234});
        QCOMPARE(viewer->Picture(), ToQImage(expected));
        QVERIFY(viewer->findChild<QPushButton*>("BtnPenColor")->isVisible());
        QVERIFY(viewer->findChild<QPushButton*>("BtnBackgroundColor")->isVisible());
        const std::vector<uint8_t> bmp = EncodeBmp24(expected);
        QCOMPARE(ReadFile(Bmp()),
                 QByteArray(reinterpret_cast<const char*>(bmp.data()), qsizetype(bmp.size())));
        QCOMPARE(ClipboardSeenByAnotherProgram(), ToQImage(expected));
    }

    void keypadDisabledWhileWaiting() {
        StartWorker({ScreenMonoSize, MonoImage(), true, 300});
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
        for (const char* name : {"btnM", "btnUp", "btnOff", "btnAlt"})
            QVERIFY(viewer->findChild<QPushButton*>(name)->isEnabled());
    }

    void wrongSizeFailsWithoutDrawing() {
        // A good image first, then a reply whose size is neither format.
        StartWorker({ScreenMonoSize, MonoImage()});
        auto* viewer = new TfrmScreenshot(Host());
        viewer->show();
        viewer->BtnGetPictureClick();
        const QImage before = viewer->Picture();
        QFile::remove(Bmp());
        worker_->setReply({1000, {}});
        viewer->BtnGetPictureClick();
        QCOMPARE(worker_->served(), 2);
        QCOMPARE(viewer->Picture(), before);
        QVERIFY(!QFile::exists(Bmp()));
        QVERIFY(viewer->findChild<QPushButton*>("btnOff")->isEnabled());
        QVERIFY(!viewer->RequestPending());
    }

    void workerStoppingEndsTheWait() {
        StartWorker({ScreenMonoSize, MonoImage(), false}); // searches for ever
        auto* viewer = new TfrmScreenshot(Host());
        viewer->show();
        // The worker stops (as at program exit) while the viewer waits.
        QTimer::singleShot(100, [this] { worker_->stop(); });
        viewer->BtnGetPictureClick();
        QVERIFY(!viewer->RequestPending());
        QVERIFY(viewer->Picture().isNull());
        QVERIFY(!ScreenRequestQueue::instance().Busy());
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
        auto* viewer = new TfrmScreenshot(Host());
        QElapsedTimer t;
        t.start();
        viewer->BtnGetPictureClick();
        QVERIFY(t.elapsed() < 2000);
        QCOMPARE(status_, QStringList{message});
        QVERIFY(!request_->wait(0)); // nobody was asked
        QVERIFY(viewer->findChild<QPushButton*>("btnOff")->isEnabled());
    }

    void closedWhileTransferRuns() {
        StartWorker({ScreenColourSize, ColourImage(), true, 400});
        QPointer<TfrmScreenshot> viewer = new TfrmScreenshot(Host());
        viewer->show();
        QTimer::singleShot(100, viewer.data(),
                           [&] { viewer->findChild<QPushButton*>("BtnExit")->click(); });
        viewer->BtnGetPictureClick(); // returns once the operator closed the window
        QTRY_VERIFY_WITH_TIMEOUT(viewer.isNull(), 2000);
        // The window is gone, the worker still writes into the request's buffer, which the queue
        // keeps until the worker has answered.
        QVERIFY(ScreenRequestQueue::instance().Busy());
        WaitQueueIdle();
        QCOMPARE(worker_->served(), 1);
        QVERIFY(!QFile::exists(Bmp()));
        QVERIFY(TfrmScreenshot::OpenViewers().empty());
        QCOMPARE(ScreenBuffer.load(), nullptr);
    }

    void closedWhileWorkerSearches() {
        StartWorker({ScreenMonoSize, MonoImage(), false});
        QPointer<TfrmScreenshot> viewer = new TfrmScreenshot(Host());
        viewer->show();
        QTimer::singleShot(150, viewer.data(), [&] { viewer->close(); });
        viewer->BtnGetPictureClick();
        QTRY_VERIFY_WITH_TIMEOUT(viewer.isNull(), 2000);
        // The queue puts the worker's state back to idle; the worker gives up and answers.
        WaitQueueIdle();
        QCOMPARE(worker_->served(), 1);
        QCOMPARE(int(UsbState.load()), int(usIdle));
    }

    void closedBeforeTheWorkerTookTheRequest() {
        UsbWorkerRunning = true; // a worker busy elsewhere: it does not look at the event
        QPointer<TfrmScreenshot> viewer = new TfrmScreenshot(Host());
        viewer->show();
        QTimer::singleShot(50, viewer.data(), [&] { viewer->close(); });
        viewer->BtnGetPictureClick();
        QTRY_VERIFY_WITH_TIMEOUT(viewer.isNull(), 2000);
        QVERIFY(!ScreenRequestQueue::instance().Busy());
        QVERIFY(!request_->wait(0)); // the request was taken back
        QCOMPARE(ScreenBuffer.load(), nullptr);
    }

    void severalViewers() {
        const std::vector<uint8_t> mono = MonoImage();
        StartWorker({ScreenMonoSize, mono, true, 200});
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
        QCOMPARE(worker_->served(), 2);
        const std::vector<uint8_t*> buffers = worker_->buffers();
        QCOMPARE(buffers.size(), std::size_t(2));
        QVERIFY(buffers[0] != buffers[1]); // one request at a time, each into its own buffer
        QVERIFY(!first->Picture().isNull());
        QCOMPARE(first->Picture(), second->Picture());
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
        const std::vector<uint8_t> image = MonoImage();
        StartWorker({ScreenMonoSize, image});
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
        PixelMap map;
        UnpackMono(image.data(), map);
        const QImage expected = ToQImage(RenderMonoPicture(map, ink, {225, 234, 234}));
        QCOMPARE(viewer->Picture(), expected);
        QVERIFY(QFile::exists(Bmp()));
        QCOMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                 expected);
        QCOMPARE(IniRead("Screenshot", "PenColor", std::nullopt, 20),
                 std::to_string(accept ? 200 + 10 * 256 + 20 * 65536 : 2436127));
    }

    void unwritablePictureFileIsReported() {
        StartWorker({ScreenMonoSize, MonoImage()});
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
