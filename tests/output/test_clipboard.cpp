// The copy commands: the texts they build, and the real X clipboard read back by another
// program (xclip), as a spreadsheet or an editor would paste it.
#include "data/archive_record.h"
#include "data/text_pair.h"
#include "output/clipboard_text.h"
#include "platform/paths.h"
#include "shell/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace vyz;

namespace {

// A small table: cell (c, r) holds "rRcC", with a few cells that need care.
QString fixtureCell(int col, int row) {
    if (col == 1 && row == 0) return "Дата, время";
    if (col == 2 && row == 2) return "a\tb"; // copied unchanged, no quoting
    if (col == 1 && row == 3) return "x\ny"; // likewise
    if (col == 2 && row == 1) return {};
    return QString("r%1c%2").arg(row).arg(col);
}

// Reads the clipboard as another program does, while this one serves it from its event loop.
QByteArray readClipboard(const QString& target) {
    QProcess xclip;
    xclip.start("xclip", {"-o", "-selection", "clipboard", "-t", target});
    if (!xclip.waitForStarted(5000)) return "<xclip did not start>";
    if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 10000)) {
        xclip.kill();
        xclip.waitForFinished(1000);
        return "<xclip did not end>";
    }
    return xclip.readAllStandardOutput();
}

QString status() {
    return Form1->findChild<QPushButton*>("sbStatus")->text();
}

} // namespace

class TestClipboard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void wholeTableText();
    void selectedRowsText();
    void copyAll_data();
    void copyAll();
    void copySelected_data();
    void copySelected();
    void copyWithoutSelectionTakesCurrentRow();
    void copyWithNoRecordsSaysSo_data();
    void copyWithNoRecordsSaysSo();

private:
    void fillGrid(int cols, int dataRows);
    QTemporaryDir programDir_;
    TForm1* form_ = nullptr;
};

void TestClipboard::initTestCase() {
    if (QStandardPaths::findExecutable("xclip").isEmpty()) QSKIP("xclip is not installed");
    QVERIFY(QGuiApplication::platformName() == "xcb");
    InitProgramPaths(programDir_.path().toStdString());
    form_ = new TForm1;
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_));
}

void TestClipboard::wholeTableText() {
    QCOMPARE(WholeTableText(4, 3, fixtureCell), "r0c0\tДата, время\tr0c2\n"
                                                "r1c0\tr1c1\t\n"
                                                "r2c0\tr2c1\ta\tb\n"
                                                "r3c0\tx\ny\tr3c2\n");
    QCOMPARE(WholeTableText(0, 3, fixtureCell), QString());
}

void TestClipboard::selectedRowsText() {
    QCOMPARE(SelectedRowsText(2, 3, 3, fixtureCell), "r2c1\ta\tb\r\n"
                                                     "x\ny\tr3c2\r\n");
    QCOMPARE(SelectedRowsText(3, 3, 2, fixtureCell), "x\ny\r\n");
    QCOMPARE(SelectedRowsText(3, 2, 3, fixtureCell), QString());
}

void TestClipboard::fillGrid(int cols, int dataRows) {
    GridModel* model = form_->StringGrid1()->Model();
    model->SetColCount(cols);
    model->SetRowCount(2 + dataRows);
    for (int r = 0; r < 2 + dataRows; ++r)
        for (int c = 0; c < cols; ++c)
            model->SetCell(c, r, fixtureCell(c, r));
    model->SetCell(4, 2, "Асфальт базовый");
    model->SetCell(5, 1, "°C");
    QHeaderView* header = form_->StringGrid1()->horizontalHeader();
    for (int i = 0; i < header->count(); ++i)
        header->moveSection(header->visualIndex(i), i);
    form_->StringGrid1()->clearSelection();
}

void TestClipboard::copyAll_data() {
    QTest::addColumn<int>("cols");
    QTest::addColumn<bool>("moved");
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain layout") << 7 << false << 1
                                  << "r0c0\tДата, время\tr0c2\tr0c3\tr0c4\tr0c5\tr0c6\n"
                                     "r1c0\tr1c1\t\tr1c3\tr1c4\t°C\tr1c6\n"
                                     "r2c0\tr2c1\ta\tb\tr2c3\tАсфальт базовый\tr2c5\tr2c6\n"
                                     "r3c0\tx\ny\tr3c2\tr3c3\tr3c4\tr3c5\tr3c6\n";
    QTest::newRow("coordinates layout, Russian")
        << 9 << false << 0
        << "r0c0\tДата, время\tr0c2\tr0c3\tr0c4\tr0c5\tr0c6\tr0c7\tr0c8\n"
           "r1c0\tr1c1\t\tr1c3\tr1c4\t°C\tr1c6\tr1c7\tr1c8\n"
           "r2c0\tr2c1\ta\tb\tr2c3\tАсфальт базовый\tr2c5\tr2c6\tr2c7\tr2c8\n"
           "r3c0\tx\ny\tr3c2\tr3c3\tr3c4\tr3c5\tr3c6\tr3c7\tr3c8\n";
    QTest::newRow("dragged column copied where it stands")
        << 7 << true << 1
        << "r0c0\tr0c3\tДата, время\tr0c2\tr0c4\tr0c5\tr0c6\n"
           "r1c0\tr1c3\tr1c1\t\tr1c4\t°C\tr1c6\n"
           "r2c0\tr2c3\tr2c1\ta\tb\tАсфальт базовый\tr2c5\tr2c6\n"
           "r3c0\tr3c3\tx\ny\tr3c2\tr3c4\tr3c5\tr3c6\n";
}

