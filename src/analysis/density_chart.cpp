#include "analysis/density_chart.h"

#include "analysis/analysis_texts.h"
#include "analysis/lot_model.h"
#include "analysis/lot_text.h"
#include "data/record_text.h"
#include "platform/program_module.h"
#include "platform/staged_write.h"
#include "platform/text_string.h"

#include <QBuffer>
#include <QLabel>
#include <algorithm>
#include <cmath>
#include <mutex>

namespace vyz::analysis {
namespace {

// The chart itself is drawn at this size when the widget is not on screen.
constexpr QSize DefaultPictureSize(1200, 700);

const ChartPlotModule* Drawing(QString* error) {
    if (&LinkedChartPlot) return &LinkedChartPlot;
    // Only the window's thread makes charts; a failed load is tried again with the next chart.
    static const ChartPlotModule* loaded = nullptr;
    if (!loaded)
        loaded = static_cast<const ChartPlotModule*>(LoadProgramModule(
            ChartModuleName, ChartModuleEntry,
            [](const void* offered) {
                return static_cast<const ChartPlotModule*>(offered)->abi == ChartPlotAbi;
            },
            error));
    return loaded;
}

} // namespace

ChartPlot* MakeChartPlot(QWidget* parent, PlotEvents events, QString* error) {
    const ChartPlotModule* drawing = Drawing(error);
    return drawing ? drawing->make(parent, std::move(events)) : nullptr;
}

DensityChart::DensityChart(const LotModel& model, QWidget* parent)
    : QObject(parent), model_(model) {
    PlotEvents events;
    events.shown = [this] { drawn(); };
    events.tip = [this](double x) { return PointText(RowAt(x)); };
    events.clicked = [this](double x) {
        if (const int row = RowAt(x); row >= 0) emit rowClicked(row);
    };
    plot_ = MakeChartPlot(parent, std::move(events), &missing_);
    if (plot_) {
        widget_ = plot_->Widget();
    } else {
        auto* reason = new QLabel(parent);
        reason->setObjectName(QStringLiteral("DensityChart"));
        reason->setAlignment(Qt::AlignCenter);
        reason->setWordWrap(true);
        reason->setTextFormat(Qt::PlainText);
        widget_ = reason;
    }
    Retitle();
    Redraw();
}

DensityChart::~DensityChart() {
    if (widget_ && !widget_->parent()) delete widget_.data();
}

void DensityChart::Retitle() {
    if (!widget_) return;
    if (!plot_) {
        static_cast<QLabel*>(widget_.data())->setText(Text(text::ChartMissing).arg(missing_));
        return;
    }
    PlotTexts t;
    t.title = Text(text::ChartTitle);
    t.rowAxis = Text(text::RowAxis);
    t.densityAxis = t.density = Text(text::DensitySeries);
    t.porosityAxis = t.porosity = Text(text::PorositySeries);
    t.failing = Text(text::FailingSeries);
    t.porosityLow = Text(text::PorosityLowLine);
    t.porosityHigh = Text(text::PorosityHighLine);
    t.help = Text(text::ChartHelp);
    plot_->SetTexts(t);
}

void DensityChart::Redraw() {
    if (widget_ && widget_->isVisible())
        draw();
    else
        stale_ = true;
}

void DensityChart::draw() {
    stale_ = false;
    const auto& rows = model_.Rows();
    const auto& verdicts = model_.Verdicts();
    PlotData data;
    data.density.reserve(int(rows.size()));
    data.porosity.reserve(int(rows.size()));
    pointRows_.clear();
    double dMin = INFINITY, dMax = -INFINITY, pMax = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (IsDeleted(rows[i])) continue;
        const RecordValues v = ValuesOf(rows[i]);
        if (!v.value[Density]) continue;
        const double x = double(i + 1);
        const double d = *v.value[Density];
        data.density.append(QPointF(x, d));
        pointRows_.push_back(int(i));
        dMin = std::min(dMin, d);
        dMax = std::max(dMax, d);
        if (v.value[Porosity]) {
            data.porosity.append(QPointF(x, *v.value[Porosity]));
            pMax = std::max(pMax, *v.value[Porosity]);
        }
        if (verdicts[i].verdict == Verdict::Fail) data.failing.append(QPointF(x, d));
    }

