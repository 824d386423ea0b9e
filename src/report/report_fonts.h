// Fonts of the report and the measuring of texts. The layouts name Times New Roman; where it is
// not installed, Liberation Serif (same widths) stands in, so line breaks stay those of the
// original. Texts are measured unhinted at a fixed fine resolution, so the breaks found once
// hold on the screen at any zoom, on paper and in PDF alike.
#pragma once

#include "report/report_layout.h"

#include <QFont>
#include <QStringList>

namespace vyz::report {

// Registers the metric-compatible stand-in for Times New Roman when the font itself is missing.
// Safe to call often; does its work once.
void EnsureFontSubstitutions();

// The font of `style` scaled by `scale` (1 = its nominal point size on the target device).
QFont MakeFont(const TextStyle& style, double scale = 1.0);

// Measures texts in millimetres.
class TextMeasurer {
public:
    // The lines `text` takes in a box `widthMm` wide (explicit line breaks kept; words wrapped
    // when the style wraps), and the width of each line in `lineWidthsMm`.
    QStringList BreakLines(const QString& text, const TextStyle& style, double widthMm,
                           QList<double>* lineWidthsMm);
    // The height of one line of `style`.
    double LineHeightMm(const TextStyle& style);
};

// The inner gaps of a text object between its frame and its text.
inline constexpr double GapXMm = 0.5;
inline constexpr double GapYMm = 0.25;

} // namespace vyz::report
