// Filling the measurement table from a full archive of 2677 coordinate records, and the record
// decoding alone. Runs on Qt's offscreen platform unless another one is set.
//   build/bench/table_fill/bench_table_fill
#include "data/archive_record.h"
#include "data/record_text.h"
#include "main_window_bench.h"
#include "platform/paths.h"
#include "shell/main_window.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>

namespace {

void FillArchive() {
    for (int i = 0; i < vyz::ArchiveCapacity; ++i) {
        vyz::ArchiveRecord& r = vyz::MeasurementArchive[i];
        std::memset(&r, 0, sizeof r);
        r.RecordNo = static_cast<uint16_t>(i + 1);
        r.Hour = static_cast<uint8_t>(i % 24);
        r.Minute = static_cast<uint8_t>(i % 60);
        r.Second = static_cast<uint8_t>(i % 7 == 0 ? vyz::DeletedMark : i % 60);
        r.Day = static_cast<uint8_t>(1 + i % 28);
        r.Month = static_cast<uint8_t>(1 + i % 12);
        r.Year = 24;
        r.MaterialIndex = static_cast<uint8_t>(i % 17);
        r.LayerThickness = static_cast<uint8_t>(30 + i % 70);
        r.Density = 2200.0f + static_cast<float>(i % 300) * 0.37f;
        r.RefDensity = 2420.0f;
        r.Temperature = -5.0f + static_cast<float>(i % 200) * 0.55f;
        r.Latitude = ((5545 << 16) | (i * 37 % 65536));
        r.Longitude = -((3736 << 16) | (i * 91 % 65536));
    }
    vyz::RecordCount = vyz::ArchiveCapacity;
}

void BM_FillDataTable(benchmark::State& state) {
    vyz::TForm1* window = vyz::Form1;
    for (auto _ : state) {
        state.PauseTiming();
        window->ClearTable();
        state.ResumeTiming();
        window->FillDataTable(1);
    }
    state.SetItemsProcessed(state.iterations() * vyz::ArchiveCapacity);
}
BENCHMARK(BM_FillDataTable)->Unit(benchmark::kMillisecond);

void BM_DecodeRecords(benchmark::State& state) {
    vyz::RowTexts row;
    for (auto _ : state) {
        for (int i = 0; i < vyz::ArchiveCapacity; ++i) {
            vyz::RecordRowTexts(vyz::MeasurementArchive[i], 0, true, row);
            benchmark::DoNotOptimize(row);
        }
    }
    state.SetItemsProcessed(state.iterations() * vyz::ArchiveCapacity);
}
BENCHMARK(BM_DecodeRecords)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return RunWithMainWindow(argc, argv, QSize(900, 600), [](vyz::TForm1& window) {
        window.SetGPSMode(true);
        FillArchive();
    });
}
