// vyz-convert as the operator runs it (a copy in a folder of its own, so it keeps its settings file
// there), with its outputs read back by the programs users open them with: LibreOffice for CSV,
// gpsbabel for GPX and KML, ogr2ogr for GeoJSON and KML. The window's exports of the same file
// must be the same bytes.
#include "data/archive_record.h"
#include "data/record_text.h"
#include "output/measurement_file.h"
#include "output/record_export.h"
#include "output/report_binding.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "report/report_export.h"
#include "shell/main_window.h"
#include "support/modal_script.h"
#include "support/records.h"
#include "support/test_files.h"
#include "tmpfs_mount.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>
#include <cmath>
#include <cstring>
#include <sys/stat.h>

using namespace vyz;
using namespace testsupport;

namespace {

// Coordinate fields from degrees, minutes and 1/65536 minutes; negative: south or west.
int32_t coord(int sign, int degrees, int minutes, int fraction) {
    return sign * int32_t(((degrees * 100 + minutes) << 16) | fraction);
}

ArchiveRecord record(uint16_t no, uint8_t sec, uint8_t min, uint8_t hour, uint8_t day,
                     uint8_t month, uint8_t year, uint8_t material, uint8_t depth, float density,
                     float ref, float temp, int32_t lat, int32_t lon) {
    return MakeRecord({.number = no,
                       .second = sec,
                       .minute = min,
                       .hour = hour,
                       .day = day,
                       .month = month,
                       .year = year,
                       .material = material,
                       .depth = depth,
                       .density = density,
                       .refDensity = ref,
                       .temperature = temp,
                       .latitude = lat,
                       .longitude = lon,
                       .tail = 0x1234});
}

// Archive order (oldest first). Three have a position, two do not (none; latitude beyond 90).
std::vector<ArchiveRecord> fixture() {
    return {
        record(1, 7, 5, 9, 3, 3, 20, 1, 50, 2300.0f, 2400.0f, 130.5f, coord(1, 55, 45, 13435),
               coord(-1, 37, 36, 40000)),
        record(2, DeletedMark, 15, 10, 12, 1, 20, 2, 40, 2345.678f, 2300.0f, 0.5f,
               coord(-1, 30, 0, 65535), coord(1, 179, 59, 0)),
        record(3, 59, 59, 23, 29, 2, 24, 16, 255, 2200.25f, 2400.0f, -5.25f, 0, 0),
        record(65535, 8, 7, 6, 5, 13, 21, 9, 0, NAN, 2400.0f, 20.0f, coord(1, 91, 0, 0), 0),
        record(5, 0, 0, 8, 4, 3, 20, 3, 60, 2250.5f, 2400.0f, 120.0f, coord(1, 0, 0, 32768),
               coord(-1, 0, 0, 1)),
    };
}

// What the table shows for each record, read back as values: record number, ISO time, density,
// porosity, material, temperature, depth, latitude, longitude (NaN: empty cell), deleted.
struct Expected {
    double no;
    const char* time;
    double density, porosity;
    const char* material;
    double temperature, depth, lat, lon;
    bool deleted;
};
const Expected expected[] = {
    {1, "2020-03-03T09:05:07", 2300.00, 4.2, "Asphalt base", 130.5, 50, 55.753416697184242,
     -37.610172526041666, false},
    {2, "2020-01-12T10:15", 2345.68, 0.0, "Asphalt 2", 0.5, 40, -30.016666412353516,
     179.983333333333320, true},
    {3, "2024-02-29T23:59:59", 2200.25, 8.3, "Material 8", -5.3, 255, NAN, NAN, false},
    {65535, "2021-01-05T06:07:08", NAN, 0.0, "Material 1", 20.0, 0, NAN, NAN, false},
    {5, "2020-03-04T08:00:00", 2250.50, 6.2, "Asphalt 3", 120.0, 60, 0.008333333333333,
     -0.000000254313151, false},
};

void writeVyz(const QString& path, const std::vector<ArchiveRecord>& records, bool coordinates) {
    const auto bytes = SerializeArchive(records.data(), int(records.size()), coordinates);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

struct Run {
    int code = -1;
    QString out, err;
};

Run runProgram(const QString& program, const QStringList& args, const QString& cwd = {}) {
    QProcess p;
    if (!cwd.isEmpty()) p.setWorkingDirectory(cwd);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// A table read by name of its heading row.
struct Table {
    QStringList head;
    QList<QStringList> rows;
    QString at(int row, const QString& column) const {
        const int c = head.indexOf(column);
        return c < 0 ? QStringLiteral("<no column %1>").arg(column) : rows[row].value(c);
    }
};
Table tableOf(const QString& csv) {
    QList<QStringList> rows = ParseCsv(csv);
    Table t;
    if (!rows.isEmpty()) t.head = rows.takeFirst();
    t.rows = rows;
    return t;
}

void compareNumber(const QString& text, double expectedValue, double tolerance, const char* what) {
    if (std::isnan(expectedValue)) {
        QVERIFY2(text.isEmpty(), qPrintable(QStringLiteral("%1: %2").arg(what, text)));
        return;
    }
    bool ok = false;
    const double v = text.toDouble(&ok);
    QVERIFY2(ok, qPrintable(QStringLiteral("%1: not a number: %2").arg(what, text)));
    QVERIFY2(std::fabs(v - expectedValue) <= tolerance,
             qPrintable(QStringLiteral("%1: %2, expected %3")
                            .arg(what)
                            .arg(v, 0, 'g', 17)
                            .arg(expectedValue, 0, 'g', 17)));
}

// One spreadsheet cell as LibreOffice read it: its type and value.
struct Cell {
    QString type, value, text;
};

// The cells of the first sheet of a flat ODF spreadsheet, row by row.
QList<QList<Cell>> sheetCells(const QString& fods) {
    QList<QList<Cell>> rows;
    QFile f(fods);
    if (!f.open(QIODevice::ReadOnly)) return rows;
    QXmlStreamReader xml(&f);
    Cell cell;
    int repeat = 1;
    bool inCell = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.qualifiedName() == u"table:table-row") {
            rows.append(QList<Cell>());
        } else if (xml.isStartElement() && (xml.qualifiedName() == u"table:table-cell" ||
                                            xml.qualifiedName() == u"table:covered-table-cell")) {
            const auto a = xml.attributes();
            cell = {a.value(QStringLiteral("office:value-type")).toString(),
                    a.hasAttribute(QStringLiteral("office:date-value"))
                        ? a.value(QStringLiteral("office:date-value")).toString()
                        : a.value(QStringLiteral("office:value")).toString(),
                    {}};
            repeat = a.hasAttribute(QStringLiteral("table:number-columns-repeated"))
                         ? a.value(QStringLiteral("table:number-columns-repeated")).toInt()
                         : 1;
            inCell = true;
        } else if (inCell && xml.isStartElement() && xml.qualifiedName() == u"text:p") {
            if (!cell.text.isEmpty()) cell.text += '\n';
            cell.text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.isEndElement() && (xml.qualifiedName() == u"table:table-cell" ||
                                          xml.qualifiedName() == u"table:covered-table-cell")) {
            for (int i = 0; i < std::min(repeat, 64); ++i)
                rows.last().append(cell);
            inCell = false;
        } else if (xml.isEndElement() && xml.qualifiedName() == u"table:table") {
            break;
        }
    }
    return rows;
}

} // namespace