    // A limit line only for a limit that is drawn: not for inverted limits.
    const Limits& l = model_.CurrentLimits();
    if (!l.PorosityInverted()) {
        data.porosityLow = l.porosityLow;
        data.porosityHigh = l.porosityHigh;
    }
    for (const std::optional<double>& v : {data.porosityLow, data.porosityHigh})
        if (v) pMax = std::max(pMax, *v);
    data.lastRow = std::max<double>(double(rows.size()), 2);
    if (!data.density.isEmpty()) {
        const double pad = std::max((dMax - dMin) * 0.05, 1.0);
        data.densityMin = dMin - pad;
        data.densityMax = dMax + pad;
    }
    data.porosityMax = std::max(1.0, std::ceil(pMax * 1.1));
    if (plot_ && widget_) plot_->SetData(data);
}

void DensityChart::ResetZoom() {
    if (ChartPlot* plot = Plot()) plot->ResetZoom();
}

int DensityChart::RowAt(double x) const {
    drawn();
    if (pointRows_.empty()) return -1;
    // Points are in row order with x = row + 1: the nearest is next to the lower bound.
    const double row = x - 1;
    auto it = std::lower_bound(pointRows_.begin(), pointRows_.end(), row,
                               [](int r, double v) { return r < v; });
    if (it == pointRows_.end()) return pointRows_.back();
    if (it != pointRows_.begin() && row - *(it - 1) < *it - row) --it;
    return *it;
}

QString DensityChart::PointText(int row) const {
    const auto& rows = model_.Rows();
    if (row < 0 || row >= int(rows.size())) return {};
    const ArchiveRecord& r = rows[size_t(row)];
    const int lang = LangIndex.load();
    const RecordValues v = ValuesOf(r);
    const QString date = QString::fromUtf8(DateTimeText(r, lang)).trimmed();
    QString tip = v.value[Porosity] ? Text(text::PointTip, lang)
                                          .arg(r.RecordNo)
                                          .arg(date, Number(v.value[Density].value_or(0), 2),
                                               Number(*v.value[Porosity], 1))
                                    : Text(text::PointTipNoPorosity, lang)
                                          .arg(r.RecordNo)
                                          .arg(date, Number(v.value[Density].value_or(0), 2));
    const QString verdict =
        VerdictText(r, model_.Verdicts()[size_t(row)], model_.CurrentLimits(), lang);
    if (!verdict.isEmpty()) tip += QLatin1Char('\n') + verdict;
    return tip;
}

QSize DensityChart::pictureSize(QSize size) const {
    if (size.isValid() && !size.isEmpty()) return size;
    return widget_ && widget_->isVisible() && widget_->width() >= 200 ? widget_->size()
                                                                      : DefaultPictureSize;
}

QImage DensityChart::Picture(QSize size) const {
    ChartPlot* plot = Plot();
    return plot ? plot->Picture(pictureSize(size)) : QImage();
}

bool DensityChart::SavePng(const QString& path, QString* error) const {
    ChartPlot* plot = Plot();
    if (!plot) {
        if (error) *error = missing_;
        return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!plot->Picture(pictureSize({})).save(&buffer, "PNG")) {
        if (error) *error = QStringLiteral("the picture could not be encoded");
        return false;
    }
    return WriteStaged(path, bytes, error);
}

bool DensityChart::SaveSvg(const QString& path, QString* error) const {
    ChartPlot* plot = Plot();
    if (!plot) {
        if (error) *error = missing_;
        return false;
    }
    const QByteArray bytes = plot->Svg(pictureSize({}));
    if (bytes.isEmpty()) {
        if (error) *error = QStringLiteral("the picture could not be drawn");
        return false;
    }
    return WriteStaged(path, bytes, error);
}

} // namespace vyz::analysis
