// Open: from the chosen file name to the filled table (the dialog excluded), and the reading into
// the archive on its own. Save: the archive into a file, through the staging file, on disk.
// Runs on Qt's offscreen platform unless told otherwise.
#include "data/archive_record.h"
#include "output/measurement_file.h"
#include "platform/paths.h"
#include "shell/main_window.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>

using namespace vyz;

namespace {

QTemporaryDir* folder = nullptr;

// A full archive of plausible records, saved once in either layout.
QString fullArchiveFile(bool coordinates) {
    for (int i = 0; i < ArchiveCapacity; ++i) {
        ArchiveRecord& r = MeasurementArchive[i];
        std::memset(&r, 0, sizeof r);
        r.RecordNo = uint16_t(i + 1);
        r.Second = uint8_t(i % 60);
        r.Minute = uint8_t(i % 60);
        r.Hour = uint8_t(i % 24);
        r.Day = uint8_t(1 + i % 28);
        r.Month = uint8_t(1 + i % 12);
        r.Year = 24;
        r.MaterialIndex = uint8_t(i % 17);
        r.LayerThickness = 50;
        r.Density = 2300.0f + float(i % 100);
        r.RefDensity = 2400.0f;
        r.Temperature = 21.5f;
        r.Latitude = 363410555;
        r.Longitude = -244882496;
    }
    const QString path = folder->filePath(coordinates ? "full-gps.vyz" : "full.vyz");
    const std::vector<uint8_t> bytes =
        SerializeArchive(MeasurementArchive, ArchiveCapacity, coordinates);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char*>(bytes.data()),
                                                 qint64(bytes.size())) != qint64(bytes.size()))
        std::abort();
    return path;
}

void ReadIntoArchive(benchmark::State& state) {
    const std::string path = fullArchiveFile(true).toStdString();
    std::vector<uint8_t> bytes;
    for (auto _ : state) {
        if (ReadMeasurementFileBytes(path, bytes) != 0) state.SkipWithError("read failed");
        const int n = ReadRecords(bytes, DetectLayout(bytes), StagingRecord, MeasurementArchive,
                                  ArchiveCapacity);
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(ReadIntoArchive)->Unit(benchmark::kMillisecond);

// ClearTable, layout, status texts with the per-record counter, FillDataTable(1): everything the
// operator waits for after choosing the file.
void OpenThroughMainWindow(benchmark::State& state) {
    const QString path = fullArchiveFile(true);
    for (auto _ : state) {
        Form1->OpenMeasurementFile(path);
        if (RecordCount != ArchiveCapacity) state.SkipWithError("not all records read");
    }
}
BENCHMARK(OpenThroughMainWindow)->Unit(benchmark::kMillisecond);

void Save(benchmark::State& state) {
    const bool coordinates = state.range(0) != 0;
    fullArchiveFile(coordinates);
    const std::string path = folder->filePath("saved.Vyz").toStdString();
    for (auto _ : state) {
        StagedFile file(path);
        if (!file.Write(SerializeArchive(MeasurementArchive, ArchiveCapacity, coordinates)))
            state.SkipWithError("write failed");
        if (!file.Commit()) state.SkipWithError("commit failed");
    }
}
BENCHMARK(Save)->Arg(0)->Arg(1)->ArgName("coordinates")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    // Files go to the folder given by VYZ_BENCH_DIR (to measure a particular disk), else /tmp.
    const char* where = std::getenv("VYZ_BENCH_DIR");
    QTemporaryDir dir(where ? QString::fromLocal8Bit(where) + "/vyz-bench-XXXXXX"
                            : QDir::tempPath() + "/vyz-bench-XXXXXX");
    folder = &dir;
    InitProgramPaths(dir.path().toStdString());
    TForm1 window;
    window.show();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
