// The two copy commands: the whole table or the selected rows as tab-separated text. The text goes
// to the clipboard as Unicode text, which every Linux program reads (a spreadsheet pastes it into
// cells); the line ends stay as they are built.
#include "data/text_pair.h"
#include "output/clipboard_text.h"
#include "platform/text_string.h"
#include "shell/main_window.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace vyz {

namespace {

const TextPair Copied{"Данные скопированы в буфер обмена", "Data copied to the clipboard"};
const TextPair NothingToCopy{"Нет данных для копирования: в таблице нет записей",
                             "There is nothing to copy: the table holds no records"};

// True when a cell of rows top..bottom other than the record number holds text.
bool holdsData(const StringGrid* grid, int top, int bottom) {
    for (int row = top; row <= bottom; ++row)
        for (int col = 1; col < grid->ColCount(); ++col)
            if (!grid->Model()->Cell(col, row).isEmpty()) return true;
    return false;
}

// With no record in what would be copied, the clipboard is left alone and the operator told.
bool nothingToCopy(TForm1& form, const StringGrid* grid, int top, int bottom) {
    if (holdsData(grid, top, bottom)) return false;
    form.SetStatusBarGeneral(Text(NothingToCopy));
    return true;
}

void toClipboard(TForm1& form, const QString& text) {
    auto* data = new QMimeData;
    data->setText(text); // offered as UTF8_STRING, text/plain and the older X text types
    // Named explicitly too, for the programs that ask for the charset by name.
    data->setData(QStringLiteral("text/plain;charset=utf-8"), text.toUtf8());
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    form.SetStatusBarGeneral(Text(Copied));
}

} // namespace

void TForm1::ACopyAllExecute() {
    const StringGrid* grid = StringGrid1();
    if (nothingToCopy(*this, grid, GridModel::FixedRows, grid->RowCount() - 1)) return;
    toClipboard(*this, WholeTableText(grid->RowCount(), grid->ColCount(),
                                      [grid](int col, int row) { return grid->CellAt(col, row); }));
}

void TForm1::ACopyCtrlCExecute() {
    const StringGrid* grid = StringGrid1();
    auto [top, bottom] = grid->SelectedRows();
    if (top < 0) {
        // The table always has a selected row, as the grid the operator knows always had one: with
        // nothing selected, the current row, else the first data row.
        const QModelIndex current = grid->currentIndex();
        top = bottom =
            current.isValid() ? current.row() + GridModel::FixedRows : GridModel::FixedRows;
    }
    if (nothingToCopy(*this, grid, top, bottom)) return;
    toClipboard(*this, SelectedRowsText(top, bottom, grid->ColCount(), [grid](int col, int row) {
        return grid->CellAt(col, row);
    }));
}

} // namespace vyz
