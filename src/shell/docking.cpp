#include "shell/docking.h"

#include "shell/main_window.h"

namespace vyz {

ToolWindowDock::ToolWindowDock(QWidget* toolWindow, QWidget* mainWindow)
    : QObject(reinterpret_cast<QObject*>(toolWindow)), tool_(toolWindow), main_(mainWindow) {}

void ToolWindowDock::CheckDockedState() {}

void TForm1::CatchDrag(const QPoint&, const QPoint&) {}

} // namespace vyz
