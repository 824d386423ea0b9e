// The report engine with the program's two layouts over a real table: pagination, variables in
// both languages, the date/time split, moved columns, prepared files, the language files, the
// preview window and the Print command.
#include "data/archive_record.h"
#include "output/report_binding.h"
#include "report/report_fonts.h"
#include "report/report_language.h"
#include "report/report_preview.h"
#include "shell/main_window.h"
#include "support/modal_script.h"
#include "table_fixture.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace vyz;
using namespace testsupport;
using namespace vyz::report;

namespace {

QStringList bandTexts(const PreparedBand& band) {
    QStringList texts;
    for (const PreparedObject& o : band.objects)
        texts << o.text;
    return texts;
}

QVector<const PreparedBand*> bandsOf(const PreparedPage& page, BandKind kind) {
    QVector<const PreparedBand*> out;
    for (const PreparedBand& b : page.bands)
        if (b.kind == kind) out.append(&b);
    return out;
}

struct Prepared {
    StringGrid grid;
    std::unique_ptr<ReportBinding> binding;
    Report* report = nullptr;

    Prepared(const QList<QStringList>& rows, bool gps, int lang) {
        LangIndex = int8_t(lang);
        test::FillGrid(grid, rows, gps, 0 /* titles do not matter to the report */);
        binding = std::make_unique<ReportBinding>(grid);
        report = gps ? &binding->frxReportGPS : &binding->frxReport1;
        report->PrepareReport();
    }
    const PreparedReport& pages() const { return report->Prepared(); }
};

QString u(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

class TestReportEngine : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        LangIndex = 0;
        ResetLanguage();
    }

    void pagination_data();
    void pagination();
    void wrappedCellsGrowTheRow();
    void variables_data();
    void variables();
    void dateAndTimeSplit_data();
    void dateAndTimeSplit();
    void movedColumnPrintsWhereItStands();
    void languageChangeAfterFill();
    void preparedFileRoundTrip();
    void preparedFileRejectsGarbage();
    void timesNewRomanHasAMetricStandIn();
    void languageFiles();
    void previewWindow();
    void printIntoPdfFile_data();
    void printIntoPdfFile();
    void previewToolBarShowsEveryCommand_data();
    void previewToolBarShowsEveryCommand();
    void printCommand();
};

void TestReportEngine::pagination_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("gps");
    QTest::newRow("3 rows, plain") << 3 << false;
    QTest::newRow("3 rows, coordinates") << 3 << true;
    QTest::newRow("200 rows, plain") << 200 << false;
    QTest::newRow("120 rows, coordinates") << 120 << true;
    QTest::newRow("2677 rows, plain") << 2677 << false;
}

void TestReportEngine::pagination() {
    QFETCH(int, rows);
    QFETCH(bool, gps);
    const auto table = test::MakeRows(rows, 0, gps);
    Prepared p(table, gps, 0);
    const PreparedReport& r = p.pages();
    QVERIFY(!r.pages.isEmpty());
    const int columns = gps ? 10 : 8;
    QCOMPARE(r.pages[0].page.orientation, gps ? QPageLayout::Landscape : QPageLayout::Portrait);
    QCOMPARE(r.pages[0].page.paperMm, gps ? QSizeF(297, 210) : QSizeF(210, 297));

    int dataRow = 0;
    for (int i = 0; i < r.pages.size(); ++i) {
        const PreparedPage& page = r.pages[i];
        // Title on the first page only, at the top; headings on every page, before the data.
        QCOMPARE(bandsOf(page, BandKind::ReportTitle).size(), i == 0 ? 1 : 0);
        const auto headers = bandsOf(page, BandKind::PageHeader);
        QCOMPARE(headers.size(), 1);
        QCOMPARE(headers[0], &page.bands[i == 0 ? 1 : 0]);
        QCOMPARE(headers[0]->objects.size(), columns);
        QCOMPARE(headers[0]->objects[0].text, u("№"));
        QCOMPARE(headers[0]->objects[1].text, u("Дата"));
        QCOMPARE(page.bands[0].topMm, 10.0);
        // Footer "- N -" on every page but the first, at the foot of the page.
        const auto footers = bandsOf(page, BandKind::PageFooter);
        if (i == 0) {
            QVERIFY(footers.isEmpty());
        } else {
            QCOMPARE(footers.size(), 1);
            QCOMPARE(footers[0]->objects[0].text, QStringLiteral("- %1 -").arg(i + 1));
            QCOMPARE(footers[0]->topMm + footers[0]->heightMm, page.page.paperMm.height() - 10);
        }
        // Bands follow one another without overlap and stay inside the printable area.
        double y = 10;
        for (const PreparedBand& b : page.bands) {
            if (b.kind == BandKind::PageFooter) continue;
            QCOMPARE(b.topMm, y);
            y += b.heightMm;
        }
        QVERIFY(y <= page.page.paperMm.height() - 10 - 6 + 1e-9);
        // Data rows in table order, every cell from its column.
        for (const PreparedBand* b : bandsOf(page, BandKind::MasterData)) {
            QCOMPARE(bandTexts(*b), test::ReportCells(table[dataRow]));
            ++dataRow;
        }
        // A page is full: the next page's first row would not have fitted.
        if (i + 1 < r.pages.size()) QVERIFY(y + 5 > page.page.paperMm.height() - 10 - 6);
    }
    QCOMPARE(dataRow, rows);
    if (rows == 3) QCOMPARE(r.pages.size(), 1);
}