class TestConvert : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void degrees_data();
    void degrees();
    void isoTime_data();
    void isoTime();
    void csvInLibreOffice_data();
    void csvInLibreOffice();
    void gpxAndKmlInGpsbabel();
    void geojsonAndKmlInOgr();
    void kmlColoursByLimits();
    void sameAsWindow_data();
    void sameAsWindow();
    void windowCsvCommand();
    void windowMapCommand();
    void badInputs_data();
    void badInputs();
    void goodInputsStillConverted();
    void manyInputsIntoFolder();
    void existingTarget();
    void outputFolderProblems();
    void usage_data();
    void usage();

private:
    Run convert(const QStringList& args) {
        return runProgram(converter_,
                          QStringList{QStringLiteral("--lang"), QStringLiteral("en")} + args,
                          work_.path());
    }
    QString path(const QString& name) const { return work_.filePath(name); }
    // The files of a folder, hidden ones (staging files) included.
    static QStringList entries(const QString& folder) {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    }

    QTemporaryDir programDir_; // the window's settings
    QTemporaryDir converterDir_;
    QTemporaryDir work_;
    QString converter_;
    QString gps_, plain_;
};

void TestConvert::initTestCase() {
    QVERIFY(programDir_.isValid() && converterDir_.isValid() && work_.isValid());
    InitProgramPaths(programDir_.path().toStdString());
    converter_ = converterDir_.filePath(QStringLiteral("vyz-convert"));
    QVERIFY(QFile::copy(QStringLiteral(VYZ_CONVERT), converter_));
    QVERIFY(QFile::setPermissions(converter_, QFile::permissions(converter_) | QFile::ExeOwner));
    gps_ = path(QStringLiteral("lot.vyz"));
    plain_ = path(QStringLiteral("plain.vyz"));
    writeVyz(gps_, fixture(), true);
    writeVyz(plain_, fixture(), false);
}

void TestConvert::degrees_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("longitude");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("degrees");
    QTest::newRow("55°45'12,3\" N")
        << coord(1, 55, 45, 13435) << false << true << 55.753416697184242;
    QTest::newRow("37°36'36,6\" W")
        << coord(-1, 37, 36, 40000) << true << true << -37.610172526041666;
    QTest::newRow("fraction 65535")
        << coord(-1, 30, 0, 65535) << false << true << -30.016666412353516;
    QTest::newRow("smallest step") << coord(-1, 0, 0, 1) << true << true << -0.000000254313151;
    QTest::newRow("pole") << coord(1, 90, 0, 0) << false << true << 90.0;
    QTest::newRow("date line") << coord(-1, 180, 0, 0) << true << true << -180.0;
    QTest::newRow("zero: no position") << 0 << false << false << 0.0;
    QTest::newRow("latitude 91") << coord(1, 91, 0, 0) << false << false << 0.0;
    QTest::newRow("beyond the pole") << coord(1, 90, 0, 1) << false << false << 0.0;
    QTest::newRow("longitude 181") << coord(1, 181, 0, 0) << true << false << 0.0;
    QTest::newRow("minutes 60") << coord(1, 10, 60, 0) << false << false << 0.0;
    QTest::newRow("most negative field") << int(INT32_MIN) << true << false << 0.0;
}

void TestConvert::degrees() {
    QFETCH(int, value);
    QFETCH(bool, longitude);
    QFETCH(bool, valid);
    QFETCH(double, degrees);
    double d = 1234;
    QCOMPARE(CoordinateDegrees(value, longitude, d), valid);
    if (valid) QVERIFY2(std::fabs(d - degrees) < 1e-13, qPrintable(QString::number(d, 'g', 17)));
}

