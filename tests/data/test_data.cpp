// Record decoding: number pictures, porosity, coordinates, dates, whole rows, column widths.
#include "data/record_text.h"
#include "data/table_layout.h"
#include "support/records.h"

#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

using namespace vyz;

namespace {

ArchiveRecord record(uint8_t hour, uint8_t minute, uint8_t second, uint8_t day, uint8_t month,
                     uint8_t year) {
    return testsupport::MakeRecord({.second = second,
                                    .minute = minute,
                                    .hour = hour,
                                    .day = day,
                                    .month = month,
                                    .year = year});
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

class TestData : public QObject {
    Q_OBJECT
private slots:
    void picture_data();
    void picture();
    void porosity_data();
    void porosity();
    void porosityBoundaries_data();
    void porosityBoundaries();
    void coordinate_data();
    void coordinate();
    void dateTime_data();
    void dateTime();
    void wholeRow();
    void monthRepair();
    void columnWidths_data();
    void columnWidths();
};

void TestData::picture_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("expected");
    QTest::newRow("density") << double(2345.678f) << "#0.00"
                             << "2345,68";
    QTest::newRow("half away, not to even") << 0.125 << "#0.00"
                                            << "0,13";
    QTest::newRow("negative half away") << -0.125 << "#0.00"
                                        << "-0,13";
    QTest::newRow("no leading zero") << 0.5 << "#.0"
                                     << ",5";
    QTest::newRow("zero, optional digit") << 0.0 << "#.0"
                                          << ",0";
    QTest::newRow("zero, mandatory digit") << 0.0 << "#0.00"
                                           << "0,00";
    QTest::newRow("rounds to zero: no sign") << -0.04 << "#0.0"
                                             << "0,0";
    QTest::newRow("negative temperature") << double(-12.25f) << "#.0"
                                          << "-12,3";
    QTest::newRow("small negative, optional digit") << -0.35 << "#.0"
                                                    << "-,4";
    QTest::newRow("carry into a new digit") << 9.96 << "#0.0"
                                            << "10,0";
    QTest::newRow("carry through all nines") << 999.995 << "#0.00"
                                             << "1000,00";
    QTest::newRow("float just below a half") << double(0.35f) << "#.0"
                                             << ",3";
    QTest::newRow("integer") << 255.0 << "#0"
                             << "255";
    QTest::newRow("integer half") << 2.5 << "#0"
                                  << "3";
    QTest::newRow("two mandatory digits") << 0.5 << "00.0"
                                          << "00,5";
    QTest::newRow("tenths of coordinate") << 123 * 0.1 << "00.0"
                                          << "12,3";
    QTest::newRow("sixty") << 600 * 0.1 << "00.0"
                           << "60,0";
    QTest::newRow("tiny") << 1e-30 << "#0.00"
                          << "0,00";
    QTest::newRow("huge") << 1e20 << "#0.00"
                          << "100000000000000000000,00";
    QTest::newRow("largest float") << double(std::numeric_limits<float>::max()) << "#0"
                                   << "340282346638529000000000000000000000000";
    QTest::newRow("not a number") << std::nan("") << "#0.00"
                                  << "NAN";
    QTest::newRow("infinity") << HUGE_VAL << "#.0"
                              << "INF";
    QTest::newRow("minus infinity") << -HUGE_VAL << "#.0"
                                    << "-INF";
}

void TestData::picture() {
    QFETCH(double, value);
    QFETCH(QString, picture);
    QFETCH(QString, expected);
    QCOMPARE(q(FormatPicture(value, picture.toLatin1().constData())), expected);
}

void TestData::porosity_data() {
    QTest::addColumn<float>("density");
    QTest::addColumn<float>("ref");
    QTest::addColumn<QString>("expected");
    QTest::newRow("worked example") << 2300.0f << 2400.0f << "4,2";
    QTest::newRow("denser than reference") << 2500.0f << 2400.0f << "0,0";
    QTest::newRow("reference zero") << 2300.0f << 0.0f << "0,0";
    QTest::newRow("both zero (not a number)") << 0.0f << 0.0f << "0,0";
    QTest::newRow("negative reference: above 100") << 2300.0f << -2400.0f << "100,0";
    QTest::newRow("nothing measured") << 0.0f << 2400.0f << "100,0";
    QTest::newRow("reference not a number") << 2300.0f << std::nanf("") << "0,0";
}

void TestData::porosity() {
    QFETCH(float, density);
    QFETCH(float, ref);
    QFETCH(QString, expected);
    QCOMPARE(q(FormatPicture(Porosity(density, ref), "#0.0")), expected);
}

// The porosity text as a double-precision computation gives it: the quotient in double, the result
// held in 32 bits, then rounded half away from zero to tenths. A float times 10 is exact in a
// double, so llround sees the stored value itself.
static QString porosityByDouble(float density, float ref) {
    float p = static_cast<float>((1.0 - static_cast<double>(density) / ref) * 100.0);
    p = std::clamp(p, 0.0f, 100.0f);
    const long long tenths = std::llround(static_cast<double>(p) * 10.0);
    return QStringLiteral("%1,%2").arg(tenths / 10).arg(tenths % 10);
}

void TestData::porosityBoundaries_data() {
    QTest::addColumn<float>("density");
    QTest::addColumn<float>("ref");
    QTest::addColumn<QString>("expected");
    // Values on a rounding boundary, which single precision at every step gets wrong.
    QTest::newRow("0,25 rounds up") << 1995.0f << 2000.0f << "0,3";
    QTest::newRow("9,55 rounds up") << 1809.0f << 2000.0f << "9,6";
    QTest::newRow("34,25 rounds up") << 1578.0f << 2400.0f << "34,3";
    QTest::newRow("24,75 rounds up") << 1505.0f << 2000.0f << "24,8";
    QTest::newRow("fractional density") << 2345.5f << 2400.0f << "2,3";
    for (int density = 1500; density <= 2500; ++density) {
        const float d = static_cast<float>(density);
        QTest::addRow("sweep %d/2000", density) << d << 2000.0f << porosityByDouble(d, 2000.0f);
    }
}

void TestData::porosityBoundaries() {
    QFETCH(float, density);
    QFETCH(float, ref);
    QFETCH(QString, expected);
    QCOMPARE(q(FormatPicture(Porosity(density, ref), "#0.0")), expected);
}

void TestData::coordinate_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("longitude");
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("expected");
    QTest::newRow("latitude ru") << 363410555 << false << 0 << "55°45'12,3\" СШ";
    QTest::newRow("latitude en") << 363410555 << false << 1 << "55°45'12,3\" N";
    QTest::newRow("longitude ru") << -244882496 << true << 0 << "37°36'36,6\" ЗД";
    QTest::newRow("longitude en") << -244882496 << true << 1 << "37°36'36,6\" W";
    QTest::newRow("south") << -363410555 << false << 0 << "55°45'12,3\" ЮШ";
    QTest::newRow("east") << 244882496 << true << 1 << "37°36'36,6\" E";
    QTest::newRow("no position") << 0 << false << 1 << "-";
    QTest::newRow("latitude 91 degrees") << (9100 << 16) << false << 1 << "-";
    QTest::newRow("latitude 90 degrees") << (9000 << 16) << false << 1 << "90°00'00,0\" N";
    QTest::newRow("longitude 180 degrees") << (18000 << 16) << true << 1 << "180°00'00,0\" E";
    QTest::newRow("longitude 181 degrees") << (18100 << 16) << true << 1 << "-";
    QTest::newRow("fraction 65535: no carry")
        << ((5545 << 16) | 65535) << false << 1 << "55°45'60,0\" N";
    QTest::newRow("minutes 75 printed as stored") << (1275 << 16) << false << 1 << "12°75'00,0\" N";
    QTest::newRow("single-digit degrees") << ((512 << 16) | 5461) << true << 1 << "05°12'05,0\" E";
    QTest::newRow("most negative value") << std::numeric_limits<int>::min() << true << 1 << "-";
}

