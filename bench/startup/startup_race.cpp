// Start-up of the real program against a minimal Qt 6 Widgets window, as whole processes under
// the same X server, alternately in the same run: the time from starting the process until the X
// server maps its first top-level window. The program runs from a copy in a temporary folder with
// a settings file (language stored, USB link, so no question comes first).
//   xvfb-run -a build/dev/bench/startup/bench_startup_race [runs]
// Prints the median and the quartiles of each, and their ratio.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Starts `program` and returns the milliseconds until a top-level window of it is mapped.
double timeToWindow(Display* display, const QString& program, const QStringList& args) {
    while (XPending(display)) { // nothing left over from the run before
        XEvent e;
        XNextEvent(display, &e);
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    double ms = -1;
    while (timer.elapsed() < 20000) {
        if (!XPending(display)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            continue;
        }
        XEvent e;
        XNextEvent(display, &e);
        if (e.type == MapNotify) {
            ms = timer.nsecsElapsed() / 1e6;
            break;
        }
    }
    process.kill();
    process.waitForFinished(5000);
    return ms;
}

struct Figures {
    double q1, median, q3;
};
Figures figures(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    auto at = [&](double f) { return v[size_t(f * double(v.size() - 1) + 0.5)]; };
    return {at(0.25), at(0.5), at(0.75)};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no X server (run under xvfb-run)\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);

    QTemporaryDir dir;
    const QString program = dir.filePath("vyz");
    if (!QFile::copy(QStringLiteral(VYZ_PROGRAM), program)) return 1;
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner);
    {
        QFile ini(dir.filePath("Vyz.ini"));
        if (!ini.open(QIODevice::WriteOnly)) return 1;
        ini.write("[Config]\nLangId=Eng\nCOMPortNumber=USB\n[FormMain]\nWidth=800\nHeight=600\n");
    }
    const QString minimalProgram = QStringLiteral(VYZ_MINIMAL_WINDOW);
    std::vector<double> minimal, withText, ours;
    timeToWindow(display, minimalProgram, {}); // warm the caches of both
    timeToWindow(display, program, {});
    for (int i = 0; i < runs; ++i) {
        minimal.push_back(timeToWindow(display, minimalProgram, {}));
        withText.push_back(timeToWindow(display, minimalProgram, {"--text"}));
        ours.push_back(timeToWindow(display, program, {}));
    }
    const Figures m = figures(minimal), t = figures(withText), o = figures(ours);
    std::printf("minimal Qt window:        median %.1f ms (quartiles %.1f-%.1f)\n", m.median, m.q1,
                m.q3);
    std::printf("minimal window with text: median %.1f ms (quartiles %.1f-%.1f)\n", t.median, t.q1,
                t.q3);
    std::printf("vyz main window:          median %.1f ms (quartiles %.1f-%.1f)\n", o.median, o.q1,
                o.q3);
    std::printf("ratio to the minimal window: %.2f, to the one with text: %.2f (%d runs each)\n",
                o.median / m.median, o.median / t.median, runs);
    XCloseDisplay(display);
    return 0;
}
