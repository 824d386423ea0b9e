// The measurement history: storing a full read-out of 2677 records in the local SQLite file,
// a date-range search over 1,000,000 stored records, and sending a queued read-out of 2677
// records to a PostgreSQL server on this computer (started here, as the tests start it).
//   build/dev/bench/history/bench_history
#include "history/history_service.h"
#include "history/history_store.h"
#include "history_fixture.h"
#include "pg_server.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace vyz;
using namespace vyz::history;

namespace {

QTemporaryDir* Dir = nullptr;

// A new instrument each time, so every record is new (the dearer case).
void BM_StoreReadoutNewRecords(benchmark::State& state) {
    HistoryDb db(QStringLiteral("store"));
    db.OpenLocal(Dir->filePath(QStringLiteral("store.sqlite")));
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const Readout r =
            test::MakeReadout(ArchiveCapacity, QStringLiteral("instrument %1").arg(++n));
        state.ResumeTiming();
        if (db.Store(r, true) == 0) state.SkipWithError(qPrintable(db.Error()));
    }
    state.SetItemsProcessed(state.iterations() * ArchiveCapacity);
}
BENCHMARK(BM_StoreReadoutNewRecords)->Unit(benchmark::kMillisecond);

// The same archive read again: every record is already stored.
void BM_StoreReadoutAgain(benchmark::State& state) {
    HistoryDb db(QStringLiteral("again"));
    db.OpenLocal(Dir->filePath(QStringLiteral("again.sqlite")));
    db.Store(test::MakeReadout(ArchiveCapacity), true);
    for (auto _ : state) {
        state.PauseTiming();
        const Readout r = test::MakeReadout(ArchiveCapacity);
        state.ResumeTiming();
        if (db.Store(r, true) == 0) state.SkipWithError(qPrintable(db.Error()));
    }
}
BENCHMARK(BM_StoreReadoutAgain)->Unit(benchmark::kMillisecond);

// 1,000,000 records: 374 read-outs of 2677, a year apart every 28 read-outs, so the dates
// spread over 14 years.
HistoryDb* Million() {
    static HistoryDb* db = [] {
        auto* d = new HistoryDb(QStringLiteral("million"));
        d->OpenLocal(Dir->filePath(QStringLiteral("million.sqlite")));
        int stored = 0;
        for (int r = 0; stored < 1000000; ++r) {
            const int n = std::min(ArchiveCapacity, 1000000 - stored);
            d->Store(test::MakeReadout(n, QStringLiteral("VYZ-1 #%1").arg(r % 5), true,
                                       (r % 28) * ArchiveCapacity, 10 + r / 28),
                     false);
            stored += n;
        }
        return d;
    }();
    return db;
}

// The search timed on each iteration; the number of records it finds is reported.
void SearchRepeatedly(benchmark::State& state, HistoryDb& db, const RecordFilter& filter) {
    size_t found = 0;
    for (auto _ : state) {
        bool more = false;
        found = db.Search(filter, &more).size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = double(found);
}

void BM_SearchDateRange(benchmark::State& state) {
    HistoryDb* db = Million();
    const qint64 total = db->RecordTotal();
    if (total != 1000000)
        state.SkipWithError(
            qPrintable(QStringLiteral("%1 records, %2").arg(total).arg(db->Error())));
    RecordFilter filter;
    filter.from = QDate(2016, 3, 1);
    filter.to = QDate(2016, 3, 31);
    SearchRepeatedly(state, *db, filter);
}
BENCHMARK(BM_SearchDateRange)->Unit(benchmark::kMillisecond);

void BM_SearchDateRangeAndMaterial(benchmark::State& state) {
    HistoryDb* db = Million();
    RecordFilter filter;
    filter.from = QDate(2012, 1, 1);
    filter.to = QDate(2018, 12, 31);
    filter.material = 5;
    filter.instrument = QStringLiteral("VYZ-1 #3");
    SearchRepeatedly(state, *db, filter);
}
BENCHMARK(BM_SearchDateRangeAndMaterial)->Unit(benchmark::kMillisecond);

// One queued read-out of 2677 new records sent to the server in its transaction.
void BM_SendQueuedReadout(benchmark::State& state) {
    static test::PgServer pg;
    static bool started = pg.Start();
    if (!started) {
        state.SkipWithError(qPrintable(pg.Error()));
        return;
    }
    qputenv("PGPASSFILE",
            pg.WritePassFile(QString::fromLatin1(test::PgServer::Password)).toLocal8Bit());
    const QString path = Dir->filePath(QStringLiteral("send.sqlite"));
    HistoryDb local(QStringLiteral("send-local"));
    local.OpenLocal(path);
    ServerLink link(path);
    link.Configure({true, pg.Settings()}); // connects and sends what is queued
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        local.Store(test::MakeReadout(ArchiveCapacity, QStringLiteral("sent %1").arg(++n)), true);
        state.ResumeTiming();
        link.Kick();
    }
    if (!local.Queued().empty()) state.SkipWithError("the queue was not sent");
    state.SetItemsProcessed(state.iterations() * ArchiveCapacity);
}
BENCHMARK(BM_SendQueuedReadout)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Dir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
