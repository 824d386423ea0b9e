#include "output/clipboard_text.h"

namespace vyz {

QString WholeTableText(int rows, int cols, const CellText& cell) {
    QString text;
    for (int row = 0; row < rows; ++row)
        for (int col = 0; col < cols; ++col) {
            text += cell(col, row);
            text += col == cols - 1 ? QLatin1Char('\n') : QLatin1Char('\t');
        }
    return text;
}

QString SelectedRowsText(int top, int bottom, int cols, const CellText& cell) {
    QString text;
    for (int row = top; row <= bottom; ++row) {
        for (int col = 1; col < cols; ++col) {
            if (col > 1) text += QLatin1Char('\t');
            text += cell(col, row);
        }
        text += QLatin1String("\r\n");
    }
    return text;
}

} // namespace vyz
