// Lot statistics and the percent within limits against independent figures: published quality-
// index tables, closed forms of the beta estimate, and lots worked out by hand.
#include "analysis/lot_statistics.h"
#include "support/records.h"

#include <QTest>
#include <cmath>
#include <cstring>
#include <limits>

using namespace vyz;
using namespace vyz::analysis;

namespace {

ArchiveRecord record(float density, float refDensity, float temperature, uint8_t material = 1) {
    return testsupport::MakeRecord({.second = 7,
                                    .day = 1,
                                    .month = 3,
                                    .material = material,
                                    .density = density,
                                    .refDensity = refDensity,
                                    .temperature = temperature});
}

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();

} // namespace

class TestLotStatistics : public QObject {
    Q_OBJECT
private slots:
    void publishedTable_data();
    void publishedTable();
    void closedForms_data();
    void closedForms();
    void handLot();
    void twoSidedPorosity();
    void pwlCannotBeComputed_data();
    void pwlCannotBeComputed();
    void leftOutRecords();
    void verdicts_data();
    void verdicts();
    void byMaterial();
    void largeValuesKeepPrecision();
};

// ANSI/ASQ Z1.9-2003 (the same table as MIL-STD-414), Table B-5 "Table for estimating the lot
// percent nonconforming using standard deviation method": the percent nonconforming p for a
// quality index Q and sample size n; the percent within limits is 100 - p.
void TestLotStatistics::publishedTable_data() {
    QTest::addColumn<double>("q");
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("nonconforming");
    QTest::newRow("Q 1.50 n 3") << 1.50 << 3 << 0.000;
    QTest::newRow("Q 1.50 n 4") << 1.50 << 4 << 0.000;
    QTest::newRow("Q 1.50 n 5") << 1.50 << 5 << 3.799;
    QTest::newRow("Q 1.50 n 7") << 1.50 << 7 << 5.282;
    QTest::newRow("Q 1.50 n 10") << 1.50 << 10 << 5.875;
    QTest::newRow("Q 1.60 n 5") << 1.60 << 5 << 2.026;
    QTest::newRow("Q 1.60 n 7") << 1.60 << 7 << 3.827;
    QTest::newRow("Q 1.60 n 10") << 1.60 << 10 << 4.537;
    QTest::newRow("Q 1.70 n 5") << 1.70 << 5 << 0.659;
    QTest::newRow("Q 1.70 n 7") << 1.70 << 7 << 2.618;
    QTest::newRow("Q 1.70 n 10") << 1.70 << 10 << 3.412;
    QTest::newRow("Q 1.78 n 5") << 1.78 << 5 << 0.021;
    QTest::newRow("Q 1.90 n 7") << 1.90 << 7 << 0.930;
    QTest::newRow("Q 1.90 n 10") << 1.90 << 10 << 1.746;
}

void TestLotStatistics::publishedTable() {
    QFETCH(double, q);
    QFETCH(int, n);
    QFETCH(double, nonconforming);
    // The table prints three places.
    QVERIFY2(std::fabs(PercentOnGoodSide(q, n) - (100 - nonconforming)) < 0.0006,
             qPrintable(QString::number(PercentOnGoodSide(q, n), 'f', 4)));
    // A negative index mirrors it: that share is then what lies within the limit.
    QVERIFY(std::fabs(PercentOnGoodSide(-q, n) - nonconforming) < 0.0006);
}

// For n = 3 the estimate is (2/pi) asin(sqrt(x)), for n = 4 it is x itself, with
// x = 1/2 + Q sqrt(n) / (2(n-1)); Q = 0 gives 50 % for every n.
void TestLotStatistics::closedForms_data() {
    QTest::addColumn<double>("q");
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("expected");
    auto n3 = [](double q) {
        const double x = 0.5 + q * std::sqrt(3.0) / 4;
        return 200 / M_PI * std::asin(std::sqrt(x));
    };
    auto n4 = [](double q) { return 100 * (0.5 + q / 3); };
    for (double q : {-1.0, -0.3, 0.25, 0.8, 1.1}) {
        QTest::addRow("n 3 Q %g", q) << q << 3 << n3(q);
        QTest::addRow("n 4 Q %g", q) << q << 4 << n4(q);
    }
    QTest::newRow("n 3 Q at its largest") << 2.0 / std::sqrt(3.0) << 3 << 100.0;
    QTest::newRow("n 3 beyond") << 5.0 << 3 << 100.0;
    QTest::newRow("n 4 far below") << -3.0 << 4 << 0.0;
    QTest::newRow("n 30 Q 0") << 0.0 << 30 << 50.0;
    QTest::newRow("n 2677 Q 0") << 0.0 << 2677 << 50.0;
}