void TestConvert::isoTime_data() {
    QTest::addColumn<int>("sec");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("hour");
    QTest::addColumn<int>("day");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("year");
    QTest::addColumn<QString>("iso");
    QTest::newRow("plain") << 7 << 5 << 9 << 3 << 3 << 20 << "2020-03-03T09:05:07";
    QTest::newRow("deleted: minutes")
        << int(DeletedMark) << 15 << 10 << 12 << 1 << 20 << "2020-01-12T10:15";
    QTest::newRow("month 13 reads January")
        << 0 << 0 << 0 << 31 << 13 << 5 << "2005-01-31T00:00:00";
    QTest::newRow("29 Feb leap") << 0 << 0 << 0 << 29 << 2 << 24 << "2024-02-29T00:00:00";
    QTest::newRow("year 123") << 0 << 0 << 0 << 1 << 1 << 123 << "2123-01-01T00:00:00";
    QTest::newRow("29 Feb 2100") << 0 << 0 << 0 << 29 << 2 << 100 << "";
    QTest::newRow("31 Apr") << 0 << 0 << 0 << 31 << 4 << 20 << "";
    QTest::newRow("month 0") << 0 << 0 << 0 << 15 << 0 << 20 << "";
    QTest::newRow("day 0") << 0 << 0 << 0 << 0 << 1 << 20 << "";
    QTest::newRow("hour 24") << 0 << 0 << 24 << 1 << 1 << 20 << "";
    QTest::newRow("minute 60") << 0 << 60 << 0 << 1 << 1 << 20 << "";
    QTest::newRow("second 60") << 60 << 0 << 0 << 1 << 1 << 20 << "";
}

void TestConvert::isoTime() {
    QFETCH(int, sec);
    QFETCH(int, min);
    QFETCH(int, hour);
    QFETCH(int, day);
    QFETCH(int, month);
    QFETCH(int, year);
    QFETCH(QString, iso);
    const ArchiveRecord r = record(1, uint8_t(sec), uint8_t(min), uint8_t(hour), uint8_t(day),
                                   uint8_t(month), uint8_t(year), 0, 0, 0, 0, 0, 0, 0);
    QCOMPARE(QString::fromStdString(IsoDateTime(r)), iso);
}

void TestConvert::csvInLibreOffice_data() {
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<bool>("bom");
    QTest::addColumn<int>("separatorCode");
    QTest::addColumn<int>("locale"); // the decimal separator LibreOffice reads numbers with
    QTest::newRow("comma, point") << "comma"
                                  << "point" << false << 44 << 1033;
    QTest::newRow("comma, comma, BOM") << "comma"
                                       << "comma" << true << 44 << 1031;
    QTest::newRow("semicolon, comma") << "semicolon"
                                      << "comma" << false << 59 << 1031;
    QTest::newRow("semicolon, point, BOM") << "semicolon"
                                           << "point" << true << 59 << 1033;
    QTest::newRow("tab, point") << "tab"
                                << "point" << false << 9 << 1033;
    QTest::newRow("tab, comma") << "tab"
                                << "comma" << false << 9 << 1031;
}

void TestConvert::csvInLibreOffice() {
    if (!HaveProgram("soffice")) QSKIP("LibreOffice is not installed");
    QFETCH(QString, separator);
    QFETCH(QString, decimal);
    QFETCH(bool, bom);
    QFETCH(int, separatorCode);
    QFETCH(int, locale);
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("lot.csv"));
    const Run r = convert({QStringLiteral("--csv-separator"), separator,
                           QStringLiteral("--csv-decimal"), decimal, QStringLiteral("--csv-bom"),
                           bom ? "yes" : "no", gps_, QStringLiteral("-o"), csv});
    QCOMPARE(r.code, 0);
    const QByteArray bytes = ReadAll(csv);
    QCOMPARE(bytes.startsWith("\xEF\xBB\xBF"), bom);
    QVERIFY(bytes.endsWith("\r\n"));

    const Run lo = runProgram(
        QStringLiteral("soffice"),
        {QStringLiteral("-env:UserInstallation=file://") + dir.filePath(QStringLiteral("profile")),
         QStringLiteral("--headless"),
         QStringLiteral("--infilter=CSV:%1,34,76,1,,%2,false,true").arg(separatorCode).arg(locale),
         QStringLiteral("--convert-to"), QStringLiteral("fods"), QStringLiteral("--outdir"),
         dir.path(), csv});
    QCOMPARE(lo.code, 0);
    const QList<QList<Cell>> rows = sheetCells(dir.filePath(QStringLiteral("lot.fods")));
    QVERIFY(rows.size() >= 6);
    const QStringList head = {"Rec. №",       "Date, time",      "Density, kg/m^3", "Porosity, %",
                              "Material",     "Temperature, °C", "Mat depth, mm",   "Latitude, °",
                              "Longitude, °", "Deleted"};
    for (int c = 0; c < head.size(); ++c)
        QCOMPARE(rows[0].value(c).text, head[c]);
    // Newest first, as the table lists them.
    for (int i = 0; i < 5; ++i) {
        const Expected& e = expected[4 - i];
        const QList<Cell>& row = rows[i + 1];
        auto number = [&](int c, double v, double tol, const char* what) {
            if (std::isnan(v)) {
                QVERIFY2(row.value(c).type.isEmpty(), what);
                return;
            }
            QCOMPARE(row.value(c).type, QStringLiteral("float"));
            compareNumber(row.value(c).value, v, tol, what);
        };
        number(0, e.no, 0, "record number");
        QCOMPARE(row.value(1).type, QStringLiteral("date"));
        QVERIFY2(row.value(1).value.startsWith(QString::fromLatin1(e.time)),
                 qPrintable(row.value(1).value));
        number(2, e.density, 1e-9, "density");
        number(3, e.porosity, 1e-9, "porosity");
        QCOMPARE(row.value(4).text, QString::fromLatin1(e.material));
        number(5, e.temperature, 1e-9, "temperature");
        number(6, e.depth, 0, "depth");
        number(7, e.lat, 1e-7, "latitude");
        number(8, e.lon, 1e-7, "longitude");
        QCOMPARE(row.value(9).text, e.deleted ? QStringLiteral("deleted") : QString());
    }
}