void TestReportEngine::wrappedCellsGrowTheRow() {
    auto table = test::MakeRows(5, 0, false);
    table[2][4] = u("Асфальт очень длинное название материала, которое не помещается в ячейку");
    Prepared p(table, false, 0);
    const PreparedPage& page = p.pages().pages[0];
    const auto data = bandsOf(page, BandKind::MasterData);
    QCOMPARE(data.size(), 5);
    QCOMPARE(data[1]->heightMm, 5.0);
    const PreparedBand& tall = *data[2];
    QVERIFY2(tall.heightMm > 10, qPrintable(QString::number(tall.heightMm)));
    const PreparedObject& material = tall.objects[5];
    QVERIFY(material.lines.size() >= 3);
    QCOMPARE(material.lines.join(QLatin1Char(' ')), material.text);
    for (const PreparedObject& o : tall.objects)
        QCOMPARE(o.rectMm.height(), tall.heightMm);
    QCOMPARE(data[3]->topMm, tall.topMm + tall.heightMm);
    // The headings "Плотность, кг/м^3" and "Толщина слоя, мм" wrap as well: the heading row
    // grows, and its frames all take its height.
    const PreparedBand& header = *bandsOf(page, BandKind::PageHeader)[0];
    QVERIFY(header.heightMm > 5);
    QVERIFY(header.objects[3].lines.size() == 2);
    for (const PreparedObject& o : header.objects)
        QCOMPARE(o.rectMm.height(), header.heightMm);
}

void TestReportEngine::variables_data() {
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");
    const char* names[] = {"Заголовок", "Дата0",        "Время0",   "Плотность0", "Пористость0",
                           "Материал0", "Температура0", "Толщина0", "Широта0",    "Долгота0"};
    const char* ru[] = {"Измеренные значения плотности",
                        "Дата",
                        "Время",
                        "Плотность, кг/м^3",
                        "Пористость, %",
                        "Материал",
                        "Температура, °C",
                        "Толщина слоя, мм",
                        "Широта (GLONASS/GPS)",
                        "Долгота (GLONASS/GPS)"};
    const char* en[] = {"Measured density values", "Date",          "Time",
                        "Density, kg/m^3",         "Porosity, %",   "Material",
                        "Temperature, °C",         "Mat depth, mm", "Latitude (GLONASS/GPS)",
                        "Longitude (GLONASS/GPS)"};
    for (int i = 0; i < 10; ++i) {
        QTest::addRow("ru %s", names[i]) << 0 << u(names[i]) << u(ru[i]);
        QTest::addRow("en %s", names[i]) << 1 << u(names[i]) << u(en[i]);
    }
    // Data variables read the current record's row by column position.
    const char* data[] = {"№№",       "Дата",        "Время",   "Плотность", "Пористость",
                          "Материал", "Температура", "Толщина", "Широта",    "Долгота"};
    const QStringList row = test::ReportCells(test::MakeCells(7, 0, true));
    for (int i = 0; i < 10; ++i)
        QTest::addRow("data %s", data[i]) << 0 << u(data[i]) << row[i];
    // Names are compared exactly; any other name leaves the value alone.
    QTest::newRow("other name") << 0 << u("заголовок") << u("untouched");
    QTest::newRow("Page# is the engine's") << 1 << u("Page#") << u("untouched");
}