void TestLotStatistics::closedForms() {
    QFETCH(double, q);
    QFETCH(int, n);
    QFETCH(double, expected);
    QVERIFY2(std::fabs(PercentOnGoodSide(q, n) - expected) < 1e-9,
             qPrintable(QString::number(PercentOnGoodSide(q, n), 'g', 15)));
}

// Compaction 96, 97, 99, 100 % against a lower limit of 96.3 %: mean 98, s = sqrt(10/3),
// Q = 1.7 / 1.8257 = 0.9311, and for n = 4 the estimate is 1/2 + Q/3 = 81.04 %.
void TestLotStatistics::handLot() {
    const float ref = 2500;
    const ArchiveRecord lot[] = {record(2400, ref, 140), record(2425, ref, 150),
                                 record(2475, ref, 160), record(2500, ref, 170)};
    Limits limits;
    limits.compactionLow = 96.3;
    limits.temperatureLow = 145;
    const LotStatistics s = ComputeStatistics(lot, 4, limits);
    QCOMPARE(s.records, 4);
    QCOMPARE(s.q[Compaction].n, 4);
    QVERIFY(std::fabs(s.q[Compaction].mean - 98) < 1e-9);
    QVERIFY(std::fabs(s.q[Compaction].sd - std::sqrt(10.0 / 3)) < 1e-9);
    QCOMPARE(s.q[Compaction].min, 96.0);
    QCOMPARE(s.q[Compaction].max, 100.0);
    QCOMPARE(s.pwl[Compaction].status, PwlStatus::Ok);
    const double q = 1.7 / std::sqrt(10.0 / 3);
    QVERIFY(std::fabs(s.pwl[Compaction].qLow - q) < 1e-9);
    QVERIFY(std::fabs(s.pwl[Compaction].percent - 100 * (0.5 + q / 3)) < 1e-9);
    // Density: 2400, 2425, 2475, 2500: mean 2450, s = sqrt(6250/3) (hand computed).
    QVERIFY(std::fabs(s.q[Density].mean - 2450) < 1e-9);
    QVERIFY(std::fabs(s.q[Density].sd - std::sqrt(6250.0 / 3)) < 1e-9);
    // Temperature 140..170, limit 145: one record below it; compaction 96 < 96.3 fails the same
    // one.
    QCOMPARE(s.q[Temperature].min, 140.0);
    QCOMPARE(s.q[Temperature].max, 170.0);
    QCOMPARE(s.judged, 4);
    QCOMPARE(s.passing, 3);
    // Porosity is the table's: 4, 3, 1, 0 %.
    QVERIFY(std::fabs(s.q[Porosity].mean - 2.0) < 1e-5);
    QCOMPARE(s.pwl[Porosity].status, PwlStatus::NoLimit);
}

// Porosity 2, 4, 6, 8 % (mean 5, s = 2.582) within 3..7 %: Q_L = Q_U = 0.7746, and for n = 4
// each side is 1/2 + Q/3, so PWL = 2 (1/2 + Q/3) - 100 % = 51.64 %.
void TestLotStatistics::twoSidedPorosity() {
    const float ref = 2500;
    const ArchiveRecord lot[] = {record(2450, ref, 150), record(2400, ref, 150),
                                 record(2350, ref, 150), record(2300, ref, 150)};
    Limits limits;
    limits.porosityLow = 3;
    limits.porosityHigh = 7;
    const LotStatistics s = ComputeStatistics(lot, 4, limits);
    QVERIFY(std::fabs(s.q[Porosity].mean - 5) < 1e-5);
    const double q = 2 / s.q[Porosity].sd;
    QVERIFY(std::fabs(s.q[Porosity].sd - std::sqrt(20.0 / 3)) < 1e-5);
    QCOMPARE(s.pwl[Porosity].status, PwlStatus::Ok);
    QVERIFY(std::fabs(s.pwl[Porosity].percent - (2 * 100 * (0.5 + q / 3) - 100)) < 1e-6);
    QCOMPARE(s.judged, 4);
    QCOMPARE(s.passing, 2); // 4 % and 6 %
}

