// Filling the measurement table from a full archive of 2677 coordinate records, and the record
// decoding alone. Runs on Qt's offscreen platform unless another one is set.
//   build/bench/table_fill/bench_table_fill
#include "data/archive_record.h"
#include "data/record_text.h"
#include "main_window_bench.h"
#include "platform/paths.h"
#include "shell/main_window.h"
#include "support/records.h"

#include <QApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <cstring>

namespace {

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
                                     .depth = 30 + i % 70,
                                     .density = 2200.0f + static_cast<float>(i % 300) * 0.37f,
                                     .refDensity = 2420.0f,
                                     .temperature = -5.0f + static_cast<float>(i % 200) * 0.55f,
                                     .latitude = (5545 << 16) | (i * 37 % 65536),
                                     .longitude = -((3736 << 16) | (i * 91 % 65536))});
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
