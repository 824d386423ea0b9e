#include "analysis/summary_report.h"

#include "report/report_fonts.h"

namespace vyz::analysis {

using report::BandKind;
using report::PreparedBand;
using report::PreparedObject;
using report::PreparedPage;
using report::TextStyle;

namespace {

// The sizes of the table's report: 21 and 13 pixels at 96 dpi; headings in between.
constexpr double TitlePoints = 15.75;
constexpr double HeadingPoints = 11.25;
constexpr double BodyPoints = 9.75;
constexpr double FooterHeightMm = 6;
constexpr double GapMm = 2; // between blocks

TextStyle style(double points, bool bold, bool frame, Qt::Alignment align) {
    TextStyle s;
    s.pointSize = points;
    s.bold = bold;
    s.frame = frame;
    s.align = align | Qt::AlignVCenter;
    s.wordWrap = true;
    return s;
}

class SummaryWriter {
public:
    SummaryWriter(report::PreparedReport& out) : out_(out) {
        if (!out.pages.isEmpty()) page_ = out.pages.last().page;
        left_ = page_.marginsMm.left();
        width_ = page_.PrintableWidthMm();
        startPage();
    }

    // One row of boxes; widths as fractions of the printable width.
    void Row(BandKind kind, const QStringList& texts, const QList<double>& fractions,
             const TextStyle& s) {
        PreparedBand band{kind, y_, 0, {}};
        double x = left_;
        double height = 0;
        for (int i = 0; i < texts.size(); ++i) {
            const double w = width_ * fractions.value(i, 1.0);
            PreparedObject o;
            o.text = texts[i];
            o.style = s;
            o.lines = measurer_.BreakLines(o.text, s, std::max(0.0, w - 2 * report::GapXMm),
                                           &o.lineWidthsMm);
            o.rectMm = QRectF(x, y_, w, 0);
            height = std::max(height, o.lines.size() * lineHeight(s) + 2 * report::GapYMm);
            band.objects.append(std::move(o));
            x += w;
        }
        place(band, height);
    }

    void Picture(const QImage& image) {
        const double height = width_ * image.height() / std::max(1, image.width());
        PreparedBand band{BandKind::MasterData, y_, 0, {}};
        PreparedObject o;
        o.picture = image;
        o.rectMm = QRectF(left_, y_, width_, height);
        band.objects.append(std::move(o));
        place(band, height);
    }

    void Gap() { y_ += GapMm; }

    void Finish() { finishPage(); }

private:
    double lineHeight(const TextStyle& s) { return measurer_.LineHeightMm(s); }
    double limit() const {
        return page_.paperMm.height() - page_.marginsMm.bottom() - FooterHeightMm;
    }

    void place(PreparedBand& band, double height) {
        if (y_ + height > limit() + 1e-9 && bandsOnPage_ > 0) {
            finishPage();
            startPage();
        }
        band.topMm = y_;
        band.heightMm = height;
        for (PreparedObject& o : band.objects)
            o.rectMm = QRectF(o.rectMm.left(), y_, o.rectMm.width(), height);
        out_.pages.last().bands.append(std::move(band));
        y_ += height;
        ++bandsOnPage_;
    }

    void startPage() {
        out_.pages.append(PreparedPage{page_, {}});
        y_ = page_.marginsMm.top();
        bandsOnPage_ = 0;
    }

    // The page number at the foot, as on the table's pages.
    void finishPage() {
        const double top = page_.paperMm.height() - page_.marginsMm.bottom() - FooterHeightMm;
        const TextStyle s = style(BodyPoints, false, false, Qt::AlignHCenter);
        PreparedObject o;
        o.text = QStringLiteral("- %1 -").arg(int(out_.pages.size()));
        o.style = s;
        o.lines = measurer_.BreakLines(o.text, s, width_ - 2 * report::GapXMm, &o.lineWidthsMm);
        o.rectMm = QRectF(left_, top + 1, width_, 5);
        out_.pages.last().bands.append(
            PreparedBand{BandKind::PageFooter, top, FooterHeightMm, {std::move(o)}});
    }

    report::PreparedReport& out_;
    report::PageSettings page_;
    report::TextMeasurer measurer_;
    double left_ = 0, width_ = 0, y_ = 0;
    int bandsOnPage_ = 0;
};

} // namespace

void AppendLotSummary(report::PreparedReport& report, const QString& title,
                      const QVector<TextBlock>& blocks, const QImage& chart) {
    report::EnsureFontSubstitutions();
    SummaryWriter w(report);
    w.Row(BandKind::ReportTitle, {title}, {1.0}, style(TitlePoints, true, false, Qt::AlignHCenter));
    for (const TextBlock& b : blocks) {
        w.Gap();
        w.Row(BandKind::MasterData, {b.heading}, {1.0},
              style(HeadingPoints, true, false, Qt::AlignLeft));
        if (!b.columns.isEmpty()) {
            // The first column (names) takes a third, the figures share the rest.
            QList<double> fractions{1.0 / 3};
            for (int i = 1; i < b.columns.size(); ++i)
                fractions << (2.0 / 3) / (b.columns.size() - 1);
            w.Row(BandKind::PageHeader, b.columns, fractions,
                  style(BodyPoints, true, true, Qt::AlignHCenter));
            for (const QStringList& row : b.rows)
                w.Row(BandKind::MasterData, row, fractions,
                      style(BodyPoints, false, true, Qt::AlignHCenter));
        }
        for (const QString& note : b.notes)
            w.Row(BandKind::MasterData, {note}, {1.0},
                  style(BodyPoints, false, false, Qt::AlignLeft));
    }
    if (!chart.isNull()) {
        w.Gap();
        w.Picture(chart);
    }
    w.Finish();
}

} // namespace vyz::analysis