void TestConvert::gpxAndKmlInGpsbabel() {
    if (!HaveProgram("gpsbabel")) QSKIP("gpsbabel is not installed");
    for (const char* format : {"gpx", "kml"}) {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("lot.") + QLatin1String(format));
        const Run r = convert({gps_, QStringLiteral("-o"), out});
        QCOMPARE(r.code, 0);
        QCOMPARE(
            r.err,
            QStringLiteral("vyz-convert: %1: records without a position left out: 2\n").arg(gps_));
        const QString csv = dir.filePath(QStringLiteral("read.csv"));
        const Run babel = runProgram(QStringLiteral("gpsbabel"),
                                     {QStringLiteral("-i"), QLatin1String(format),
                                      QStringLiteral("-f"), out, QStringLiteral("-o"),
                                      QStringLiteral("unicsv,utc=0"), QStringLiteral("-F"), csv});
        QVERIFY2(babel.code == 0, qPrintable(babel.err));
        const Table t = tableOf(QString::fromUtf8(ReadAll(csv)));
        // Its CSV rounds to 6 places; its GPX writes the coordinates it read to 9.
        const QString gpx = dir.filePath(QStringLiteral("read.gpx"));
        QCOMPARE(runProgram(QStringLiteral("gpsbabel"),
                            {QStringLiteral("-i"), QLatin1String(format), QStringLiteral("-f"), out,
                             QStringLiteral("-o"), QStringLiteral("gpx,gpxver=1.1"),
                             QStringLiteral("-F"), gpx})
                     .code,
                 0);
        QList<QRegularExpressionMatch> points;
        const QRegularExpression wpt(QStringLiteral("<wpt lat=\"([^\"]+)\" lon=\"([^\"]+)\""));
        for (auto it = wpt.globalMatch(QString::fromUtf8(ReadAll(gpx))); it.hasNext();)
            points << it.next();
        QCOMPARE(t.rows.size(), 3);
        QCOMPARE(points.size(), 3);
        const int order[] = {0, 1, 4}; // archive order, positions only
        for (int i = 0; i < 3; ++i) {
            const Expected& e = expected[order[i]];
            compareNumber(points[i].captured(1), e.lat, 1e-7, "latitude");
            compareNumber(points[i].captured(2), e.lon, 1e-7, "longitude");
            QCOMPARE(t.at(i, QStringLiteral("Name")), QString::number(e.no));
            QVERIFY2(t.at(i, QStringLiteral("Description"))
                         .contains(QStringLiteral("Density, kg/m^3: ")),
                     qPrintable(t.at(i, QStringLiteral("Description"))));
        }
        QVERIFY(t.at(0, QStringLiteral("Description"))
                    .contains(QStringLiteral("Density, kg/m^3: 2300,00")));
        QVERIFY(t.at(1, QStringLiteral("Description")).contains(QStringLiteral("deleted")));
        // The time as the instrument's clock read it (the deleted record has none).
        QCOMPARE(t.at(0, QStringLiteral("Date")), QStringLiteral("2020/03/03"));
        QCOMPARE(t.at(0, QStringLiteral("Time")), QStringLiteral("09:05:07"));
    }
}