void TestLotStatistics::pwlCannotBeComputed_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("equal");
    QTest::addColumn<bool>("inverted");
    QTest::addColumn<int>("status");
    QTest::newRow("empty lot") << 0 << false << false << int(PwlStatus::TooFew);
    QTest::newRow("one record") << 1 << false << false << int(PwlStatus::TooFew);
    QTest::newRow("two records") << 2 << false << false << int(PwlStatus::TooFew);
    QTest::newRow("all equal: s = 0") << 5 << true << false << int(PwlStatus::NoSpread);
    QTest::newRow("lower above upper") << 5 << false << true << int(PwlStatus::Inverted);
    QTest::newRow("computable") << 3 << false << false << int(PwlStatus::Ok);
}

void TestLotStatistics::pwlCannotBeComputed() {
    QFETCH(int, count);
    QFETCH(bool, equal);
    QFETCH(bool, inverted);
    QFETCH(int, status);
    std::vector<ArchiveRecord> lot;
    for (int i = 0; i < count; ++i)
        lot.push_back(record(equal ? 2380.37f : 2300.0f + 13 * i, 2500, 150));
    Limits limits;
    limits.porosityLow = inverted ? 9 : 2;
    limits.porosityHigh = 8;
    const LotStatistics s = ComputeStatistics(lot.data(), count, limits);
    QCOMPARE(int(s.pwl[Porosity].status), status);
    QVERIFY(std::isfinite(s.q[Porosity].mean) && std::isfinite(s.q[Porosity].sd));
    if (status != int(PwlStatus::Ok)) QCOMPARE(s.pwl[Porosity].percent, 0.0);
    if (equal) QCOMPARE(s.q[Density].sd, 0.0);
    // Inverted porosity limits judge nothing on porosity: with no other limit, no verdicts.
    if (inverted) QCOMPARE(s.judged, 0);
}

// Deleted records are left out and counted; records without a reference density take no part in
// porosity and compaction; values that are not finite numbers are left out where they are used.
void TestLotStatistics::leftOutRecords() {
    std::vector<ArchiveRecord> lot = {record(2300, 2400, 150), record(2350, 2400, 155),
                                      record(2000, 0, 140),    record(2200, NaN, 145),
                                      record(NaN, 2400, 150),  record(2400, 2400, Inf),
                                      record(9999, 2400, 999)};
    lot.back().Second = DeletedMark;
    const LotStatistics s = ComputeStatistics(lot.data(), int(lot.size()), {});
    QCOMPARE(s.records, 7);
    QCOMPARE(s.deleted, 1);
    QCOMPARE(s.noReference, 2); // 0 and NaN
    QCOMPARE(s.damaged, 3);     // NaN reference, NaN density, infinite temperature
    QCOMPARE(s.q[Density].n, 5);
    QCOMPARE(s.q[Density].max, 2400.0);
    QCOMPARE(s.q[Density].min, 2000.0);
    QCOMPARE(s.q[Porosity].n, 3); // 2300/2400, 2350/2400, 2400/2400
    QCOMPARE(s.q[Compaction].n, 3);
    QCOMPARE(s.q[Temperature].n, 5); // the infinite one and the deleted one left out
    QCOMPARE(s.q[Temperature].max, 155.0);
    QVERIFY(std::fabs(s.q[Compaction].max - 100) < 1e-9);
    for (const Summary& q : s.q)
        QVERIFY(std::isfinite(q.mean) && std::isfinite(q.sd));
}

