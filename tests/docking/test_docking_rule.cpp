// The docking rule as a table of window rectangles: which side a tool window docks to, which
// corners it is aligned with, and where the snap puts it.
#include "shell/docking.h"

#include <QTest>

using namespace vyz;

namespace {
// The main window in every case: left 100, top 100, 400 x 300 (right edge 500, bottom edge 400).
const QRect Main(100, 100, 400, 300);
} // namespace

class TestDockingRule : public QObject {
    Q_OBJECT
private slots:
    void dockState_data() {
        QTest::addColumn<QRect>("tool");
        QTest::addColumn<int>("state");
        QTest::newRow("top edge 9 below the bottom") << QRect(150, 409, 200, 100) << 0x81;
        QTest::newRow("top edge 10 below the bottom") << QRect(150, 410, 200, 100) << 0;
        QTest::newRow("top edge 9 inside the bottom") << QRect(150, 391, 200, 100) << 0x81;
        QTest::newRow("flush below, same left and width") << QRect(100, 400, 400, 100) << 0x8D;
        QTest::newRow("below, left edges 9 apart") << QRect(109, 400, 200, 100) << 0x85;
        QTest::newRow("below, right edges 9 apart") << QRect(291, 400, 200, 100) << 0x89;
        QTest::newRow("below, left edges 10 apart") << QRect(110, 400, 200, 100) << 0x81;
        QTest::newRow("above") << QRect(150, 0, 200, 95) << 0x80;
        QTest::newRow("above, both corners") << QRect(95, 0, 410, 100) << 0x8C;
        QTest::newRow("left") << QRect(0, 150, 95, 100) << 0x82;
        QTest::newRow("left, top aligned") << QRect(0, 105, 100, 100) << 0x86;
        QTest::newRow("left, full height") << QRect(0, 100, 100, 300) << 0x8E;
        QTest::newRow("right") << QRect(505, 150, 100, 100) << 0x83;
        QTest::newRow("right, bottom aligned") << QRect(500, 301, 100, 100) << 0x8B;
        // The first touching side in the order above, below, left, right decides.
        QTest::newRow("corner above-left: above wins") << QRect(0, 0, 100, 100) << 0x80;
        QTest::newRow("corner below-right: below wins") << QRect(500, 400, 100, 100) << 0x81;
        // Touching an edge's line without overlapping the main window along it.
        QTest::newRow("left edge, wholly below the bottom") << QRect(0, 420, 100, 100) << 0;
        QTest::newRow("left edge, wholly above the top") << QRect(0, -20, 100, 109) << 0;
        QTest::newRow("right edge, top on the bottom line") << QRect(500, 400, 100, 100) << 0x81;
        QTest::newRow("below, wholly right of it") << QRect(501, 400, 100, 100) << 0;
        QTest::newRow("below, wholly left of it") << QRect(0, 400, 99, 100) << 0;
        QTest::newRow("below, touching at the corner") << QRect(0, 400, 100, 100) << 0x81;
        QTest::newRow("far away") << QRect(700, 700, 100, 100) << 0;
    }
    void dockState() {
        QFETCH(QRect, tool);
        QFETCH(int, state);
        QCOMPARE(ComputeDockState(tool, Main), state);
    }

    void snap_data() {
        QTest::addColumn<QRect>("tool");
        QTest::addColumn<QRect>("snapped");
        QTest::newRow("below: up by 9") << QRect(150, 409, 200, 100) << QRect(150, 400, 200, 100);
        QTest::newRow("below, flush: unchanged")
            << QRect(100, 400, 400, 100) << QRect(100, 400, 400, 100);
        QTest::newRow("below, left corner")
            << QRect(105, 395, 200, 100) << QRect(100, 400, 200, 100);
        QTest::newRow("below, right corner")
            << QRect(295, 405, 200, 100) << QRect(300, 400, 200, 100);
        QTest::newRow("below, both corners: full width")
            << QRect(103, 404, 395, 100) << QRect(100, 400, 400, 100);
        QTest::newRow("above") << QRect(150, 0, 200, 95) << QRect(150, 5, 200, 95);
        QTest::newRow("left, both corners: full height")
            << QRect(0, 96, 95, 307) << QRect(5, 100, 95, 300);
        QTest::newRow("right, bottom corner")
            << QRect(505, 305, 100, 100) << QRect(500, 300, 100, 100);
        QTest::newRow("right, keeps its place along the edge")
            << QRect(495, 150, 100, 100) << QRect(500, 150, 100, 100);
        QTest::newRow("free: unchanged") << QRect(700, 700, 100, 100) << QRect(700, 700, 100, 100);
    }
    void snap() {
        QFETCH(QRect, tool);
        QFETCH(QRect, snapped);
        const QRect result = SnapGeometry(tool, Main, ComputeDockState(tool, Main));
        QCOMPARE(result, snapped);
        // A snapped window keeps its state: the snap is stable.
        QCOMPARE(ComputeDockState(result, Main), ComputeDockState(tool, Main));
    }
};

QTEST_GUILESS_MAIN(TestDockingRule)
#include "test_docking_rule.moc"