void TestConvert::geojsonAndKmlInOgr() {
    if (!HaveProgram("ogr2ogr")) QSKIP("gdal-bin is not installed");
    for (const char* format : {"geojson", "kml"}) {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("lot.") + QLatin1String(format));
        QCOMPARE(convert({gps_, QStringLiteral("-o"), out}).code, 0);
        const QString csvDir = dir.filePath(QStringLiteral("read"));
        const Run ogr = runProgram(QStringLiteral("ogr2ogr"),
                                   {QStringLiteral("-f"), QStringLiteral("CSV"), csvDir, out,
                                    QStringLiteral("-lco"), QStringLiteral("GEOMETRY=AS_XY")});
        QVERIFY2(ogr.code == 0, qPrintable(ogr.err));
        // GeoJSON is one layer; KML one layer per day, in the order the days come.
        const QStringList layers = QDir(csvDir).entryList({QStringLiteral("*.csv")}, QDir::Files);
        QStringList rowsByRecord;
        Table all;
        for (const QString& layer : layers) {
            const Table t = tableOf(QString::fromUtf8(ReadAll(csvDir + '/' + layer)));
            all.head = t.head;
            all.rows += t.rows;
        }
        if (QLatin1String(format) == QLatin1String("kml"))
            QCOMPARE(layers, QStringList({"2020-01-12.csv", "2020-03-03.csv", "2020-03-04.csv"}));
        QCOMPARE(all.rows.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const int no = all.at(i, QStringLiteral("record")).toInt();
            const Expected* e = nullptr;
            for (const Expected& x : expected)
                if (x.no == no) e = &x;
            QVERIFY2(e, qPrintable(all.at(i, QStringLiteral("record"))));
            compareNumber(all.at(i, QStringLiteral("X")), e->lon, 1e-7, "longitude");
            compareNumber(all.at(i, QStringLiteral("Y")), e->lat, 1e-7, "latitude");
            compareNumber(all.at(i, QStringLiteral("density")), e->density, 1e-9, "density");
            compareNumber(all.at(i, QStringLiteral("porosity")), e->porosity, 1e-9, "porosity");
            compareNumber(all.at(i, QStringLiteral("temperature")), e->temperature, 1e-9, "temp");
            compareNumber(all.at(i, QStringLiteral("thickness")), e->depth, 0, "depth");
            QCOMPARE(all.at(i, QStringLiteral("material")), QString::fromLatin1(e->material));
            QVERIFY2(all.at(i, QStringLiteral("time"))
                         .remove('/')
                         .remove('-')
                         .startsWith(QString::fromLatin1(e->time).remove('-').left(8)),
                     qPrintable(all.at(i, QStringLiteral("time"))));
            const QString deleted = all.at(i, QStringLiteral("deleted")).toLower();
            QCOMPARE(deleted == "true" || deleted == "1", e->deleted);
        }
    }
}

void TestConvert::kmlColoursByLimits() {
    // Limits in the converter's settings file: porosity at most 5 % and temperature at least 100.
    const QString ini = converterDir_.filePath(QStringLiteral("Vyz.ini"));
    QVERIFY(WriteFile(ini, "[Analysis]\r\nPorosityHigh=5,0\r\nTemperatureLow=100\r\n"));
    QTemporaryDir dir;
    const QString kml = dir.filePath(QStringLiteral("lot.kml"));
    const Run r = convert({gps_, QStringLiteral("-o"), kml});
    QFile::remove(ini);
    QCOMPARE(r.code, 0);
    const QString text = QString::fromUtf8(ReadAll(kml));
    // Record 1: 4.2 %, 130.5 °C passes; record 2 is deleted and judged by nothing, as in the
    // lot analysis; record 5: 6.2 % fails.
    QRegularExpression placemark(
        QStringLiteral("<Placemark><name>(\\d+)</name>.*?<styleUrl>#(\\w+)</styleUrl>"));
    QStringList verdicts;
    for (auto it = placemark.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        verdicts << m.captured(1) + '=' + m.captured(2);
    }
    QCOMPARE(verdicts, QStringList({"1=pass", "2=none", "5=fail"}));
    QVERIFY(text.contains(QStringLiteral("<Style id=\"fail\">")));
    // Without limits nothing is coloured.
    QCOMPARE(convert({QStringLiteral("--force"), gps_, QStringLiteral("-o"), kml}).code, 0);
    QVERIFY(!ReadAll(kml).contains("styleUrl"));
}

void TestConvert::sameAsWindow_data() {
    QTest::addColumn<bool>("coordinates");
    QTest::addColumn<int>("lang");
    QTest::newRow("coordinates, English") << true << 1;
    QTest::newRow("coordinates, Russian") << true << 0;
    QTest::newRow("plain, Russian") << false << 0;
}

