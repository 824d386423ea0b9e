#include "report/report_fonts.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>
#include <QTextLayout>
#include <mutex>

namespace vyz::report {
namespace {

// Texts are measured as they would be on a 1200 dpi device.
constexpr int MeasureDpi = 1200;
constexpr double PxPerMm = MeasureDpi / 25.4;

const QImage& measureDevice() {
    static const QImage image = [] {
        QImage i(1, 1, QImage::Format_ARGB32);
        i.setDotsPerMeterX(qRound(MeasureDpi / 0.0254));
        i.setDotsPerMeterY(qRound(MeasureDpi / 0.0254));
        return i;
    }();
    return image;
}

} // namespace

void EnsureFontSubstitutions() {
    static std::once_flag once;
    std::call_once(once, [] {
        const QString times = QStringLiteral("Times New Roman");
        if (!QFontDatabase::hasFamily(times))
            QFont::insertSubstitution(times, QStringLiteral("Liberation Serif"));
    });
}

QFont MakeFont(const TextStyle& style, double scale) {
    EnsureFontSubstitutions();
    QFont font(style.family);
    font.setPointSizeF(style.pointSize * scale);
    font.setBold(style.bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setKerning(false);
    font.setStyleStrategy(QFont::PreferOutline);
    return font;
}

double TextMeasurer::LineHeightMm(const TextStyle& style) {
    return QFontMetricsF(MakeFont(style), &measureDevice()).height() / PxPerMm;
}

QStringList TextMeasurer::BreakLines(const QString& text, const TextStyle& style, double widthMm,
                                     QList<double>* lineWidthsMm) {
    const QFont font = MakeFont(style);
    const QFontMetricsF fm(font, &measureDevice());
    const double widthPx = widthMm * PxPerMm;
    QStringList lines;
    lineWidthsMm->clear();
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        const double whole = fm.horizontalAdvance(paragraph);
        if (!style.wordWrap || whole <= widthPx) {
            lines.append(paragraph);
            lineWidthsMm->append(whole / PxPerMm);
            continue;
        }
        QTextLayout layout(paragraph, font, &measureDevice());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(widthPx);
            // The blank where a line was broken belongs to neither line.
            QString part = paragraph.mid(line.textStart(), line.textLength());
            while (part.endsWith(QLatin1Char(' ')))
                part.chop(1);
            lines.append(part);
            lineWidthsMm->append(fm.horizontalAdvance(part) / PxPerMm);
        }
        layout.endLayout();
    }
    return lines;
}

} // namespace vyz::report
