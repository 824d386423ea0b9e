// Every export of a prepared report, read back by a real reader: pdftotext for PDF, LibreOffice
// for the workbook, the spreadsheet, the text document, RTF and HTML; our own reading for plain
// text. The rows and columns read back must be the table's, with the report's title, headings on
// every page and the page footers.
#include "output/report_binding.h"
#include "report/report_export.h"
#include "report/report_painter.h"
#include "support/test_files.h"
#include "table_fixture.h"

#include <QDir>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace vyz;
using namespace testsupport;
using namespace vyz::report;

namespace {

QString u(const char* s) {
    return QString::fromUtf8(s);
}

const QStringList PlainHeadings = {u("№"),
                                   u("Дата"),
                                   u("Время"),
                                   u("Плотность, кг/м^3"),
                                   u("Пористость, %"),
                                   u("Материал"),
                                   u("Температура, °C"),
                                   u("Толщина слоя, мм")};
const QString Title = u("Измеренные значения плотности");

QStringList trimmed(QStringList row) {
    for (QString& s : row)
        s = s.trimmed();
    while (!row.isEmpty() && row.last().isEmpty())
        row.removeLast();
    return row;
}

QString readText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

QString run(const QString& program, const QStringList& args, int timeoutMs = 120000) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return QStringLiteral("<timeout>");
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Counts steps and cancels at a given one.
class CancelAt : public Progress {
public:
    explicit CancelAt(int step) : step_(step) {}
    void Begin(int total) override { total_ = total; }
    bool Step(int done) override {
        last_ = done;
        return done < step_;
    }
    int total_ = 0, last_ = -1;

private:
    int step_;
};

} // namespace

class TestReportExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void plainText();
    void pdf();
    void printerPathGivesTheSamePages();
    void libreOfficeReadsEveryExport();
    void cancelAndFailureKeepTheOldFile_data();
    void cancelAndFailureKeepTheOldFile();
    void overwritesWithoutAsking();

private:
    // The rows every export must show, in order: title, headings on every page, data rows,
    // footers from page 2 on.
    QList<QStringList> expectedRows() const;
    QString path(ExportFormat f) const {
        return dir_.filePath(QStringLiteral("report_%1.%1").arg(ExportSuffix(f)));
    }

    QTemporaryDir dir_;
    StringGrid grid_;
    QList<QStringList> table_;
    std::unique_ptr<ReportBinding> binding_;
    const PreparedReport* report_ = nullptr;
};

void TestReportExport::initTestCase() {
    LangIndex = 0;
    // Russian and English rows mixed: Cyrillic, "°" and the double blank of "Mar  3, 2020".
    for (int i = 150; i > 0; --i)
        table_ << test::MakeCells(i, i % 2, false);
    test::FillGrid(grid_, table_, false, 0);
    binding_ = std::make_unique<ReportBinding>(grid_);
    binding_->frxReport1.PrepareReport();
    report_ = &binding_->frxReport1.Prepared();
    QVERIFY(report_->pages.size() >= 3);
    for (const ExportFormatEntry& e : ExportFormats) {
        const ExportResult r = ExportReport(e.format, *report_, path(e.format));
        QVERIFY2(r.ok(), qPrintable(QLatin1String(e.suffix) + QStringLiteral(": ") + r.error));
    }
}

QList<QStringList> TestReportExport::expectedRows() const {
    QList<QStringList> rows;
    int data = 0;
    for (int p = 0; p < report_->pages.size(); ++p)
        for (const PreparedBand& band : report_->pages[p].bands)
            switch (band.kind) {
            case BandKind::ReportTitle:
                rows << QStringList{Title};
                break;
            case BandKind::PageHeader:
                rows << PlainHeadings;
                break;
            case BandKind::MasterData:
                rows << trimmed(test::ReportCells(table_[data++]));
                break;
            case BandKind::PageFooter:
                rows << QStringList{QStringLiteral("- %1 -").arg(p + 1)};
            }
    [&] { QCOMPARE(data, table_.size()); }();
    return rows;
}