void TestConvert::sameAsWindow() {
    QFETCH(bool, coordinates);
    QFETCH(int, lang);
    const QString input = coordinates ? gps_ : plain_;
    const QStringList langArg = {QStringLiteral("--lang"), lang == 0 ? "ru" : "en"};
    TForm1 form;
    form.show();
    LangIndex = int8_t(lang);
    form.OpenMeasurementFile(input);
    QCOMPARE(RecordCount.load(), 5);
    QTemporaryDir dir;

    // CSV with the choices the window stores; the converter given the same on its command line.
    StoreCsvOptions({';', ',', true, false});
    QVERIFY(form.ExportCsvTo(dir.filePath(QStringLiteral("window.csv"))));
    Run r = runProgram(converter_,
                       langArg + QStringList{QStringLiteral("--csv-separator"), "semicolon",
                                             QStringLiteral("--csv-decimal"), "comma",
                                             QStringLiteral("--csv-bom"), "yes", input,
                                             QStringLiteral("-o"), dir.filePath("tool.csv")});
    QCOMPARE(r.code, 0);
    QCOMPARE(ReadAll(dir.filePath("tool.csv")), ReadAll(dir.filePath("window.csv")));
    QVERIFY(ReadAll(dir.filePath("window.csv")).size() > 300);

    const struct {
        const char* suffix;
        MapFormat format;
    } maps[] = {{"gpx", MapFormat::Gpx}, {"kml", MapFormat::Kml}, {"geojson", MapFormat::GeoJson}};
    for (const auto& m : maps) {
        const QString suffix = QLatin1String(m.suffix);
        const QString mine = dir.filePath("window." + suffix),
                      theirs = dir.filePath("tool." + suffix);
        r = runProgram(converter_, langArg + QStringList{input, QStringLiteral("-o"), theirs});
        if (!coordinates) {
            // A plain file has no positions: neither writes a file.
            QCOMPARE(r.code, 1);
            QVERIFY(r.err.contains(lang == 0 ? QString::fromUtf8("ни у одной записи нет координат")
                                             : QStringLiteral("no record has a position")));
            ModalScript script({[](QWidget* box) { box->close(); }});
            QVERIFY(!form.ExportMapTo(mine, m.format));
            QCOMPARE(script.seen.size(), 1);
            QCOMPARE(script.seen[0].kind, QStringLiteral("box"));
            QVERIFY(!QFile::exists(mine) && !QFile::exists(theirs));
            continue;
        }
        QCOMPARE(r.code, 0);
        QVERIFY(form.ExportMapTo(mine, m.format));
        QCOMPARE(ReadAll(theirs), ReadAll(mine));
    }

    // The report: the window's binding over its table against the converter's.
    ReportBinding binding(*form.StringGrid1());
    report::Report& report = binding.CurrentReport();
    report.PrepareReport();
    for (const report::ExportFormat f : {report::ExportFormat::Text, report::ExportFormat::Html,
                                         report::ExportFormat::Rtf, report::ExportFormat::Pdf}) {
        const QString s = report::ExportSuffix(f);
        const QString mine = dir.filePath("window." + s), theirs = dir.filePath("tool." + s);
        QVERIFY(report::ExportReport(f, report.Prepared(), mine).ok());
        QCOMPARE(runProgram(converter_, langArg + QStringList{input, "-o", theirs}).code, 0);
        if (s != "pdf") {
            QCOMPARE(ReadAll(theirs), ReadAll(mine));
            continue;
        }
        // A PDF carries its creation time; its text and fonts must agree.
        const Run a = runProgram("pdftotext", {"-layout", mine, "-"});
        const Run b = runProgram("pdftotext", {"-layout", theirs, "-"});
        QCOMPARE(a.code, 0);
        QCOMPARE(b.out, a.out);
        QVERIFY(b.out.contains(lang == 0 ? QString::fromUtf8("Измеренные значения плотности")
                                         : QStringLiteral("Measured density values")));
        const Run fonts = runProgram("pdffonts", {theirs});
        QVERIFY(fonts.out.contains("LiberationSerif") || fonts.out.contains("TimesNewRoman"));
        for (const QString& line : fonts.out.split('\n').mid(2))
            if (!line.trimmed().isEmpty())
                QVERIFY2(line.contains(QStringLiteral(" yes ")), qPrintable(line)); // embedded
    }
}

// The File menu's CSV command as the operator uses it: the choices dialog (kept in the settings
// file), then the save dialog, which asks before it replaces a file.
void TestConvert::windowCsvCommand() {
    TForm1 form;
    form.show();
    LangIndex = 1;
    form.OpenMeasurementFile(gps_);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("lot.csv"));
    QVERIFY(WriteFile(target, "old"));
    StoreCsvOptions({});
    ModalScript script(
        {[](QWidget* options) {
             options->findChild<QComboBox*>(QStringLiteral("cbSeparator"))->setCurrentIndex(2);
             options->findChild<QComboBox*>(QStringLiteral("cbDecimal"))->setCurrentIndex(1);
             options->findChild<QComboBox*>(QStringLiteral("cbDates"))->setCurrentIndex(1);
             qobject_cast<QDialog*>(options)->accept();
         },
         // The operator picks the existing file and confirms replacing it.
         choose(target), press(QMessageBox::Yes)});
    form.AExportCsv->trigger();
    QCOMPARE(script.seen.size(), 3);
    QCOMPARE(script.unexpected, 0);
    QCOMPARE(script.seen[0].title, QStringLiteral("Export to CSV"));
    QCOMPARE(script.seen[1].kind, QStringLiteral("dialog"));
    QVERIFY(script.seen[1].title.startsWith(QStringLiteral("Export to CSV...")));
    QVERIFY(script.seen[1].save && script.seen[1].confirmsOverwrite);
    QCOMPARE(script.seen[2].kind, QStringLiteral("box"));
    // The choices were stored and used: tab, decimal comma, the table's dates.
    QCOMPARE(IniRead("Export", "CsvSeparator", "", 16), std::string("tab"));
    QCOMPARE(IniRead("Export", "CsvDecimal", "", 16), std::string("comma"));
    QCOMPARE(IniRead("Export", "CsvDates", "", 16), std::string("table"));
    const QList<QByteArray> lines = ReadAll(target).split('\n');
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[5],
             QByteArray("1\t 9:05:07 (Mar  3, 2020)\t2300,00\t4,2\tAsphalt base\t130,5\t50\t"
                        "55,753416697\t-37,610172526\t\r"));
    StoreCsvOptions({});
}

// The map command: the filter the operator picks gives the format and the file's suffix.
void TestConvert::windowMapCommand() {
    TForm1 form;
    form.show();
    LangIndex = 0;
    form.OpenMeasurementFile(gps_);
    QTemporaryDir dir;
    QStringList filters;
    ModalScript script({[&](QWidget* w) {
        auto* files = qobject_cast<QFileDialog*>(w);
        QVERIFY(files);
        filters = files->nameFilters();
        files->selectNameFilter(filters.value(1));
        // selectNameFilter does not announce itself; the operator's choice does.
        emit files->filterSelected(filters.value(1));
        choose(dir.filePath(QStringLiteral("lot")))(files);
    }});
    form.AExportMap->trigger();
    QCOMPARE(script.seen.size(), 1);
    QCOMPARE(filters, QStringList({"GPX 1.1 (*.gpx)", "KML 2.2 (*.kml)", "GeoJSON (*.geojson)"}));
    QCOMPARE(entries(dir.path()), QStringList({"lot.kml"}));
    const QByteArray kml = ReadAll(dir.filePath(QStringLiteral("lot.kml")));
    QVERIFY(kml.contains("<kml xmlns=\"http://www.opengis.net/kml/2.2\">"));
    QVERIFY(kml.contains(QString::fromUtf8("<name>Измеренные значения плотности</name>").toUtf8()));
    auto* status = form.findChild<QPushButton*>(QStringLiteral("sbStatus"));
    QCOMPARE(status->text(),
             QString::fromUtf8("Экспортировано записей: 3 в файл \"%1\"; записей без "
                               "координат пропущено: 2")
                 .arg(dir.filePath(QStringLiteral("lot.kml"))));
}

