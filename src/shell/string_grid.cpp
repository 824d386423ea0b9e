#include "shell/string_grid.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionHeader>

namespace vyz {

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::resize(int rows, int cols) {
    rows = std::max(rows, int(FixedRows));
    cols = std::max(cols, FixedCols + 1);
    if (rows == rows_ && cols == cols_) return;
    if (!bulk_) beginResetModel();
    QVector<QString> cells(rows * cols);
    for (int r = 0; r < std::min(rows, rows_); ++r)
        for (int c = 0; c < std::min(cols, cols_); ++c)
            cells[r * cols + c] = std::move(cells_[r * cols_ + c]);
    cells_ = std::move(cells);
    if (rows != rows_) marks_.clear();
    rows_ = rows;
    cols_ = cols;
    if (!bulk_) endResetModel();
}

void GridModel::SetRowCount(int rows) {
    resize(rows, cols_);
}
void GridModel::SetColCount(int cols) {
    resize(rows_, cols);
}

const QString& GridModel::Cell(int col, int row) const {
    static const QString empty;
    if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return empty;
    return cells_[row * cols_ + col];
}

void GridModel::SetCell(int col, int row, const QString& text) {
    if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return;
    cells_[row * cols_ + col] = text;
    if (bulk_) return;
    if (row < FixedRows && col >= FixedCols)
        emit headerDataChanged(Qt::Horizontal, col - FixedCols, col - FixedCols);
    else if (col < FixedCols && row >= FixedRows)
        emit headerDataChanged(Qt::Vertical, row - FixedRows, row - FixedRows);
    else if (row >= FixedRows) {
        const QModelIndex i = index(row - FixedRows, col - FixedCols);
        emit dataChanged(i, i, {Qt::DisplayRole});
    } else {
        emit headerDataChanged(Qt::Horizontal, 0, 0); // the corner cell
    }
}

void GridModel::SetCellQuiet(int col, int row, QString text) {
    if (col < 0 || row < 0 || col >= cols_ || row >= rows_) return;
    cells_[row * cols_ + col] = std::move(text);
}

void GridModel::AnnounceRows(int firstRow, int lastRow) {
    firstRow = std::max(firstRow, int(FixedRows));
    lastRow = std::min(lastRow, rows_ - 1);
    if (bulk_ || firstRow > lastRow) return;
    emit dataChanged(index(firstRow - FixedRows, 0),
                     index(lastRow - FixedRows, cols_ - FixedCols - 1), {Qt::DisplayRole});
    emit headerDataChanged(Qt::Vertical, firstRow - FixedRows, lastRow - FixedRows);
}

void GridModel::SetRowMarks(QVector<RowMark> marks) {
    if (marks.isEmpty() && marks_.isEmpty()) return;
    const int before = int(marks_.size());
    marks_ = std::move(marks);
    const int last = std::min(std::max(before, int(marks_.size())), rows_ - FixedRows) - 1;
    if (bulk_ || last < 0) return;
    emit dataChanged(index(0, 0), index(last, cols_ - FixedCols - 1),
                     {Qt::BackgroundRole, Qt::ToolTipRole});
}

void GridModel::ClearColumn(int col) {
    if (col < 0 || col >= cols_) return;
    BeginBulk();
    for (int r = 0; r < rows_; ++r)
        cells_[r * cols_ + col].clear();
    EndBulk();
}

void GridModel::BeginBulk() {
    if (bulk_++ == 0) beginResetModel();
}

void GridModel::EndBulk() {
    if (--bulk_ == 0) endResetModel();
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_ - FixedRows;
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : cols_ - FixedCols;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const RowMark* mark = index.row() < marks_.size() ? &marks_[index.row()] : nullptr;
    if (role == Qt::BackgroundRole && mark && mark->background.isValid()) return mark->background;
    // The tool tip shows a text that its column is too narrow for, and the row's note.
    if (role == Qt::ToolTipRole && mark && !mark->note.isEmpty()) {
        const QString& cell = Cell(index.column() + FixedCols, index.row() + FixedRows);
        return cell.isEmpty() ? mark->note : cell + QLatin1Char('\n') + mark->note;
    }
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
        return Cell(index.column() + FixedCols, index.row() + FixedRows);
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
    if (orientation == Qt::Horizontal) {
        const int col = section + FixedCols;
        const QString& units = Cell(col, 1);
        return units.isEmpty() ? Cell(col, 0) : Cell(col, 0) + QLatin1Char('\n') + units;
    }
    return Cell(0, section + FixedRows);
}

namespace {

// Paints the fixed cells of the number column's title rows into the table's corner.
class CornerPainter : public QObject {
public:
    CornerPainter(StringGrid* grid) : QObject(grid), grid_(grid) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        auto* button = static_cast<QAbstractButton*>(watched);
        QPainter painter(button);
        QStyleOptionHeader opt;
        opt.initFrom(button);
        opt.rect = button->rect();
        opt.position = QStyleOptionHeader::OnlyOneSection;
        const QString units = grid_->Model()->Cell(0, 1);
        opt.text = units.isEmpty() ? grid_->Model()->Cell(0, 0)
                                   : grid_->Model()->Cell(0, 0) + QLatin1Char('\n') + units;
        opt.textAlignment = Qt::AlignCenter;
        button->style()->drawControl(QStyle::CE_Header, &opt, &painter, button);
        return true;
    }

private:
    StringGrid* grid_;
};

} // namespace

StringGrid::StringGrid(QWidget* parent) : QTableView(parent), model_(new GridModel(this)) {
    // Sized before the view takes it: the headers lay out their sections once.
    model_->SetColCount(7);
    model_->SetRowCount(3);
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setMinimumSectionSize(8);
    verticalHeader()->setDefaultSectionSize(17);
    verticalHeader()->setMinimumSectionSize(12);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (auto* corner = findChild<QAbstractButton*>()) {
        corner->installEventFilter(new CornerPainter(this));
        connect(model_, &QAbstractItemModel::headerDataChanged, corner,
                [corner] { corner->update(); });
        connect(model_, &QAbstractItemModel::modelReset, corner, [corner] { corner->update(); });
    }
}

int StringGrid::LogicalColumn(int visualCol) const {
    if (visualCol < GridModel::FixedCols) return visualCol;
    const int logical = horizontalHeader()->logicalIndex(visualCol - GridModel::FixedCols);
    return logical < 0 ? -1 : logical + GridModel::FixedCols;
}

QString StringGrid::CellAt(int visualCol, int row) const {
    return model_->Cell(LogicalColumn(visualCol), row);
}

void StringGrid::SetColWidth(int col, int width) {
    if (col < GridModel::FixedCols)
        verticalHeader()->setFixedWidth(width);
    else
        setColumnWidth(col - GridModel::FixedCols, width);
}

int StringGrid::ColWidth(int col) const {
    return col < GridModel::FixedCols ? verticalHeader()->width()
                                      : columnWidth(col - GridModel::FixedCols);
}

std::pair<int, int> StringGrid::SelectedRows() const {
    int top = -1, bottom = -1;
    const auto rows = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
    for (const QModelIndex& i : rows) {
        const int r = i.row() + GridModel::FixedRows;
        if (top < 0 || r < top) top = r;
        if (r > bottom) bottom = r;
    }
    return {top, bottom};
}

void StringGrid::keyPressEvent(QKeyEvent* event) {
    bool handled = false;
    emit keyPressed(event, &handled);
    if (!handled) QTableView::keyPressEvent(event);
}

} // namespace vyz