void TestReportExport::plainText() {
    const QStringList lines =
        readText(path(ExportFormat::Text)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QList<QStringList> expected = expectedRows();
    QCOMPARE(lines.size(), expected.size());
    // Column starts from the heading line; every row's cells start at those columns.
    QVector<int> starts;
    for (int i = 0, from = 0; i < PlainHeadings.size(); ++i) {
        const int at = lines[1].indexOf(PlainHeadings[i], from);
        QVERIFY2(at >= 0, qPrintable(lines[1]));
        starts << at;
        from = at + int(PlainHeadings[i].size());
    }
    starts << 1000000;
    for (int i = 0; i < lines.size(); ++i) {
        QStringList cells;
        if (expected[i].size() == 1) {
            cells << lines[i].trimmed();
        } else {
            for (int c = 0; c + 1 < starts.size(); ++c)
                cells << lines[i].mid(starts[c], starts[c + 1] - starts[c]).trimmed();
            cells = trimmed(cells);
        }
        QCOMPARE(cells, expected[i]);
    }
}

namespace {

// Checks the text pdftotext extracts from `pdf` against the table's rows.
void checkPdf(const QString& pdf, const QList<QStringList>& table, int pages) {
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY2(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))),
             qPrintable(info));
    // Every font embedded (pdffonts' columns: ... emb sub uni object-id generation).
    const QStringList fonts = run(QStringLiteral("pdffonts"), {pdf}).split(QLatin1Char('\n'));
    QVERIFY(fonts.size() > 3);
    const QRegularExpression embedded(
        QStringLiteral("\\s(yes|no)\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+\\s*$"));
    for (const QString& line : fonts.mid(2)) {
        if (line.trimmed().isEmpty()) continue;
        const QRegularExpressionMatch m = embedded.match(line);
        QVERIFY2(m.hasMatch() && m.captured(1) == QStringLiteral("yes"), qPrintable(line));
    }
    const QString text =
        run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-enc"),
                                          QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    QVERIFY(text.contains(u("Измеренные значения плотности")));
    const QStringList pageTexts = text.split(QLatin1Char('\f'));
    // The footer's narrow blanks do not survive text extraction: "- 2 -" reads as "-2-".
    auto footer = [](int p) {
        return QRegularExpression(QStringLiteral("\\n\\s*-\\s*%1\\s*-\\s*\\n").arg(p));
    };
    QVERIFY(!pageTexts[0].contains(footer(1)));
    for (int p = 2; p <= pages; ++p)
        QVERIFY2(pageTexts[p - 1].contains(footer(p)), qPrintable(pageTexts[p - 1]));
    // Every data row on one line, its cells in column order, the rows in table order.
    // (Text extraction folds runs of blanks, so blanks are folded on both sides.)
    int next = 0;
    for (const QString& rawLine : text.split(QLatin1Char('\n'))) {
        const QString line = rawLine.simplified();
        if (next >= table.size()) break;
        int from = 0;
        bool all = true;
        for (const QString& cell : test::ReportCells(table[next])) {
            const QString c = cell.simplified();
            if (c.isEmpty()) continue;
            const int at = line.indexOf(c, from);
            if (at < 0) {
                all = false;
                break;
            }
            from = at + int(c.size());
        }
        if (all) ++next;
    }
    QCOMPARE(next, table.size());
}

} // namespace

void TestReportExport::pdf() {
    checkPdf(path(ExportFormat::Pdf), table_, int(report_->pages.size()));
}

void TestReportExport::printerPathGivesTheSamePages() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString file = dir_.filePath(QStringLiteral("printed.pdf"));
    printer.setOutputFileName(file);
    printer.setFullPage(true);
    QCOMPARE(PaintReport(*report_, printer, 0, int(report_->pages.size()) - 1), PaintResult::Done);
    checkPdf(file, table_, int(report_->pages.size()));
}

