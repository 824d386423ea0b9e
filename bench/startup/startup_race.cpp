// Start-up of the real program against a minimal Qt 6 Widgets window, as whole processes under
// the same X server, alternately in the same run: the time from starting the process until the X
// server maps its first top-level window, and until the first frame is drawn into it (the first
// damage the window reports after the map: what the operator sees). The program runs from a copy
// in a temporary folder with a settings file (language stored, USB link, so no question comes
// first).
//   xvfb-run -a build/dev/bench/startup/bench_startup_race [runs]
// Prints the median and the quartiles of each, and their ratio.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Times {
    double mapped = -1, drawn = -1;
};

// Starts `program` and returns the milliseconds until a top-level window of it is mapped and until
// something is drawn into a mapped one. Every top-level window is watched for damage from its
// creation, so no drawing is missed however soon it follows the map.
Times timeToWindow(Display* display, int damageEvent, const QString& program,
                   const QStringList& args) {
    while (XPending(display)) { // nothing left over from the run before
        XEvent e;
        XNextEvent(display, &e);
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    Times times;
    std::vector<Damage> watched;
    while (timer.elapsed() < 20000) {
        if (!XPending(display)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            continue;
        }
        XEvent e;
        XNextEvent(display, &e);
        const double now = timer.nsecsElapsed() / 1e6;
        if (e.type == CreateNotify) {
            watched.push_back(
                XDamageCreate(display, e.xcreatewindow.window, XDamageReportNonEmpty));
            XFlush(display);
        } else if (e.type == MapNotify && times.mapped < 0) {
            times.mapped = now;
        } else if (e.type == damageEvent + XDamageNotify && times.mapped >= 0) {
            times.drawn = now;
            break;
        }
    }
    process.kill();
    process.waitForFinished(5000);
    for (Damage d : watched)
        XDamageDestroy(display, d); // gone with its window already: the error is ignored
    XSync(display, False);
    return times;
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
    int damageEvent = 0, damageError = 0;
    if (!XDamageQueryExtension(display, &damageEvent, &damageError)) {
        std::fprintf(stderr, "the X server has no DAMAGE extension\n");
        return 1;
    }
    // A window that ended before its damage object was made or destroyed is no fault here.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
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
    struct Contender {
        const char* name;
        QString program;
        QStringList args;
        std::vector<double> mapped, drawn;
    };
    std::vector<Contender> contenders = {
        {"minimal Qt window", minimalProgram, {}, {}, {}},
        {"minimal window with text", minimalProgram, {"--text"}, {}, {}},
        {"vyz main window", program, {}, {}, {}}};
    for (const Contender& c : contenders) // warm the caches
        timeToWindow(display, damageEvent, c.program, c.args);
    for (int i = 0; i < runs; ++i)
        for (Contender& c : contenders) {
            const Times t = timeToWindow(display, damageEvent, c.program, c.args);
            c.mapped.push_back(t.mapped);
            c.drawn.push_back(t.drawn);
        }
    std::printf("median ms from the start (quartiles)   mapped              first frame\n");
    for (const Contender& c : contenders) {
        const Figures m = figures(c.mapped), d = figures(c.drawn);
        std::printf("%-26s %6.1f (%.1f-%.1f)   %6.1f (%.1f-%.1f)\n", c.name, m.median, m.q1, m.q3,
                    d.median, d.q1, d.q3);
    }
    // Each round starts the three one after another, so a round's ratios are taken under the
    // same load; their median is steadier than the ratio of the medians when the machine's speed
    // drifts during the run.
    auto pairedRatio = [&](const std::vector<double> Contender::*times, const Contender& base) {
        std::vector<double> ratios;
        for (int i = 0; i < runs; ++i)
            ratios.push_back((contenders[2].*times)[size_t(i)] / (base.*times)[size_t(i)]);
        return figures(ratios);
    };
    for (const auto& [label, times] : {std::pair{"first frame", &Contender::drawn},
                                       std::pair{"map        ", &Contender::mapped}}) {
        const Figures bare = pairedRatio(times, contenders[0]);
        const Figures text = pairedRatio(times, contenders[1]);
        std::printf("%s: %.2f (%.2f-%.2f) times the minimal window, %.2f (%.2f-%.2f) times the "
                    "one with text\n",
                    label, bare.median, bare.q1, bare.q3, text.median, text.q1, text.q3);
    }
    std::printf("(median and quartiles of the ratios within each of %d rounds)\n", runs);
    XCloseDisplay(display);
    return 0;
}
