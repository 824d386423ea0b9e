// Docking of the tool windows (message history, display viewer) to the main window: a tool window
// left touching an edge of the main window snaps flush to it a second later and then travels with
// the main window.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <optional>
#include <vector>

class QWidget;

namespace vyz {

// DockState values: 0 free; otherwise DockDocked with the side in the two lowest bits and the
// aligned-edge flags.
enum DockFlags : int {
    DockAbove = 0x80,
    DockBelow = 0x81,
    DockLeft = 0x82,
    DockRight = 0x83,
    DockDocked = 0x80,
    DockSideMask = 0x03,
    DockFirstAligned = 0x04,  // left edges (above, below) or top edges (left, right)
    DockSecondAligned = 0x08, // right edges (above, below) or bottom edges (left, right)
};

// Two edges touch when their coordinates differ by less than this.
inline constexpr int SnapDistance = 10;

// The docking rule: the DockState of a tool window with bounds `tool` beside a main window with
// bounds `main` (outer window bounds, screen coordinates). Sides are tried in the order above,
// below, left, right; the first touching edge decides.
int ComputeDockState(const QRect& tool, const QRect& main);
// Where a tool window in `dockState` snaps to: flush against its side, aligned with the corners
// it is near, the full length of the edge when near both.
QRect SnapGeometry(const QRect& tool, const QRect& main, int dockState);

// Attached to a tool window (as its child object): watches the window's moves and resizes, keeps
// its DockState and the snap timer.
//
// The window system reports a move after it happened (there is no notice before it, as the
// Windows WM_MOVING message gives), so the rule looks at the bounds the windows have after the
// move. Moves that this class makes itself (the snap, following the main window) are not taken
// for the operator's.
class ToolWindowDock : public QObject {
    Q_OBJECT
public:
    ToolWindowDock(QWidget* toolWindow, QWidget* mainWindow);
    ~ToolWindowDock() override;
    int DockState() const { return dockState_; }
    QWidget* ToolWindow() const { return tool_; }
    QWidget* MainWindow() const { return main_; }
    // Recomputes DockState from the windows' present bounds and restarts the snap timer.
    void CheckDockedState();
    // The snap (the timer's tick): moves a docked window flush to the main window.
    void TimerSaveFormParamTimer();
    // The main window moved by `offset`: a docked window follows, a free one checks whether the
    // main window now touches it.
    void FollowMainWindow(const QPoint& offset);
    QTimer* TimerSaveFormParam() { return &timer_; }

    // The docks of the open tool windows, in the order they were attached.
    static const std::vector<ToolWindowDock*>& All();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RestartTimer();
    void PlaceTool(const QRect& outer);

    QWidget* tool_;
    QWidget* main_;
    int dockState_ = 0;
    QTimer timer_;
    std::optional<QRect> placing_; // the bounds of our own move until the window reports it
    QElapsedTimer placingSince_;
};

// Outer bounds of a top-level window (its frame, where the window system draws one).
QRect OuterBounds(const QWidget* window);

} // namespace vyz