void TestReportExport::libreOfficeReadsEveryExport() {
    QTemporaryDir profile;
    const QString env = QStringLiteral("-env:UserInstallation=file://") + profile.path();
    const QString out = dir_.filePath(QStringLiteral("lo"));
    QDir().mkpath(out);
    auto convert = [&](const QString& filter, const QStringList& files, const QStringList& extra) {
        QStringList args{env, QStringLiteral("--headless"), QStringLiteral("--norestore")};
        args << extra << QStringLiteral("--convert-to") << filter << QStringLiteral("--outdir")
             << out << files;
        QProcess p;
        p.start(QStringLiteral("soffice"), args);
        QVERIFY2(p.waitForFinished(240000), "LibreOffice did not finish");
        QCOMPARE(p.exitCode(), 0);
    };
    convert(QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76"),
            {path(ExportFormat::Xlsx), path(ExportFormat::Ods)}, {});
    convert(QStringLiteral("txt:Text (encoded):UTF8"),
            {path(ExportFormat::Odt), path(ExportFormat::Rtf)}, {});
    convert(QStringLiteral("txt:Text (encoded):UTF8"), {path(ExportFormat::Html)},
            {QStringLiteral("--infilter=HTML (StarWriter)")});

    const QList<QStringList> expected = expectedRows();
    for (const char* name : {"report_xlsx.csv", "report_ods.csv"}) {
        QList<QStringList> rows;
        for (const QStringList& row : ParseCsv(readText(out + QLatin1Char('/') + name)))
            if (!trimmed(row).isEmpty()) rows << trimmed(row);
        QCOMPARE(rows.size(), expected.size());
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(rows[i], expected[i]);
    }
    // A text document shows each cell as a paragraph of its own. The ODT keeps every blank;
    // HTML folds runs of blanks by its nature, and LibreOffice reads a run of blanks in RTF as
    // other space characters, so those two compare with blanks folded.
    for (const auto& [name, exact] :
         {std::pair{"report_odt.txt", true}, std::pair{"report_rtf.txt", false},
          std::pair{"report_html.txt", false}}) {
        auto norm = [exact = exact](const QString& text) {
            QString t = text;
            t.remove(QChar(0xFEFF));
            return exact ? t.trimmed() : t.simplified();
        };
        QStringList cells;
        for (const QStringList& row : expected)
            for (const QString& cell : row)
                if (!cell.isEmpty()) cells << norm(cell);
        QStringList lines;
        for (const QString& line : readText(out + QLatin1Char('/') + name).split(QLatin1Char('\n')))
            if (!norm(line).isEmpty()) lines << norm(line);
        QCOMPARE(lines.size(), cells.size());
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(lines[i], cells[i]);
    }
}

void TestReportExport::cancelAndFailureKeepTheOldFile_data() {
    QTest::addColumn<int>("formatIndex");
    for (const ExportFormatEntry& e : ExportFormats)
        QTest::newRow(e.suffix) << int(e.format);
}

void TestReportExport::cancelAndFailureKeepTheOldFile() {
    QFETCH(int, formatIndex);
    const auto format = ExportFormat(formatIndex);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("old.") + ExportSuffix(format));
    {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("precious");
    }
    CancelAt cancel(2);
    const ExportResult r = ExportReport(format, *report_, target, &cancel);
    QCOMPARE(r.status, ExportResult::Cancelled);
    QCOMPARE(cancel.total_, int(report_->pages.size()));
    QCOMPARE(cancel.last_, 2);
    QCOMPARE(readText(target), QStringLiteral("precious"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no leftovers

    const ExportResult bad =
        ExportReport(format, *report_, dir.filePath(QStringLiteral("no/such/dir/x")));
    QCOMPARE(bad.status, ExportResult::Failed);
    QVERIFY(!bad.error.isEmpty());
}

void TestReportExport::overwritesWithoutAsking() {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("r.txt"));
    {
        QFile f(target);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100000, 'x'));
    }
    QVERIFY(ExportReport(ExportFormat::Text, *report_, target).ok());
    const QString text = readText(target);
    QVERIFY(text.startsWith(Title));
    QVERIFY(!text.contains(QLatin1Char('x')));
}

QTEST_MAIN(TestReportExport)
#include "test_report_export.moc"
