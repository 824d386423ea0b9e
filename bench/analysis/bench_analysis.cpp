// The lot analysis of a full archive of 2677 records: the figures with the percent within limits,
// everything the window does after a fill (figures, row marks, chart), the chart's redraw and
// repaint on screen, and the report's summary pages. Runs on Qt's offscreen platform unless
// another one is set.
//   build/dev/bench/analysis/bench_analysis
#include "analysis/density_chart.h"
#include "analysis/lot_analysis.h"
#include "analysis/lot_statistics.h"
#include "data/archive_record.h"
#include "main_window_bench.h"
#include "platform/paths.h"
#include "report/report_export.h"
#include "shell/main_window.h"
#include "support/records.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QDockWidget>
#include <QTabWidget>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>

namespace {

int32_t Order[vyz::ArchiveCapacity];

void FillArchive() {
    for (int i = 0; i < vyz::ArchiveCapacity; ++i) {
        vyz::MeasurementArchive[i] =
            testsupport::MakeRecord({.number = i + 1,
                                     .second = i % 7 == 0 ? vyz::DeletedMark : i % 60,
                                     .minute = i % 60,
                                     .hour = i % 24,
                                     .day = 1 + i % 28,
                                     .month = 1 + i % 12,
                                     .year = 24,
                                     .material = i % 17,
                                     .density = 2200.0f + static_cast<float>(i % 300) * 0.37f,
                                     .refDensity = i % 11 == 0 ? 0.0f : 2420.0f,
                                     .temperature = 100.0f + static_cast<float>(i % 200) * 0.55f});
        Order[i] = vyz::ArchiveCapacity - 1 - i;
    }
    vyz::RecordCount = vyz::ArchiveCapacity;
}

vyz::analysis::Limits Limits() {
    vyz::analysis::Limits l;
    l.porosityLow = 2;
    l.porosityHigh = 8;
    l.compactionLow = 92;
    l.temperatureLow = 120;
    return l;
}

void BM_StatisticsAndPwl(benchmark::State& state) {
    const vyz::analysis::Limits limits = Limits();
    for (auto _ : state) {
        auto s =
            vyz::analysis::ComputeStatistics(vyz::MeasurementArchive, vyz::ArchiveCapacity, limits);
        benchmark::DoNotOptimize(s);
    }
    state.SetItemsProcessed(state.iterations() * vyz::ArchiveCapacity);
}
BENCHMARK(BM_StatisticsAndPwl)->Unit(benchmark::kMicrosecond);

// What the window does after a fill: the copy in table order, verdicts, figures, the panel's
// text, the row marks and the chart's series, then the chart painted on screen.
// The chart's drawing area, painted at once.
void PaintChart() {
    auto* view = qobject_cast<QAbstractScrollArea*>(vyz::Form1->Analysis()->Chart()->Widget());
    if (view) view->viewport()->repaint();
}

void BM_AfterFillChartShown(benchmark::State& state) {
    vyz::TForm1* window = vyz::Form1;
    for (auto _ : state) {
        window->AnalysisTableChanged(Order, vyz::ArchiveCapacity);
        PaintChart();
    }
}
BENCHMARK(BM_AfterFillChartShown)->Unit(benchmark::kMillisecond);

void BM_ChartRedrawAndPaint(benchmark::State& state) {
    vyz::analysis::DensityChart* chart = vyz::Form1->Analysis()->Chart();
    for (auto _ : state) {
        chart->Redraw();
        PaintChart();
    }
}
BENCHMARK(BM_ChartRedrawAndPaint)->Unit(benchmark::kMillisecond);

void BM_ChartRepaintOnly(benchmark::State& state) {
    for (auto _ : state)
        PaintChart();
}
BENCHMARK(BM_ChartRepaintOnly)->Unit(benchmark::kMillisecond);

// The summary pages appended to a prepared report (figures, limits, PWL, the chart drawn at
// print size), and the same exported to PDF.
void BM_ReportSummary(benchmark::State& state) {
    for (auto _ : state) {
        vyz::report::PreparedReport report;
        vyz::Form1->Analysis()->AppendSummary(report);
        benchmark::DoNotOptimize(report);
    }
}
BENCHMARK(BM_ReportSummary)->Unit(benchmark::kMillisecond);

void BM_ReportSummaryToPdf(benchmark::State& state) {
    QTemporaryDir dir;
    vyz::report::PreparedReport report;
    vyz::Form1->Analysis()->AppendSummary(report);
    for (auto _ : state) {
        auto r = vyz::report::ExportPdf(report, dir.filePath("summary.pdf"), nullptr);
        benchmark::DoNotOptimize(r);
    }
}
BENCHMARK(BM_ReportSummaryToPdf)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return RunWithMainWindow(argc, argv, QSize(1000, 800), [](vyz::TForm1& window) {
        FillArchive();
        window.Analysis()->ApplyLimits(Limits());
        window.Analysis()->PanelAction()->trigger();
        // The chart tab shown, as the operator shows it.
        if (auto* tabs = window.Analysis()->Dock()->findChild<QTabWidget*>())
            tabs->setCurrentIndex(1);
        window.FillDataTable(1);
    });
}
