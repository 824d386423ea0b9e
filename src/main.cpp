#include "platform/paths.h"
#include "shell/main_window.h"

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    // The program places its own windows (stored geometry, docking tool windows), which a Wayland
    // compositor does not allow: run on X11 (XWayland) unless the user chose a platform.
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("WAYLAND_DISPLAY") && std::getenv("DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    vyz::InitProgramPaths(QCoreApplication::applicationDirPath().toStdString());
    vyz::TForm1 window;
    window.FormCreate();
    window.show();
    return app.exec();
}
