// Docking with real top-level windows on an X server without a window manager (windows go where
// they are asked to): the snap a second after a move, and tool windows following the main window.
#include "link/usb_shared.h"
#include "platform/paths.h"
#include "shell/docking.h"
#include "shell/main_window.h"
#include "viewer/screenshot_window.h"

#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

using namespace vyz;

namespace {

// A plain tool window standing in for the message history window.
std::unique_ptr<QWidget> ToolWindow(const QRect& geometry, QWidget* main) {
    auto w = std::make_unique<QWidget>(nullptr, Qt::Window);
    w->setGeometry(geometry);
    new ToolWindowDock(w.get(), main);
    w->show();
    return w;
}

ToolWindowDock* DockOf(QWidget* w) {
    return w->findChild<ToolWindowDock*>();
}

} // namespace

class TestDockingWindows : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::unique_ptr<TForm1> main_;

    // Drags the main window to `to`, as the window system reports it: moved first, then told.
    // The main window's own move handler carries the docked windows along.
    void DragMain(const QPoint& to) {
        main_->move(to);
        QTRY_COMPARE(main_->pos(), to);
    }

private slots:
    void initTestCase() {
        InitProgramPaths(dir_.path().toStdString());
        main_ = std::make_unique<TForm1>();
        main_->setGeometry(200, 200, 482, 363);
        main_->show();
        QVERIFY(QTest::qWaitForWindowExposed(main_.get()));
        QCOMPARE(main_->frameGeometry(), QRect(200, 200, 482, 363));
    }

    void snapsAfterOneSecond_data() {
        QTest::addColumn<int>("gap");
        QTest::addColumn<bool>("snaps");
        QTest::newRow("9 pixels below") << 9 << true;
        QTest::newRow("10 pixels below") << 10 << false;
    }
    void snapsAfterOneSecond() {
        QFETCH(int, gap);
        QFETCH(bool, snaps);
        auto tool = ToolWindow(QRect(250, 900, 300, 100), main_.get());
        QVERIFY(QTest::qWaitForWindowExposed(tool.get()));
        const QRect main = main_->frameGeometry();
        tool->move(250, main.bottom() + 1 + gap); // the operator drops it there
        QTRY_COMPARE(tool->pos(), QPoint(250, main.bottom() + 1 + gap));
        QTest::qWait(200);
        QCOMPARE(tool->pos().y(), main.bottom() + 1 + gap); // not before the second is over
        if (snaps) {
            QCOMPARE(DockOf(tool.get())->DockState(), 0x81);
            QTRY_COMPARE_WITH_TIMEOUT(tool->pos(), QPoint(250, main.bottom() + 1), 3000);
            QCOMPARE(DockOf(tool.get())->DockState(), 0x81);
            QVERIFY(!DockOf(tool.get())->TimerSaveFormParam()->isActive());
        } else {
            QTest::qWait(1500);
            QCOMPARE(tool->pos(), QPoint(250, main.bottom() + 1 + gap));
            QCOMPARE(DockOf(tool.get())->DockState(), 0);
        }
    }

    void fullWidthSnapResizes() {
        const QRect main = main_->frameGeometry();
        auto tool = ToolWindow(QRect(main.x() + 4, main.bottom() + 1 + 3, main.width() - 10, 120),
                               main_.get());
        QVERIFY(QTest::qWaitForWindowExposed(tool.get()));
        QTRY_COMPARE_WITH_TIMEOUT(tool->frameGeometry(),
                                  QRect(main.x(), main.bottom() + 1, main.width(), 120), 3000);
        QCOMPARE(DockOf(tool.get())->DockState(), 0x8D);
    }

    void dockedWindowsFollowTheMainWindow() {
        main_->move(200, 200);
        QTRY_COMPARE(main_->pos(), QPoint(200, 200));
        const QRect main = main_->frameGeometry();
        // A history window flush below with the main window's left and width: 0x8D, the snap
        // changes nothing.
        auto history =
            ToolWindow(QRect(main.x(), main.bottom() + 1, main.width(), 100), main_.get());
        QVERIFY(QTest::qWaitForWindowExposed(history.get()));
        QTRY_COMPARE(DockOf(history.get())->DockState(), 0x8D);
        // A viewer, opened through the command, dropped against the main window's right edge.
        UsbWorkerRunning = false;
        main_->AScreenshotExecute();
        QCOMPARE(TfrmScreenshot::OpenViewers().size(), std::size_t(1));
        QPointer<TfrmScreenshot> viewer = TfrmScreenshot::OpenViewers().front();
        QCOMPARE(viewer->parentWidget(), main_.get());
        QVERIFY(main_->statusBar()->findChild<QPushButton*>("sbStatus")->text().contains("USB"));
        viewer->move(main.right() + 1 + 5, main.y() + 40);
        QTRY_COMPARE_WITH_TIMEOUT(viewer->pos(), QPoint(main.right() + 1, main.y() + 40), 3000);
        QCOMPARE(DockOf(viewer)->DockState(), 0x83);
        // A free window far away, and one the main window will come to touch.
        auto far = ToolWindow(QRect(1000, 50, 100, 100), main_.get());
        auto touched = ToolWindow(QRect(50, 100, 120, 80), main_.get()); // right edge at 170
        QVERIFY(QTest::qWaitForWindowExposed(touched.get()));
        QCOMPARE(DockOf(touched.get())->DockState(), 0);

        const QRect historyBefore = history->frameGeometry();
        const QRect viewerBefore = viewer->frameGeometry();
        DragMain({175, 120}); // moved by (-25, -80): its left edge comes to 175, 5 from `touched`
        const QPoint offset(-25, -80);
        QTRY_COMPARE(history->frameGeometry(), historyBefore.translated(offset));
        QTRY_COMPARE(viewer->frameGeometry(), viewerBefore.translated(offset));
        QCOMPARE(DockOf(history.get())->DockState(), 0x8D);
        QCOMPARE(DockOf(viewer)->DockState(), 0x83);
        QCOMPARE(far->pos(), QPoint(1000, 50));
        QCOMPARE(DockOf(touched.get())->DockState(), 0x82);
        QTRY_COMPARE_WITH_TIMEOUT(touched->pos(), QPoint(175 - 120, 100), 3000);

        // The viewer closes: the next drag moves only the history window.
        viewer->close();
        QTRY_VERIFY(viewer.isNull());
        QVERIFY(TfrmScreenshot::OpenViewers().empty());
        const QRect historyBefore2 = history->frameGeometry();
        DragMain({215, 230});
        QTRY_COMPARE(history->frameGeometry(), historyBefore2.translated(40, 110));
        // An operator's move away frees the history window.
        history->move(history->x(), history->y() + 200);
        QTRY_COMPARE(DockOf(history.get())->DockState(), 0);
    }
};

QTEST_MAIN(TestDockingWindows)
#include "test_docking_windows.moc"
