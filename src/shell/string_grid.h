// The measurement table: a grid of cell texts addressed as Cells(column, row), with two fixed
// title rows and one fixed number column, shown in a standard QTableView whose header rows carry
// the fixed cells. Columns can be dragged; reading a cell "by position" means by the column's
// visual position, so the report and the clipboard take what stands where the operator put it.
#pragma once

#include "output/cell_reader.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QTableView>
#include <QVector>

namespace vyz {

class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int FixedRows = 2;
    static constexpr int FixedCols = 1;

    explicit GridModel(QObject* parent = nullptr);

    int RowCount() const { return rows_; }
    int ColCount() const { return cols_; }
    void SetRowCount(int rows);
    void SetColCount(int cols);
    // Cells by logical column.
    const QString& Cell(int col, int row) const;
    void SetCell(int col, int row, const QString& text);
    // Empties every cell of column `col`.
    void ClearColumn(int col);

    // Writes a cell without telling the view; AnnounceRows tells it later, for many cells at once.
    void SetCellQuiet(int col, int row, QString text);
    // Tells the view that the cells of grid rows firstRow..lastRow changed.
    void AnnounceRows(int firstRow, int lastRow);

    // A mark on a data row: a background colour and a note the row's tool tips add below the
    // cell's text (the lot analysis marks rows within and outside the acceptance limits).
    struct RowMark {
        QColor background;
        QString note;
    };
    // Marks by data row (grid row - FixedRows); an empty list removes them, and so does any change
    // of the row count.
    void SetRowMarks(QVector<RowMark> marks);
    const QVector<RowMark>& RowMarks() const { return marks_; }

    // Cells written between BeginBulk and EndBulk are announced to the view once, at EndBulk.
    void BeginBulk();
    void EndBulk();

    // The view's model: data rows from grid row 2, data columns from grid column 1.
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void resize(int rows, int cols);
    int rows_ = 0;
    int cols_ = 0;
    int bulk_ = 0;
    QVector<QString> cells_; // row-major
    QVector<RowMark> marks_;
};

class StringGrid : public QTableView, public CellReader {
    Q_OBJECT
public:
    explicit StringGrid(QWidget* parent = nullptr);

    GridModel* Model() const { return model_; }
    int RowCount() const override { return model_->RowCount(); }
    int ColCount() const override { return model_->ColCount(); }
    // The text at visual column `visualCol` (0 = the fixed number column) of grid row `row`.
    QString CellAt(int visualCol, int row) const override;
    // The logical column shown at visual position `visualCol`.
    int LogicalColumn(int visualCol) const;
    // Sets the width of the column at logical index `col` (0 = the number column).
    void SetColWidth(int col, int width);
    int ColWidth(int col) const;
    // First and last grid row of the current selection (both -1 when nothing is selected).
    std::pair<int, int> SelectedRows() const;

signals:
    // Key presses reach the main window's key handler before the view handles them.
    void keyPressed(QKeyEvent* event, bool* handled);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    GridModel* model_;
};

} // namespace vyz