void TestLotStatistics::verdicts_data() {
    QTest::addColumn<float>("density");
    QTest::addColumn<float>("refDensity");
    QTest::addColumn<float>("temperature");
    QTest::addColumn<bool>("deleted");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<unsigned>("failed");
    QTest::addColumn<unsigned>("unchecked");
    // Limits: porosity 2..7 %, compaction at least 93 %, temperature at least 120 °C.
    QTest::newRow("within") << 2350.f << 2450.f << 130.f << false << int(Verdict::Pass) << 0u << 0u;
    QTest::newRow("porosity on the lower limit passes")
        << 2401.f << 2450.f << 130.f << false << int(Verdict::Pass) << 0u << 0u;
    QTest::newRow("porosity reading 1,9 fails")
        << 2403.f << 2450.f << 130.f << false << int(Verdict::Fail) << unsigned(PorosityLowBit)
        << 0u;
    QTest::newRow("too dense") << 2440.f << 2450.f << 130.f << false << int(Verdict::Fail)
                               << unsigned(PorosityLowBit) << 0u;
    QTest::newRow("too porous and too little compaction")
        << 2200.f << 2450.f << 130.f << false << int(Verdict::Fail)
        << unsigned(PorosityHighBit | CompactionLowBit) << 0u;
    QTest::newRow("too cold") << 2350.f << 2450.f << 100.f << false << int(Verdict::Fail)
                              << unsigned(TemperatureLowBit) << 0u;
    QTest::newRow("no reference: unknown")
        << 2350.f << 0.f << 130.f << false << int(Verdict::Unknown) << 0u
        << unsigned(PorosityLowBit | PorosityHighBit | CompactionLowBit);
    QTest::newRow("no reference but too cold fails")
        << 2350.f << 0.f << 100.f << false << int(Verdict::Fail) << unsigned(TemperatureLowBit)
        << unsigned(PorosityLowBit | PorosityHighBit | CompactionLowBit);
    QTest::newRow("temperature not a number")
        << 2350.f << 2450.f << NaN << false << int(Verdict::Unknown) << 0u
        << unsigned(TemperatureLowBit);
    QTest::newRow("deleted") << 2440.f << 2450.f << 100.f << true << int(Verdict::None) << 0u << 0u;
}

void TestLotStatistics::verdicts() {
    QFETCH(float, density);
    QFETCH(float, refDensity);
    QFETCH(float, temperature);
    QFETCH(bool, deleted);
    QFETCH(int, verdict);
    QFETCH(unsigned, failed);
    QFETCH(unsigned, unchecked);
    ArchiveRecord r = record(density, refDensity, temperature);
    if (deleted) r.Second = DeletedMark;
    Limits limits;
    limits.porosityLow = 2;
    limits.porosityHigh = 7;
    limits.compactionLow = 93;
    limits.temperatureLow = 120;
    const RecordVerdict v = Judge(r, limits);
    QCOMPARE(int(v.verdict), verdict);
    QCOMPARE(v.failed, failed);
    QCOMPARE(v.unchecked, unchecked);
    QCOMPARE(int(Judge(r, Limits{}).verdict), int(Verdict::None));
}

void TestLotStatistics::byMaterial() {
    const ArchiveRecord lot[] = {record(2300, 2400, 150, 3), record(2100, 2400, 150, 1),
                                 record(2340, 2400, 150, 3), record(2000, 2400, 150, 200)};
    const LotStatistics s = ComputeStatistics(lot, 4, {});
    QCOMPARE(int(s.materials.size()), 3);
    QCOMPARE(s.materials[0].material, 0); // index 200 is beyond the table: the empty name
    QCOMPARE(s.materials[1].material, 1);
    QCOMPARE(s.materials[2].material, 3);
    QCOMPARE(s.materials[2].records, 2);
    QCOMPARE(s.materials[2].q[Density].mean, 2320.0);
    QVERIFY(std::fabs(s.materials[2].q[Density].sd - std::sqrt(800.0)) < 1e-9);
    // The whole lot equals the merged materials.
    QCOMPARE(s.q[Density].n, 4);
    QVERIFY(std::fabs(s.q[Density].mean - 2185) < 1e-9);
    QVERIFY(std::fabs(s.q[Density].sd -
                      std::sqrt((115. * 115 + 85 * 85 + 155 * 155 + 185 * 185) / 3)) < 1e-9);
}

// Floats near their largest value square beyond float range; the figures stay finite.
void TestLotStatistics::largeValuesKeepPrecision() {
    const ArchiveRecord lot[] = {record(3e38f, 2400, 150), record(-3e38f, 2400, 150),
                                 record(2e38f, 2400, 150)};
    const LotStatistics s = ComputeStatistics(lot, 3, {});
    QVERIFY(std::isfinite(s.q[Density].sd));
    QVERIFY(s.q[Density].sd > 1e38);
}

QTEST_GUILESS_MAIN(TestLotStatistics)
#include "test_lot_statistics.moc"