void TestConvert::badInputs_data() {
    QTest::addColumn<QByteArray>("content"); // "<missing>", "<folder>", "<fifo>": no regular file
    QTest::addColumn<QString>("message");
    const QByteArray m(reinterpret_cast<const char*>(CoordinatesMarker), 16);
    const auto good = SerializeArchive(fixture().data(), 5, true);
    const QByteArray whole(reinterpret_cast<const char*>(good.data()), qsizetype(good.size()));
    QTest::newRow("missing") << QByteArray("<missing>") << "cannot read: No such file or directory";
    QTest::newRow("folder") << QByteArray("<folder>") << "cannot read: Is a directory";
    QTest::newRow("fifo") << QByteArray("<fifo>") << "cannot read: Invalid argument";
    QTest::newRow("empty") << QByteArray() << "the file is empty";
    QTest::newRow("marker only") << m << "the file holds no records";
    QTest::newRow("cut inside a record")
        << whole.left(whole.size() - 5) << "damaged file: 27 bytes after the last whole record";
    QTest::newRow("plain, one byte over") << whole.mid(16, 24) + "x"
                                          << "damaged file: 1 bytes after the last whole record";
    QTest::newRow("text file")
        << QByteArray("This is a letter, not a measurement file at all!\n").repeated(2).left(96)
        << "not a measurement file of the instrument";
    QTest::newRow("zeros") << QByteArray(240, '\0') << "not a measurement file of the instrument";
}

void TestConvert::badInputs() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("bad.vyz"));
    if (content == "<folder>")
        QVERIFY(QDir().mkdir(input));
    else if (content == "<fifo>")
        QCOMPARE(::mkfifo(QFile::encodeName(input).constData(), 0600), 0);
    else if (content != "<missing>")
        QVERIFY(WriteFile(input, content));
    const QString outDir = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkdir(outDir));
    for (const char* format : {"csv", "pdf", "kml"}) {
        const QString out = outDir + QStringLiteral("/bad.") + QLatin1String(format);
        const Run r = convert({input, QStringLiteral("-o"), out});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QStringLiteral("vyz-convert: %1: %2\n").arg(input, message));
        QCOMPARE(entries(outDir), QStringList());
    }
}

void TestConvert::goodInputsStillConverted() {
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty.vyz"));
    QVERIFY(WriteFile(empty, {}));
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkdir(out));
    const Run r = convert({QStringLiteral("--format"), QStringLiteral("csv"), gps_, empty, plain_,
                           QStringLiteral("-o"), out});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("vyz-convert: %1: the file is empty\n").arg(empty));
    QCOMPARE(entries(out), QStringList({"lot.csv", "plain.csv"}));
    // Plain layout: no coordinate columns.
    const QList<QByteArray> lines = ReadAll(out + "/plain.csv").split('\n');
    QCOMPARE(lines.size(), 7);
    QCOMPARE(lines[0],
             QByteArray("Rec. №,\"Date, time\",\"Density, kg/m^3\",\"Porosity, %\",Material,"
                        "\"Temperature, °C\",\"Mat depth, mm\",Deleted\r"));
    QCOMPARE(lines[1], QByteArray("5,2020-03-04T08:00:00,2250.50,6.2,Asphalt 3,120.0,60,\r"));
    QCOMPARE(lines[2], QByteArray("65535,2021-01-05T06:07:08,,0.0,Material 1,20.0,0,\r"));
    QCOMPARE(lines[4], QByteArray("2,2020-01-12T10:15,2345.68,0.0,Asphalt 2,0.5,40,deleted\r"));
}

void TestConvert::manyInputsIntoFolder() {
    // 2677 records each, as a full instrument holds; the same name from two folders is refused.
    QTemporaryDir dir;
    std::vector<ArchiveRecord> full;
    for (int i = 0; i < ArchiveCapacity; ++i)
        full.push_back(fixture()[size_t(i % 5)]);
    QVERIFY(QDir().mkpath(dir.filePath("a")) && QDir().mkpath(dir.filePath("b")) &&
            QDir().mkpath(dir.filePath("out")));
    writeVyz(dir.filePath("a/x.vyz"), full, true);
    writeVyz(dir.filePath("b/x.vyz"), full, true);
    writeVyz(dir.filePath("a/y.VYZ"), full, false);
    const Run r = convert({"--format", "txt", dir.filePath("a/x.vyz"), dir.filePath("a/y.VYZ"),
                           dir.filePath("b/x.vyz"), "-o", dir.filePath("out")});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("vyz-convert: %1: %2 was already written from another input\n")
                        .arg(dir.filePath("b/x.vyz"), dir.filePath("out/x.txt")));
    QCOMPARE(entries(dir.filePath("out")), QStringList({"x.txt", "y.txt"}));
    const QString text = QString::fromUtf8(ReadAll(dir.filePath("out/y.txt")));
    QVERIFY(text.contains(QStringLiteral("Measured density values")));
    QVERIFY(text.contains(QStringLiteral("- 2 -")));
}