void TestData::coordinate() {
    QFETCH(int, value);
    QFETCH(bool, longitude);
    QFETCH(int, lang);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromUtf8(FormatCoordinate(value, longitude, lang).c_str()), expected);
}

void TestData::dateTime_data() {
    QTest::addColumn<QByteArray>("bytes"); // hour, minute, second, day, month, year
    QTest::addColumn<QString>("ru");
    QTest::addColumn<QString>("en");
    QTest::newRow("padding") << QByteArray("\x09\x05\x07\x03\x03\x14", 6)
                             << " 9:05:07 ( 3 мар 2020)"
                             << " 9:05:07 (Mar  3, 2020)";
    QTest::newRow("deleted") << QByteArray("\x0a\x0f\xaa\x0c\x01\x14", 6)
                             << "10:15:170 (12 янв 2020) - удалена"
                             << "10:15:170 (Jan 12, 2020) - deleted";
    QTest::newRow("year 5") << QByteArray("\x17\x3b\x3b\x1f\x0c\x05", 6) << "23:59:59 (31 дек 2005)"
                            << "23:59:59 (Dec 31, 2005)";
    QTest::newRow("year 123") << QByteArray("\x00\x00\x00\x01\x02\x7b", 6)
                              << " 0:00:00 ( 1 фев 20123)"
                              << " 0:00:00 (Feb  1, 20123)";
    QTest::newRow("month 0") << QByteArray("\x0c\x00\x00\x0f\x00\x14", 6) << "12:00:00 (15  2020)"
                             << "12:00:00 ( 15, 2020)";
    QTest::newRow("month 13 reads January")
        << QByteArray("\x0c\x00\x00\x0f\x0d\x14", 6) << "12:00:00 (15 янв 2020)"
        << "12:00:00 (Jan 15, 2020)";
}

