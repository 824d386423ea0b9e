// Times vyz-convert as whole processes, the way scripts run it:
//  - one file of 2677 records (a full instrument) to PDF, against LibreOffice converting the same
//    table, saved as CSV by the converter, to PDF (its profile made by a warm-up run first);
//  - 100 such files to CSV in one run.
//   build/dev/bench/convert/bench_convert [runs] [--no-libreoffice]
#include "data/archive_record.h"
#include "output/measurement_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace vyz;

namespace {

std::vector<ArchiveRecord> fullArchive(int seed) {
    std::vector<ArchiveRecord> records(ArchiveCapacity);
    for (int i = 0; i < ArchiveCapacity; ++i) {
        ArchiveRecord& r = records[size_t(i)];
        const int k = i + seed;
        r.RecordNo = uint16_t(k + 1);
        r.Second = uint8_t(k % 60);
        r.Minute = uint8_t((k * 7) % 60);
        r.Hour = uint8_t(6 + k % 12);
        r.Day = uint8_t(1 + (k / 100) % 28);
        r.Month = uint8_t(1 + (k / 1000) % 12);
        r.Year = 24;
        r.MaterialIndex = uint8_t(k % 17);
        r.LayerThickness = uint8_t(30 + k % 40);
        r.Density = 2250.0f + float(k % 150) * 0.37f;
        r.RefDensity = 2400.0f;
        r.Temperature = 110.0f + float(k % 50) * 0.5f;
        r.Latitude = int32_t(((5545 << 16) | (k * 37 % 65536)));
        r.Longitude = -int32_t(((3736 << 16) | (k * 91 % 65536)));
    }
    return records;
}

void writeVyz(const QString& path, const std::vector<ArchiveRecord>& records) {
    const auto bytes = SerializeArchive(records.data(), int(records.size()), true);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) std::exit(1);
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

// Seconds a whole process takes; -1 when it fails.
double timed(const QString& program, const QStringList& args) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     p.readAllStandardError().constData());
        return -1;
    }
    return t.nsecsElapsed() / 1e9;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const bool withLibreOffice = !(argc > 2 && qstrcmp(argv[2], "--no-libreoffice") == 0);
    const QString convert = QStringLiteral(VYZ_CONVERT);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("full.vyz"));
    writeVyz(input, fullArchive(0));

    std::vector<double> pdf;
    for (int i = 0; i < runs; ++i) {
        const double s = timed(convert, {QStringLiteral("--force"), input, QStringLiteral("-o"),
                                         dir.filePath(QStringLiteral("full.pdf"))});
        if (s < 0) return 1;
        pdf.push_back(s);
    }
    std::printf("vyz-convert 2677 records -> PDF    %.3f s (median of %d)\n", median(pdf), runs);

    // 100 full files to CSV in one run.
    QDir().mkpath(dir.filePath(QStringLiteral("many")));
    QDir().mkpath(dir.filePath(QStringLiteral("csv")));
    QStringList args = {QStringLiteral("--force"), QStringLiteral("--format"),
                        QStringLiteral("csv")};
    for (int f = 0; f < 100; ++f) {
        const QString name =
            dir.filePath(QStringLiteral("many/lot%1.vyz").arg(f, 3, 10, QLatin1Char('0')));
        writeVyz(name, fullArchive(f));
        args << name;
    }
    args << QStringLiteral("-o") << dir.filePath(QStringLiteral("csv"));
    std::vector<double> csv;
    for (int i = 0; i < runs; ++i) {
        const double s = timed(convert, args);
        if (s < 0) return 1;
        csv.push_back(s);
    }
    std::printf("vyz-convert 100 x 2677 records -> CSV %.3f s (median of %d)\n", median(csv), runs);

    if (!withLibreOffice) return 0;
    // The same table as CSV (the table's own date texts), turned into PDF by LibreOffice.
    const QString table = dir.filePath(QStringLiteral("table.csv"));
    if (timed(convert, {QStringLiteral("--csv-dates"), QStringLiteral("table"), input,
                        QStringLiteral("-o"), table}) < 0)
        return 1;
    const QStringList lo = {QStringLiteral("-env:UserInstallation=file://") +
                                dir.filePath("profile"),
                            QStringLiteral("--headless"),
                            QStringLiteral("--convert-to"),
                            QStringLiteral("pdf"),
                            QStringLiteral("--outdir"),
                            dir.filePath(QStringLiteral("lo")),
                            table};
    if (timed(QStringLiteral("soffice"), lo) < 0) {
        std::printf("LibreOffice CSV -> PDF: not available\n");
        return 0;
    }
    std::vector<double> office;
    for (int i = 0; i < std::min(runs, 3); ++i) {
        const double s = timed(QStringLiteral("soffice"), lo);
        if (s < 0) return 1;
        office.push_back(s);
    }
    std::printf("LibreOffice CSV -> PDF               %.3f s (median of %d, after a warm-up)\n",
                median(office), int(office.size()));
    std::printf("LibreOffice / vyz-convert            %.1fx\n", median(office) / median(pdf));
    return 0;
}
