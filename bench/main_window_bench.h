// Runs the benchmarks registered with Google Benchmark against the program's main window, shown
// (on the offscreen platform unless one is chosen) in Russian, its files in a temporary folder;
// `prepare` fills it first.
#pragma once

#include "platform/paths.h"
#include "shell/main_window.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <functional>

inline int RunWithMainWindow(int argc, char** argv, QSize size,
                             const std::function<void(vyz::TForm1&)>& prepare) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    vyz::InitProgramPaths(dir.path().toStdString());
    vyz::TForm1 window;
    window.resize(size);
    window.show();
    window.ALangRusExecute();
    prepare(window);
    QApplication::processEvents();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
