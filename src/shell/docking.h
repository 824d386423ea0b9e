// Docking of the tool windows (message history, display viewer) to the main window: a tool window
// left touching an edge of the main window snaps flush to it a second later and then travels with
// the main window.
#pragma once

#include <QObject>
#include <QRect>

class QTimer;
class QWidget;

namespace vyz {

// Attached to a tool window: watches its moves and resizes, keeps its DockState and snap timer.
class ToolWindowDock : public QObject {
    Q_OBJECT
public:
    ToolWindowDock(QWidget* toolWindow, QWidget* mainWindow);
    int DockState() const { return dockState_; }
    // Recomputes DockState from the windows' present bounds and restarts the snap timer.
    void CheckDockedState();

private:
    QWidget* tool_;
    QWidget* main_;
    int dockState_ = 0;
};

} // namespace vyz
