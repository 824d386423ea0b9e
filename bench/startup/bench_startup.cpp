// Start-up to a shown main window: from the start of main() (process start-up before it is not
// counted) through the application object, the main window and its start-up sequence, until the
// window system reports the main window exposed (what the sequence leaves for after the first
// frame is not counted). One start per run; run it a
// few times:
//   for i in 1 2 3 4 5; do xvfb-run -a build/bench/startup/bench_startup; done
// The settings file (language stored, so no chooser) lives in a temporary folder.
#include "platform/paths.h"
#include "shell/main_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QElapsedTimer timer;
    timer.start();
    QApplication app(argc, argv);
    const qint64 application = timer.nsecsElapsed();
    QTemporaryDir dir;
    {
        QFile ini(dir.filePath("Vyz.ini"));
        if (!ini.open(QIODevice::WriteOnly)) return 1;
        ini.write("[Config]\nLangId=Eng\nCOMPortNumber=USB\n[FormMain]\nWidth=800\nHeight=600\n");
    }
    vyz::InitProgramPaths(dir.path().toStdString());
    vyz::TForm1 window;
    const qint64 constructed = timer.nsecsElapsed();
    window.FormCreate();
    const qint64 created = timer.nsecsElapsed();
    if (!QTest::qWaitForWindowExposed(&window, 10000)) return 2;
    const qint64 exposed = timer.nsecsElapsed();
    std::printf("platform %s: application %.1f ms, window %.1f ms, start-up sequence "
                "%.1f ms, exposed at %.1f ms\n",
                qPrintable(QGuiApplication::platformName()), application / 1e6,
                (constructed - application) / 1e6, (created - constructed) / 1e6, exposed / 1e6);
    std::fflush(stdout);
    std::_Exit(0); // the teardown is not part of the start-up
}