void TestReportEngine::variables() {
    QFETCH(int, lang);
    QFETCH(QString, name);
    QFETCH(QString, expected);
    LangIndex = int8_t(lang);
    StringGrid grid;
    test::FillGrid(grid, {test::MakeCells(3, 0, true), test::MakeCells(7, 0, true)}, true, lang);
    ReportBinding binding(grid);
    binding.frxUserDataSet1.First();
    binding.frxUserDataSet1.Next();
    QString value = QStringLiteral("untouched");
    binding.frxReport1GetValue(name, value);
    QCOMPARE(value, expected);
}

void TestReportEngine::dateAndTimeSplit_data() {
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::newRow("russian") << u(" 9:05:07 ( 3 мар 2020)") << u(" 3 мар 2020") << u(" 9:05:07 ");
    QTest::newRow("english") << u(" 9:05:07 (Mar  3, 2020)") << u("Mar  3, 2020") << u(" 9:05:07 ");
    QTest::newRow("no month") << u("23:59:59 (15  2020)") << u("15  2020") << u("23:59:59 ");
    // A deleted record keeps its mark, and its date loses no letter.
    QTest::newRow("deleted ru") << u("10:15:170 (12 янв 2020) - удалена")
                                << u("12 янв 2020 - удалена") << u("10:15:170 ");
    QTest::newRow("deleted en") << u("10:15:170 (Jan 12, 2020) - deleted")
                                << u("Jan 12, 2020 - deleted") << u("10:15:170 ");
    QTest::newRow("empty") << QString() << QString() << QString();
}

void TestReportEngine::dateAndTimeSplit() {
    QFETCH(QString, cell);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QCOMPARE(ReportDateOf(cell), date);
    QCOMPARE(ReportTimeOf(cell), time);
}

void TestReportEngine::movedColumnPrintsWhereItStands() {
    const auto table = test::MakeRows(3, 1, false);
    StringGrid grid;
    test::FillGrid(grid, table, false, 1);
    // Drag "Material" (logical 4, view section 3) to the place of "Density" (view section 1).
    grid.horizontalHeader()->moveSection(3, 1);
    ReportBinding binding(grid);
    binding.frxReport1.PrepareReport();
    const auto data = bandsOf(binding.frxReport1.Prepared().pages[0], BandKind::MasterData);
    QCOMPARE(data.size(), 3);
    const QStringList texts = bandTexts(*data[0]);
    QCOMPARE(texts[3], table[0][4]); // "Плотность" column now shows the material
    QCOMPARE(texts[4], table[0][2]); // and the columns after it moved one place on
    QCOMPARE(texts[5], table[0][3]);
    QCOMPARE(texts[6], table[0][5]);
}

