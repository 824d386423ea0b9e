#include "report/report_engine.h"

#include "report/report_fonts.h"

#include <QHash>
#include <algorithm>

namespace vyz::report {

void UserDataSet::First() {
    RecNo = 0;
    if (OnFirst) OnFirst();
}

bool UserDataSet::Eof() const {
    bool eof = RecNo >= RangeEndCount;
    if (OnCheckEOF) OnCheckEOF(eof);
    return eof;
}

namespace {

// Lays the bands out page by page.
class Preparer {
public:
    Preparer(Report& report, PreparedReport& out) : report_(report), out_(out) {}

    void Run() {
        const ReportLayout& layout = report_.layout;
        for (const Band& band : layout.bands) {
            switch (band.kind) {
            case BandKind::ReportTitle:
                title_ = &band;
                break;
            case BandKind::PageHeader:
                header_ = &band;
                break;
            case BandKind::MasterData:
                data_ = &band;
                break;
            case BandKind::PageFooter:
                footer_ = &band;
                break;
            }
        }
        startPage();
        if (title_) place(*title_);
        if (data_ && report_.dataSet) {
            UserDataSet& ds = *report_.dataSet;
            for (ds.First(); !ds.Eof(); ds.Next())
                place(*data_);
        }
        finishPage();
    }

private:
    int pageNumber() const { return int(out_.pages.size()); }
    bool footerOnPage() const {
        return footer_ && (out_.pages.size() > 1 || footer_->printOnFirstPage);
    }
    double footerHeight() const { return footer_ ? footer_->heightMm : 0; }

    void startPage() {
        out_.pages.append(PreparedPage{report_.layout.page, {}});
        y_ = report_.layout.page.marginsMm.top();
        bandsOnPage_ = 0;
        if (header_ && !(title_ && out_.pages.size() == 1)) place(*header_, false);
    }

    void finishPage() {
        if (!footerOnPage()) return;
        const PageSettings& page = report_.layout.page;
        PreparedBand band =
            build(*footer_, page.paperMm.height() - page.marginsMm.bottom() - footer_->heightMm);
        out_.pages.last().bands.append(std::move(band));
    }

    // The bottom limit for ordinary bands: the footer's space is kept free on every page.
    double limit() const {
        const PageSettings& page = report_.layout.page;
        return page.paperMm.height() - page.marginsMm.bottom() - footerHeight();
    }

    void place(const Band& band, bool mayBreak = true) {
        PreparedBand built = build(band, y_);
        // A band taller than a whole page still goes on a page of its own rather than nowhere.
        if (mayBreak && y_ + built.heightMm > limit() + 1e-9 && bandsOnPage_ > 0) {
            finishPage();
            startPage();
            built = build(band, y_);
        }
        y_ += built.heightMm;
        if (mayBreak) ++bandsOnPage_;
        out_.pages.last().bands.append(std::move(built));
        // The column headings follow the title on the first page.
        if (&band == title_ && header_) place(*header_, false);
    }

    QString expand(const QString& text) {
        QString result;
        int pos = 0;
        while (pos < text.size()) {
            const int open = text.indexOf(QLatin1Char('['), pos);
            const int close = open < 0 ? -1 : text.indexOf(QLatin1Char(']'), open + 1);
            if (close < 0) {
                result += QStringView(text).mid(pos);
                break;
            }
            result += QStringView(text).mid(pos, open - pos);
            result += value(text.mid(open + 1, close - open - 1));
            pos = close + 1;
        }
        return result;
    }

    QString value(const QString& name) {
        if (name == QLatin1String("Page#")) return QString::number(pageNumber());
        QString v;
        if (report_.OnGetValue) report_.OnGetValue(name, v);
        return v;
    }

    PreparedBand build(const Band& band, double top) {
        const double left = report_.layout.page.marginsMm.left();
        PreparedBand out{band.kind, top, band.heightMm, {}};
        out.objects.reserve(band.objects.size());
        for (const TextObject& o : band.objects) {
            PreparedObject p;
            p.text = expand(o.text);
            p.style = o.style;
            p.lines = measurer_.BreakLines(p.text, o.style, std::max(0.0, o.widthMm - 2 * GapXMm),
                                           &p.lineWidthsMm);
            p.rectMm = QRectF(left + o.leftMm, top + o.topMm, o.widthMm, o.heightMm);
            if (band.stretch) {
                const double need = p.lines.size() * lineHeight(o.style) + 2 * GapYMm;
                out.heightMm = std::max(out.heightMm, o.topMm + need);
            }
            out.objects.append(std::move(p));
        }
        if (band.stretch) {
            // Every object of a grown row takes the row's height.
            for (PreparedObject& p : out.objects)
                if (out.heightMm > band.heightMm)
                    p.rectMm.setHeight(
                        std::max(p.rectMm.height(), out.heightMm - (p.rectMm.top() - top)));
        }
        return out;
    }

    double lineHeight(const TextStyle& style) {
        const QString key = style.family + QLatin1Char('/') + QString::number(style.pointSize) +
                            (style.bold ? QLatin1Char('b') : QLatin1Char('r'));
        auto it = lineHeights_.find(key);
        if (it == lineHeights_.end()) it = lineHeights_.insert(key, measurer_.LineHeightMm(style));
        return *it;
    }

    Report& report_;
    PreparedReport& out_;
    const Band* title_ = nullptr;
    const Band* header_ = nullptr;
    const Band* data_ = nullptr;
    const Band* footer_ = nullptr;
    double y_ = 0;
    int bandsOnPage_ = 0;
    TextMeasurer measurer_;
    QHash<QString, double> lineHeights_;
};

} // namespace

void Report::PrepareReport() {
    prepared_.Clear();
    Preparer(*this, prepared_).Run();
    if (OnPrepared) OnPrepared(prepared_);
}

} // namespace vyz::report