void TestConvert::existingTarget() {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("lot.geojson"));
    QVERIFY(WriteFile(out, "keep me"));
    Run r = convert({gps_, QStringLiteral("-o"), out});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err,
             QStringLiteral("vyz-convert: %1: %2 exists (--force replaces it)\n").arg(gps_, out));
    QCOMPARE(ReadAll(out), QByteArray("keep me"));
    r = convert({QStringLiteral("--force"), gps_, QStringLiteral("-o"), out});
    QCOMPARE(r.code, 0);
    QVERIFY(ReadAll(out).startsWith("{\"type\":\"FeatureCollection\""));
    QCOMPARE(entries(dir.path()), QStringList({"lot.geojson"}));
    // Never over its own input.
    r = convert({QStringLiteral("--force"), QStringLiteral("--format"), QStringLiteral("csv"), gps_,
                 QStringLiteral("-o"), gps_});
    QCOMPARE(r.code, 1);
    QVERIFY(r.err.contains(QStringLiteral("is the input file itself")));
    QCOMPARE(ReadAll(gps_).size(), 16 + 5 * 32);
}

void TestConvert::outputFolderProblems() {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("no/such"));
    Run r = convert({gps_, QStringLiteral("-o"), missing + QStringLiteral("/lot.pdf")});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("vyz-convert: the folder %1 does not exist\n").arg(missing));
    r = convert({"--format", "csv", gps_, plain_, QStringLiteral("-o"), missing});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("vyz-convert: the folder %1 does not exist\n").arg(missing));

    TmpfsMount mount(1 << 20);
    if (!mount.Mounted()) QSKIP("needs root to mount a read-only folder");
    QVERIFY(mount.MakeReadOnly());
    r = convert({gps_, QStringLiteral("-o"), mount.Path() + QStringLiteral("/lot.csv")});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("vyz-convert: the folder %1 cannot be written: "
                                   "Read-only file system\n")
                        .arg(mount.Path()));
    QCOMPARE(entries(mount.Path()), QStringList());

    // A full disk: the export fails and leaves nothing behind, through either writer.
    TmpfsMount small(16 * 1024);
    QVERIFY(small.Mounted());
    std::vector<ArchiveRecord> full;
    for (int i = 0; i < ArchiveCapacity; ++i)
        full.push_back(fixture()[size_t(i % 5)]);
    const QString big = dir.filePath(QStringLiteral("full.vyz"));
    writeVyz(big, full, true);
    for (const char* name : {"/full.csv", "/full.pdf", "/full.xlsx", "/full.ods", "/full.odt",
                             "/full.rtf", "/full.html", "/full.txt", "/full.kml"}) {
        const QString out = small.Path() + QLatin1String(name);
        r = convert({big, QStringLiteral("-o"), out});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.startsWith(QStringLiteral("vyz-convert: cannot write %1: ").arg(out)),
                 qPrintable(r.err));
        QCOMPARE(entries(small.Path()), QStringList());
    }
    QVERIFY(convert({big, QStringLiteral("-o"), small.Path() + "/full.csv"})
                .err.contains(QStringLiteral("No space left on device")));
}

void TestConvert::usage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("firstLine"); // of standard error, or of standard output for 0
    QTest::newRow("nothing") << QStringList() << 2 << "vyz-convert: no input files";
    QTest::newRow("no output") << QStringList{"x.vyz"} << 2 << "vyz-convert: no output given (-o)";
    QTest::newRow("unknown option") << QStringList{"--frobnicate", "x.vyz", "-o", "y.pdf"} << 2
                                    << "vyz-convert: unknown option --frobnicate";
    QTest::newRow("unknown format") << QStringList{"--format", "docx", "x.vyz", "-o", "y"} << 2
                                    << "vyz-convert: unknown format \"docx\"";
    QTest::newRow("format from name")
        << QStringList{"x.vyz", "-o", "y.docx"} << 2
        << "vyz-convert: cannot tell the format from the name y.docx: "
           "give --format";
    QTest::newRow("bad CSV choice") << QStringList{"--csv-decimal", "dot", "x.vyz", "-o", "y.csv"}
                                    << 2 << "vyz-convert: invalid value \"dot\" for --csv-decimal";
    QTest::newRow("-o without value")
        << QStringList{"x.vyz", "-o"} << 2 << "vyz-convert: option -o needs a value";
    QTest::newRow("help") << QStringList{"--help"} << 0
                          << "Usage: vyz-convert [--lang ru|en] [--format FORMAT] [--force] [CSV "
                             "options] FILE.vyz... -o OUTPUT";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "vyz-convert 1.0.0.1";
}

void TestConvert::usage() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, firstLine);
    const Run r = convert(args);
    QCOMPARE(r.code, code);
    QCOMPARE((code == 0 ? r.out : r.err).section('\n', 0, 0), firstLine);
    if (code == 2) QVERIFY(r.err.contains(QStringLiteral("\nUsage: vyz-convert")));
    // In Russian too.
    const Run ru = runProgram(converter_, QStringList{"--lang", "ru"} + args, work_.path());
    QCOMPARE(ru.code, code);
    if (code == 2) QVERIFY(ru.err.contains(QString::fromUtf8("Использование: vyz-convert")));
}

QTEST_MAIN(TestConvert)
#include "test_convert.moc"
