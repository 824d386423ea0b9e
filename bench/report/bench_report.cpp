// Times preparing a full archive's report (2677 rows) and exporting it to PDF, and, for scale,
// LibreOffice converting the same table saved as CSV to PDF.
//   build/bench/report/bench_report [runs] [--no-libreoffice]
#include "data/archive_record.h"
#include "output/report_binding.h"
#include "report/report_export.h"
#include "table_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace vyz;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Seconds LibreOffice takes to convert `csv` to PDF (a warm-up run first, so the profile exists).
double libreOfficeSeconds(const QString& csv, const QString& dir) {
    const QString profile = QStringLiteral("-env:UserInstallation=file://") + dir + "/profile";
    auto convert = [&] {
        QProcess p;
        p.start(QStringLiteral("soffice"),
                {profile, QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                 QStringLiteral("pdf"), QStringLiteral("--outdir"), dir + "/lo", csv});
        QElapsedTimer t;
        t.start();
        if (!p.waitForFinished(600000) || p.exitCode() != 0) return -1.0;
        return t.nsecsElapsed() / 1e9;
    };
    if (convert() < 0) return -1;
    return convert();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir dir;

    StringGrid grid;
    const auto rows = test::MakeRows(ArchiveCapacity, 0, false);
    test::FillGrid(grid, rows, false, 0);
    ReportBinding binding(grid);
    report::Report& report = binding.frxReport1;

    std::vector<double> prepare, pdf;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        report.PrepareReport();
        prepare.push_back(t.nsecsElapsed() / 1e9);
        t.restart();
        const auto r = report::ExportReport(report::ExportFormat::Pdf, report.Prepared(),
                                            dir.filePath(QStringLiteral("report.pdf")));
        pdf.push_back(t.nsecsElapsed() / 1e9);
        if (!r.ok()) {
            std::fprintf(stderr, "PDF export failed: %s\n", qPrintable(r.error));
            return 1;
        }
    }
    const double ours = median(prepare) + median(pdf);
    std::printf("rows %d, pages %lld\n", int(rows.size()),
                (long long)report.Prepared().pages.size());
    std::printf("prepare          %.3f s (median of %d)\n", median(prepare), runs);
    std::printf("PDF export       %.3f s\n", median(pdf));
    std::printf("prepare + PDF    %.3f s\n", ours);

    if (argc > 2 && qstrcmp(argv[2], "--no-libreoffice") == 0) return 0;
    // The same table as CSV, the way a spreadsheet user would turn it into PDF.
    const QString csv = dir.filePath(QStringLiteral("table.csv"));
    {
        QFile f(csv);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        for (int r = 0; r < grid.RowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < grid.ColCount(); ++c)
                cells << QLatin1Char('"') + grid.CellAt(c, r).replace('"', "\"\"") +
                             QLatin1Char('"');
            f.write(cells.join(QLatin1Char(',')).toUtf8() + "\n");
        }
    }
    const double lo = libreOfficeSeconds(csv, dir.path());
    if (lo < 0) {
        std::printf("LibreOffice CSV -> PDF: not available\n");
        return 0;
    }
    std::printf("LibreOffice CSV -> PDF %.3f s\n", lo);
    std::printf("LibreOffice / ours     %.1fx\n", lo / ours);
    return 0;
}
