#include "shell/docking.h"

#include "shell/main_window.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QWidget>
#include <cstdlib>

namespace vyz {

namespace {

bool Touch(int a, int b) {
    return std::abs(a - b) < SnapDistance;
}

std::vector<ToolWindowDock*>& docks() {
    static std::vector<ToolWindowDock*> list;
    return list;
}

// How long a move of our own may take to be reported before the window's moves count as the
// operator's again (a window manager may place the window elsewhere than asked).
constexpr int PlacingGraceMs = 500;

} // namespace

int ComputeDockState(const QRect& tool, const QRect& main) {
    const int l = tool.x(), t = tool.y(), w = tool.width(), h = tool.height();
    const int L = main.x(), T = main.y(), W = main.width(), H = main.height();
    int state;
    if (Touch(t + h, T))
        state = DockAbove;
    else if (Touch(t, T + H))
        state = DockBelow;
    else if (Touch(l + w, L))
        state = DockLeft;
    else if (Touch(l, L + W))
        state = DockRight;
    else
        return 0;
    if ((state & DockSideMask) >= 2) {
        if (t + h < T || t > T + H) return 0;
        if (Touch(t, T)) state |= DockFirstAligned;
        if (Touch(t + h, T + H)) state |= DockSecondAligned;
    } else {
        if (l + w < L || l > L + W) return 0;
        if (Touch(l, L)) state |= DockFirstAligned;
        if (Touch(l + w, L + W)) state |= DockSecondAligned;
    }
    return state;
}

QRect SnapGeometry(const QRect& tool, const QRect& main, int dockState) {
    if (!(dockState & DockDocked)) return tool;
    QRect r = tool;
    const int L = main.x(), T = main.y(), W = main.width(), H = main.height();
    const bool first = dockState & DockFirstAligned;
    const bool second = dockState & DockSecondAligned;
    switch (dockState & DockSideMask) {
    case 0:
        r.moveTop(T - r.height());
        break;
    case 1:
        r.moveTop(T + H);
        break;
    case 2:
        r.moveLeft(L - r.width());
        break;
    case 3:
        r.moveLeft(L + W);
        break;
    }
    if ((dockState & DockSideMask) < 2) {
        if (first) {
            r.moveLeft(L);
            if (second) r.setWidth(W);
        } else if (second) {
            r.moveLeft(L + W - r.width());
        }
    } else {
        if (first) {
            r.moveTop(T);
            if (second) r.setHeight(H);
        } else if (second) {
            r.moveTop(T + H - r.height());
        }
    }
    return r;
}

QRect OuterBounds(const QWidget* window) {
    return window->frameGeometry();
}

ToolWindowDock::ToolWindowDock(QWidget* toolWindow, QWidget* mainWindow)
    : QObject(toolWindow), tool_(toolWindow), main_(mainWindow) {
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &ToolWindowDock::TimerSaveFormParamTimer);
    timer_.start();
    tool_->installEventFilter(this);
    docks().push_back(this);
}

ToolWindowDock::~ToolWindowDock() {
    std::erase(docks(), this);
}

const std::vector<ToolWindowDock*>& ToolWindowDock::All() {
    return docks();
}

void ToolWindowDock::RestartTimer() {
    timer_.stop();
    timer_.setInterval(1000);
    timer_.start();
}

void ToolWindowDock::CheckDockedState() {
    RestartTimer();
    dockState_ = ComputeDockState(OuterBounds(tool_), OuterBounds(main_));
}

void ToolWindowDock::PlaceTool(const QRect& outer) {
    const QRect now = OuterBounds(tool_);
    if (outer == now) return;
    placing_ = outer;
    placingSince_.start();
    if (outer.size() != now.size()) {
        // The frame adds the same to the width and height of any size of the window.
        tool_->resize(tool_->size() + outer.size() - now.size());
    }
    tool_->move(outer.topLeft());
}

void ToolWindowDock::TimerSaveFormParamTimer() {
    if (dockState_ == 0) return;
    timer_.stop();
    PlaceTool(SnapGeometry(OuterBounds(tool_), OuterBounds(main_), dockState_));
}

void ToolWindowDock::FollowMainWindow(const QPoint& offset) {
    RestartTimer();
    if (dockState_ != 0) {
        const QRect now = OuterBounds(tool_);
        PlaceTool(now.translated(offset));
    } else {
        CheckDockedState();
    }
}

bool ToolWindowDock::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == tool_ &&
        (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show) &&
        tool_->isVisible()) {
        if (placing_) {
            if (OuterBounds(tool_) == *placing_) {
                placing_.reset();
                return false;
            }
            if (placingSince_.elapsed() < PlacingGraceMs) return false;
            placing_.reset();
        }
        CheckDockedState();
    }
    return QObject::eventFilter(watched, event);
}

void TForm1::CatchDrag(const QPoint& oldTopLeft, const QPoint& newTopLeft) {
    const QPoint offset = newTopLeft - oldTopLeft;
    // The history window was attached at start-up, so it comes first, then the open viewers.
    for (ToolWindowDock* dock : ToolWindowDock::All())
        if (dock->MainWindow() == this) dock->FollowMainWindow(offset);
}

} // namespace vyz