void TestData::dateTime() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, ru);
    QFETCH(QString, en);
    const auto b = [&](int i) { return static_cast<uint8_t>(bytes[i]); };
    const ArchiveRecord r = record(b(0), b(1), b(2), b(3), b(4), b(5));
    QCOMPARE(QString::fromUtf8(DateTimeText(r, 0).c_str()), ru);
    QCOMPARE(QString::fromUtf8(DateTimeText(r, 1).c_str()), en);
}

void TestData::wholeRow() {
    ArchiveRecord r = record(9, 5, 7, 3, 3, 20);
    r.RecordNo = 65535;
    r.MaterialIndex = 1;
    r.LayerThickness = 50;
    r.Density = 2300.0f;
    r.RefDensity = 2400.0f;
    r.Temperature = 0.5f;
    r.Latitude = 363410555;
    r.Longitude = -244882496;
    RowTexts row;
    RecordRowTexts(r, 1, true, row);
    QCOMPARE(row.count, 9);
    const QStringList expected = {
        "65535", " 9:05:07 (Mar  3, 2020)", "2300,00",       "4,2", "Asphalt base", ",5",
        "50",    "55°45'12,3\" N",          "37°36'36,6\" W"};
    for (int c = 0; c < 9; ++c)
        QCOMPARE(QString::fromUtf8(row.cell[c].c_str()), expected[c]);

    // The plain layout leaves the coordinates out; a material index beyond the table is empty.
    r.MaterialIndex = 17;
    RecordRowTexts(r, 0, false, row);
    QCOMPARE(row.count, 7);
    QCOMPARE(QString::fromUtf8(row.cell[4].c_str()), QString());
    QCOMPARE(QString::fromUtf8(row.cell[1].c_str()), QString(" 9:05:07 ( 3 мар 2020)"));
    r.MaterialIndex = 16;
    RecordRowTexts(r, 0, false, row);
    QCOMPARE(QString::fromUtf8(row.cell[4].c_str()), QString("Материал 8"));
}

void TestData::monthRepair() {
    ArchiveRecord r = record(1, 2, 3, 4, 13, 20);
    QVERIFY(RepairMonth(r));
    QCOMPARE(int(r.Month), 1);
    QVERIFY(!RepairMonth(r));
    r.Month = 0;
    QVERIFY(!RepairMonth(r)); // 0 stays: it shows an empty month name
    QCOMPARE(int(r.Month), 0);
    r.Month = 255;
    QVERIFY(RepairMonth(r));
    QCOMPARE(int(r.Month), 1);
}

void TestData::columnWidths_data() {
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("width");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("plain 600") << 7 << 600 << QList<int>{45, 120, 85, 85, 86, 85, 86};
    QTest::newRow("coordinates 600") << 9 << 600 << QList<int>{45, 120, 60, 61, 61, 60, 61, 61, 61};
    QTest::newRow("plain 1266") << 7 << 1266 << QList<int>{45, 120, 218, 219, 218, 219, 219};
    QTest::newRow("coordinates 1000")
        << 9 << 1000 << QList<int>{45, 120, 117, 118, 118, 118, 118, 118, 117};
    QTest::newRow("narrow: at least 50")
        << 9 << 400 << QList<int>{45, 120, 50, 50, 50, 50, 50, 50, 50};
    QTest::newRow("plain 440") << 7 << 440 << QList<int>{45, 120, 53, 53, 54, 53, 54};
}

void TestData::columnWidths() {
    QFETCH(int, columns);
    QFETCH(int, width);
    QFETCH(QList<int>, expected);
    const std::vector<int> got = DistributeColumnWidths(columns, width);
    QCOMPARE(QList<int>(got.begin(), got.end()), expected);
}

QTEST_APPLESS_MAIN(TestData)
#include "test_data.moc"