void TestClipboard::copyAll() {
    QFETCH(int, cols);
    QFETCH(bool, moved);
    QFETCH(int, lang);
    QFETCH(QString, expected);
    LangIndex = int8_t(lang);
    fillGrid(cols, 2);
    if (moved) form_->StringGrid1()->horizontalHeader()->moveSection(2, 0); // column 3 first
    form_->StringGrid1()->selectRow(1);

    form_->ACopyAllExecute();
    QCOMPARE(QString::fromUtf8(readClipboard("UTF8_STRING")), expected);
    QCOMPARE(status(),
             lang == 0 ? "Данные скопированы в буфер обмена" : "Data copied to the clipboard");
    // The table and its selection stay as they were.
    QCOMPARE(form_->StringGrid1()->SelectedRows(), std::make_pair(3, 3));
    QCOMPARE(form_->StringGrid1()->Model()->Cell(4, 2), "Асфальт базовый");

    QCOMPARE(QString::fromUtf8(readClipboard("text/plain;charset=utf-8")), expected);
}

void TestClipboard::copySelected_data() {
    QTest::addColumn<int>("cols");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain layout") << 7
                                  << "r3c1\tr3c2\tr3c3\tr3c4\tr3c5\tr3c6\r\n"
                                     "r4c1\tr4c2\tr4c3\tr4c4\tr4c5\tr4c6\r\n"
                                     "r5c1\tr5c2\tr5c3\tr5c4\tr5c5\tr5c6\r\n";
    QTest::newRow("coordinates layout") << 9
                                        << "r3c1\tr3c2\tr3c3\tr3c4\tr3c5\tr3c6\tr3c7\tr3c8\r\n"
                                           "r4c1\tr4c2\tr4c3\tr4c4\tr4c5\tr4c6\tr4c7\tr4c8\r\n"
                                           "r5c1\tr5c2\tr5c3\tr5c4\tr5c5\tr5c6\tr5c7\tr5c8\r\n";
}

void TestClipboard::copySelected() {
    QFETCH(int, cols);
    QFETCH(QString, expected);
    LangIndex = 1;
    fillGrid(cols, 6);
    form_->StringGrid1()->Model()->SetCell(1, 3, "r3c1"); // the fixture's line break is elsewhere
    // Grid rows 3..5 (data rows 1..3), selected by the operator's shift-click.
    StringGrid* grid = form_->StringGrid1();
    grid->selectRow(1);
    grid->selectionModel()->select(
        QItemSelection(grid->model()->index(1, 0), grid->model()->index(3, cols - 2)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(grid->SelectedRows(), std::make_pair(3, 5));

    form_->ACopyCtrlCExecute();
    QCOMPARE(QString::fromUtf8(readClipboard("UTF8_STRING")), expected);
    QCOMPARE(status(), "Data copied to the clipboard");
    QCOMPARE(grid->SelectedRows(), std::make_pair(3, 5));
}

void TestClipboard::copyWithoutSelectionTakesCurrentRow() {
    fillGrid(7, 3);
    StringGrid* grid = form_->StringGrid1();
    grid->setCurrentIndex(grid->model()->index(2, 0));
    grid->clearSelection();
    form_->ACopyCtrlCExecute();
    QCOMPARE(QString::fromUtf8(readClipboard("UTF8_STRING")),
             "r4c1\tr4c2\tr4c3\tr4c4\tr4c5\tr4c6\r\n");
}

// The table as start-up leaves it (titles and one numbered row without data): neither command
// puts anything on the clipboard, and the operator is told there is nothing to copy.
void TestClipboard::copyWithNoRecordsSaysSo_data() {
    QTest::addColumn<bool>("whole");
    QTest::addColumn<int>("lang");
    QTest::newRow("whole table") << true << 1;
    QTest::newRow("selected rows") << false << 1;
    QTest::newRow("selected rows, Russian") << false << 0;
}

void TestClipboard::copyWithNoRecordsSaysSo() {
    QFETCH(bool, whole);
    QFETCH(int, lang);
    LangIndex = int8_t(lang);
    RecordCount = 0;
    form_->ClearTable();
    form_->FillDataTable(1);
    form_->StringGrid1()->selectRow(0);
    QGuiApplication::clipboard()->setText("kept");
    QCOMPARE(QString::fromUtf8(readClipboard("UTF8_STRING")), "kept");
    whole ? form_->ACopyAllExecute() : form_->ACopyCtrlCExecute();
    QCOMPARE(status(), lang == 0 ? "Нет данных для копирования: в таблице нет записей"
                                 : "There is nothing to copy: the table holds no records");
    QCOMPARE(QString::fromUtf8(readClipboard("UTF8_STRING")), "kept");
}

QTEST_MAIN(TestClipboard)
#include "test_clipboard.moc"
