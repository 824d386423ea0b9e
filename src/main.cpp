#include "data/lang_texts.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "shell/image_list.h"
#include "shell/main_window.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    const ssize_t n = ::write(signalPipe[1], &byte, 1);
    (void)n;
}

// A request to end the program from outside (session logout, kill, Ctrl+C in a terminal) closes
// the main window, which runs the whole exit sequence.
void CloseOnTerminationSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte;
        const ssize_t n = ::read(signalPipe[0], &byte, 1);
        (void)n;
        if (vyz::Form1) vyz::Form1->close();
    });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

} // namespace

int main(int argc, char** argv) {
    // The program places its own windows (stored geometry, docking tool windows), which a Wayland
    // compositor does not allow: run on X11 (XWayland) unless the user chose a platform.
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("WAYLAND_DISPLAY") && std::getenv("DISPLAY"))
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    QApplication::setStyle(new vyz::ProgramStyle);
    // The program ends only through its exit sequence (closing the main window).
    QApplication::setQuitOnLastWindowClosed(false);
    vyz::InitProgramPaths(QCoreApplication::applicationDirPath().toStdString());
    CloseOnTerminationSignals();
    vyz::TForm1 window;
    try {
        window.FormCreate();
    } catch (const std::exception& e) {
        vyz::ShowMessageBox(nullptr, QMessageBox::Critical, QString::fromUtf8(vyz::AppTitle()),
                            QString::fromLocal8Bit(e.what()));
        if (!window.isVisible()) window.show();
    }
    // A measurement file given as the one argument (how a file manager opens a double-clicked
    // file) opens as the Open command would open it, once the start-up has ended.
    const QStringList args = QCoreApplication::arguments();
    if (args.size() > 1) window.OpenAfterStartup(args.at(1));
    return app.exec();
}