void TestReportEngine::languageChangeAfterFill() {
    // Filled in Russian, printed after switching to English.
    const auto table = test::MakeRows(4, 0, true);
    Prepared p(table, true, 1);
    const PreparedPage& page = p.pages().pages[0];
    QCOMPARE(bandsOf(page, BandKind::ReportTitle)[0]->objects[0].text,
             u("Measured density values"));
    QCOMPARE(bandTexts(*bandsOf(page, BandKind::PageHeader)[0]),
             QStringList({u("№"), u("Date"), u("Time"), u("Density, kg/m^3"), u("Porosity, %"),
                          u("Material"), u("Temperature, °C"), u("Mat depth, mm"),
                          u("Latitude (GLONASS/GPS)"), u("Longitude (GLONASS/GPS)")}));
    const auto data = bandsOf(page, BandKind::MasterData);
    QCOMPARE(data.size(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(bandTexts(*data[i]), test::ReportCells(table[i]));
    QVERIFY(data[0]->objects[1].text.contains(QRegularExpression(u("[а-я]{3} 2020$"))));
}

void TestReportEngine::preparedFileRoundTrip() {
    Prepared p(test::MakeRows(130, 0, true), true, 0);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.vyzrep"));
    QString error;
    QVERIFY2(p.pages().SaveToFile(path, &error), qPrintable(error));
    PreparedReport loaded;
    QVERIFY2(loaded.LoadFromFile(path, &error), qPrintable(error));
    QCOMPARE(loaded.pages.size(), p.pages().pages.size());
    for (int i = 0; i < loaded.pages.size(); ++i) {
        const PreparedPage& a = p.pages().pages[i];
        const PreparedPage& b = loaded.pages[i];
        QCOMPARE(b.page, a.page);
        QCOMPARE(b.bands.size(), a.bands.size());
        for (int j = 0; j < a.bands.size(); ++j) {
            QCOMPARE(b.bands[j].kind, a.bands[j].kind);
            QCOMPARE(b.bands[j].topMm, a.bands[j].topMm);
            QCOMPARE(b.bands[j].objects.size(), a.bands[j].objects.size());
            for (int k = 0; k < a.bands[j].objects.size(); ++k) {
                const PreparedObject& x = a.bands[j].objects[k];
                const PreparedObject& y = b.bands[j].objects[k];
                QCOMPARE(y.text, x.text);
                QCOMPARE(y.lines, x.lines);
                QCOMPARE(y.rectMm, x.rectMm);
                QVERIFY(y.style == x.style);
            }
        }
    }
}

void TestReportEngine::preparedFileRejectsGarbage() {
    Prepared p(test::MakeRows(3, 0, false), false, 0);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.vyzrep"));
    QVERIFY(p.pages().SaveToFile(path, nullptr));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    PreparedReport target;
    target.pages.resize(2);
    // A damaged file that claims two thousand million lines for one object.
    QByteArray huge;
    {
        QDataStream s(&huge, QIODevice::WriteOnly);
        s.setVersion(QDataStream::Qt_6_4);
        s << quint32(0x56595a50) << quint32(1) << qint32(1) << QSizeF(210, 297) << quint8(0)
          << QMarginsF(20, 10, 5, 10) << qint32(1) << quint8(2) << 10.0 << 5.0 << qint32(1)
          << QRectF(20, 10, 16, 5) << QStringLiteral("1") << qint32(0x7fffffff);
    }
    const QByteArray cases[] = {QByteArray(), QByteArray("not a report at all"),
                                good.left(good.size() / 2), good + QByteArray("x"), huge};
    for (const QByteArray& bytes : cases) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
        out.close();
        QString error;
        QVERIFY(!target.LoadFromFile(path, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(target.pages.size(), 2); // left unchanged
    }
    QVERIFY(!target.LoadFromFile(dir.filePath(QStringLiteral("missing")), nullptr));
}

void TestReportEngine::timesNewRomanHasAMetricStandIn() {
    TextStyle style;
    const QFontInfo info(MakeFont(style));
    QVERIFY2(info.family() == u("Times New Roman") || info.family() == u("Liberation Serif"),
             qPrintable(info.family()));
    // The stand-in is the one fontconfig would not otherwise guarantee: it is named explicitly.
    if (!QFontDatabase::hasFamily(u("Times New Roman")))
        QCOMPARE(QFont::substitute(u("Times New Roman")).toLower(), u("liberation serif"));
}

void TestReportEngine::languageFiles() {
    const QString dir = QStringLiteral(VYZ_SOURCE_DIR "/data/Language/");
    QCOMPARE(Tr("Print"), u("Print"));
    LoadLanguageFile(dir + u("Russian.frc"));
    QCOMPARE(Tr("Print"), u("Печать"));
    QCOMPARE(Tr("PageOf").arg(2).arg(5), u("Страница 2 из 5"));
    QCOMPARE(Tr("ExportFailed").arg(u("a"), u("b")), u("Не удалось экспортировать отчет в a:\nb"));
    // A missing file changes nothing.
    LoadLanguageFile(dir + u("Missing.frc"));
    QCOMPARE(Tr("Print"), u("Печать"));
    // Both shipped files name every text the engine has.
    for (const char* name : {"Russian.frc", "English.frc"}) {
        QFile f(dir + u(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        int keys = 0;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (!line.isEmpty() && !line.startsWith('#')) ++keys;
        QCOMPARE(keys, 36);
    }
    LoadLanguageFile(dir + u("English.frc"));
    QCOMPARE(Tr("Print"), u("Print"));

    // The preview window takes the texts in force when it opens.
    LoadLanguageFile(dir + u("Russian.frc"));
    Prepared p(test::MakeRows(3, 0, false), false, 0);
    PreviewWindow preview(*p.report);
    QCOMPARE(preview.windowTitle(), u("Предварительный просмотр"));
    auto* print = preview.findChild<QAction*>(QStringLiteral("Print"));
    QVERIFY(print);
    QCOMPARE(print->text(), u("Печать"));
}

void TestReportEngine::previewToolBarShowsEveryCommand_data() {
    QTest::addColumn<QString>("language");
    QTest::newRow("Russian") << u("Russian.frc");
    QTest::newRow("English") << u("English.frc");
}

// At the size it opens with, every command of the tool bar is on it (none behind the overflow
// arrow), each an icon with its name as the tool tip.
void TestReportEngine::previewToolBarShowsEveryCommand() {
    QFETCH(QString, language);
    LoadLanguageFile(QStringLiteral(VYZ_SOURCE_DIR "/data/Language/") + language);
    Prepared p(test::MakeRows(3, 0, false), false, 0);
    PreviewWindow preview(*p.report);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    auto* toolbar = preview.findChild<QToolBar*>();
    QVERIFY(toolbar);
    auto* more = toolbar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button"));
    QVERIFY(!more || !more->isVisible());
    int commands = 0;
    for (QAction* a : toolbar->actions()) {
        if (a->isSeparator()) continue;
        QWidget* w = toolbar->widgetForAction(a);
        QVERIFY(w);
        QVERIFY2(w->isVisible() && toolbar->rect().contains(w->geometry()),
                 qPrintable(a->text() + w->objectName()));
        auto* button = qobject_cast<QToolButton*>(w);
        if (!button) continue; // the zoom, search and page fields
        ++commands;
        QVERIFY2(!button->icon().isNull(), qPrintable(button->text()));
        QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QVERIFY(!button->toolTip().isEmpty());
        QCOMPARE(button->toolTip(), button->text());
    }
    QCOMPARE(commands, 14);
    LoadLanguageFile(QStringLiteral(VYZ_SOURCE_DIR "/data/Language/English.frc"));
}

void TestReportEngine::previewWindow() {
    Prepared p(test::MakeRows(200, 1, false), false, 1);
    PreviewWindow preview(*p.report);
    preview.show();
    QCOMPARE(preview.Zoom(), 1.0);
    QCOMPARE(preview.PageCount(), p.pages().pages.size());
    QVERIFY(preview.PageCount() >= 4);
    QCOMPARE(preview.CurrentPage(), 0);
    auto* label = preview.findChild<QLabel*>(QStringLiteral("PageLabel"));
    QCOMPARE(label->text(), QStringLiteral("Page 1 of %1").arg(preview.PageCount()));
    preview.findChild<QAction*>(QStringLiteral("NextPage"))->trigger();
    QCOMPARE(preview.CurrentPage(), 1);
    preview.findChild<QAction*>(QStringLiteral("LastPage"))->trigger();
    QCOMPARE(preview.CurrentPage(), preview.PageCount() - 1);
    preview.findChild<QAction*>(QStringLiteral("NextPage"))->trigger();
    QCOMPARE(preview.CurrentPage(), preview.PageCount() - 1);
    // Find walks forward through the pages and wraps round.
    preview.ShowPage(0);
    QVERIFY(preview.FindNext(u("- 3 -")));
    QCOMPARE(preview.CurrentPage(), 2);
    const QString last = test::MakeRows(200, 1, false).last()[0];
    QVERIFY(preview.FindNext(last));
    QCOMPARE(preview.CurrentPage(), preview.PageCount() - 1);
    QVERIFY(preview.FindNext(u("measured DENSITY")));
    QCOMPARE(preview.CurrentPage(), 0);
    QVERIFY(!preview.FindNext(u("no such text")));
    preview.SetZoom(2.0);
    QCOMPARE(preview.Zoom(), 2.0);
    // The page is painted through the shared painter: black text lands on the white page.
    const QImage shot = preview.grab().toImage();
    QVERIFY(!shot.isNull());
}

void TestReportEngine::printCommand() {
    TForm1 form;
    const auto table = test::MakeRows(3, 0, true);
    test::FillGrid(*form.StringGrid1(), table, true, 0);
    GPSModeFlag = true;

    // An empty archive: nothing happens.
    RecordCount = 0;
    {
        ModalScript script;
        form.APrintExecute();
        QCoreApplication::processEvents();
        QCOMPARE(script.seen.size(), 0);
    }

    // With records: the coordinates layout in the modal preview, newest record first.
    RecordCount = 3;
    QString firstCell;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    int pages = 0;
    ModalScript script({[&](QWidget* w) {
        auto* preview = qobject_cast<PreviewWindow*>(w);
        QVERIFY(preview);
        pages = preview->PageCount();
        preview->findChild<QAction*>(QStringLiteral("Close"))->trigger();
    }});
    ReportBinding probe(*form.StringGrid1());
    form.APrintExecute();
    QCOMPARE(script.seen.size(), 1);
    QCOMPARE(pages, 1);
    probe.CurrentReport().PrepareReport();
    orientation = probe.CurrentReport().Prepared().pages[0].page.orientation;
    firstCell = bandsOf(probe.CurrentReport().Prepared().pages[0], BandKind::MasterData)[0]
                    ->objects[0]
                    .text;
    QCOMPARE(orientation, QPageLayout::Landscape);
    QCOMPARE(firstCell, table[0][0]);
    RecordCount = 0;
    GPSModeFlag = false;
}

// Printing into a PDF file goes through the staged writer: the file gets the printed pages whole
// and keeps its permission bits, and a read-only file stays as it was, with the preview's message.
void TestReportEngine::printIntoPdfFile_data() {
    QTest::addColumn<int>("oldMode"); // 0: no file there yet
    QTest::addColumn<bool>("printed");
    QTest::newRow("new file") << 0 << true;
    QTest::newRow("existing file") << 0640 << true;
    // Qt's print dialog itself refuses a read-only file, except for root.
    if (::geteuid() == 0) QTest::newRow("read-only file") << 0444 << false;
}

void TestReportEngine::printIntoPdfFile() {
    QFETCH(int, oldMode);
    QFETCH(bool, printed);
    Prepared p(test::MakeRows(3, 1, false), false, 1);
    PreviewWindow preview(*p.report);
    QTemporaryDir dir;
    const QString target = dir.filePath(u("printed.pdf"));
    if (oldMode) {
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
        old.close();
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), mode_t(oldMode)), 0);
    }
    // The operator prints into the file, confirms replacing it, and reads any message.
    ModalScript script({[&](QWidget* w) {
        auto* dialog = qobject_cast<QPrintDialog*>(w);
        QVERIFY(dialog);
        auto* name = dialog->findChild<QLineEdit*>(u("filename"));
        QVERIFY(name);
        name->setText(target);
        dialog->accept();
    }});
    script.setFallback([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        box->done(box->standardButtons() & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
    });
    preview.PrintReport();
    QTest::qWait(100); // a box shown after the print
    QStringList boxes;
    for (const Seen& seen : script.seen)
        if (seen.kind == u("box")) boxes << seen.text;
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(target).constData(), &st), 0);
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    if (printed) {
        QVERIFY(file.readAll().startsWith("%PDF-"));
        if (oldMode) QCOMPARE(int(st.st_mode & 07777), oldMode);
        QVERIFY2(!boxes.contains(Tr("PrintFailed")), qPrintable(boxes.join(u("|"))));
    } else {
        QCOMPARE(file.readAll(), QByteArray("old"));
        QVERIFY2(boxes.contains(Tr("PrintFailed")), qPrintable(boxes.join(u("|"))));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList({u("printed.pdf")}));
}

QTEST_MAIN(TestReportEngine)
#include "test_report_engine.moc"
