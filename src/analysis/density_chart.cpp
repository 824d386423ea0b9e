#include "analysis/density_chart.h"

#include "analysis/analysis_texts.h"
#include "analysis/lot_model.h"
#include "analysis/lot_text.h"
#include "data/record_text.h"
#include "platform/staged_write.h"
#include "platform/text_string.h"

#include <QBuffer>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace vyz::analysis {
namespace {

// Colours that stay apart for colour-blind readers (blue, vermilion, orange).
const QColor DensityColour(0, 114, 178);
const QColor PorosityColour(213, 94, 0);
const QColor FailColour(230, 159, 0);

// The chart itself is drawn at this size when the widget is not on screen.
constexpr QSize DefaultPictureSize(1200, 700);

} // namespace

DensityChart::DensityChart(const LotModel& model, QWidget* parent)
    : QChartView(parent), model_(model) {
    setObjectName(QStringLiteral("DensityChart"));
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::RectangleRubberBand);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(240, 160);
    auto* c = new QChart;
    c->legend()->setAlignment(Qt::AlignBottom);
    c->setMargins(QMargins(4, 4, 4, 4));
    setChart(c);

    density_ = new QLineSeries(c);
    density_->setPen(QPen(DensityColour, 1.5));
    porosity_ = new QLineSeries(c);
    porosity_->setPen(QPen(PorosityColour, 1.2, Qt::DashLine));
    failing_ = new QScatterSeries(c);
    // A square marker with a dark edge: told apart by shape, not only by colour.
    failing_->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    failing_->setMarkerSize(6);
    failing_->setColor(FailColour);
    failing_->setBorderColor(Qt::black);
    porosityLow_ = new QLineSeries(c);
    porosityHigh_ = new QLineSeries(c);
    for (QLineSeries* s : {porosityLow_, porosityHigh_})
        s->setPen(QPen(PorosityColour, 1, Qt::DotLine));
    for (QAbstractSeries* s : std::initializer_list<QAbstractSeries*>{density_, failing_, porosity_,
                                                                      porosityLow_, porosityHigh_})
        c->addSeries(s);

    rowAxis_ = new QValueAxis(c);
    rowAxis_->setLabelFormat(QStringLiteral("%d"));
    densityAxis_ = new QValueAxis(c);
    porosityAxis_ = new QValueAxis(c);
    c->addAxis(rowAxis_, Qt::AlignBottom);
    c->addAxis(densityAxis_, Qt::AlignLeft);
    c->addAxis(porosityAxis_, Qt::AlignRight);
    for (QAbstractSeries* s : c->series())
        s->attachAxis(rowAxis_);
    density_->attachAxis(densityAxis_);
    failing_->attachAxis(densityAxis_);
    for (QLineSeries* s : {porosity_, porosityLow_, porosityHigh_})
        s->attachAxis(porosityAxis_);
    densityAxis_->setLinePenColor(DensityColour);
    porosityAxis_->setLinePenColor(PorosityColour);

    for (QXYSeries* s : std::initializer_list<QXYSeries*>{density_, porosity_, failing_})
        connect(s, &QXYSeries::hovered, this, &DensityChart::hovered);
    Retitle();
    Redraw();
}

void DensityChart::Retitle() {
    chart()->setTitle(Text(text::ChartTitle));
    rowAxis_->setTitleText(Text(text::RowAxis));
    densityAxis_->setTitleText(Text(text::DensitySeries));
    porosityAxis_->setTitleText(Text(text::PorositySeries));
    density_->setName(Text(text::DensitySeries));
    porosity_->setName(Text(text::PorositySeries));
    failing_->setName(Text(text::FailingSeries));
    porosityLow_->setName(Text(text::PorosityLowLine));
    porosityHigh_->setName(Text(text::PorosityHighLine));
    setToolTip(Text(text::ChartHelp));
}

void DensityChart::Redraw() {
    if (isVisible())
        draw();
    else
        stale_ = true;
}

void DensityChart::showEvent(QShowEvent* event) {
    drawn();
    QChartView::showEvent(event);
}

void DensityChart::draw() {
    stale_ = false;
    const auto& rows = model_.Rows();
    const auto& verdicts = model_.Verdicts();
    QList<QPointF> density, porosity, failing;
    density.reserve(int(rows.size()));
    porosity.reserve(int(rows.size()));
    pointRows_.clear();
    double dMin = INFINITY, dMax = -INFINITY, pMax = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (IsDeleted(rows[i])) continue;
        const RecordValues v = ValuesOf(rows[i]);
        if (!v.value[Density]) continue;
        const double x = double(i + 1);
        const double d = *v.value[Density];
        density.append(QPointF(x, d));
        pointRows_.push_back(int(i));
        dMin = std::min(dMin, d);
        dMax = std::max(dMax, d);
        if (v.value[Porosity]) {
            porosity.append(QPointF(x, *v.value[Porosity]));
            pMax = std::max(pMax, *v.value[Porosity]);
        }
        if (verdicts[i].verdict == Verdict::Fail) failing.append(QPointF(x, d));
    }
    density_->replace(density);
    porosity_->replace(porosity);
    failing_->replace(failing);

    const Limits& l = model_.CurrentLimits();
    const double xMax = std::max<double>(double(rows.size()), 2);
    auto limitLine = [&](QLineSeries* s, const std::optional<double>& v) {
        const bool used = v && !l.PorosityInverted();
        s->replace(used ? QList<QPointF>{{1, *v}, {xMax, *v}} : QList<QPointF>{});
        // A legend entry only for a limit that is drawn.
        if (const auto markers = chart()->legend()->markers(s); !markers.isEmpty())
            markers.first()->setVisible(used);
        if (used) pMax = std::max(pMax, *v);
    };
    limitLine(porosityLow_, l.porosityLow);
    limitLine(porosityHigh_, l.porosityHigh);

    rowAxis_->setRange(1, xMax);
    if (density.isEmpty()) {
        densityAxis_->setRange(0, 1);
    } else {
        const double pad = std::max((dMax - dMin) * 0.05, 1.0);
        densityAxis_->setRange(dMin - pad, dMax + pad);
    }
    porosityAxis_->setRange(0, std::max(1.0, std::ceil(pMax * 1.1)));
}

void DensityChart::ResetZoom() {
    chart()->zoomReset();
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

void DensityChart::hovered(const QPointF& point, bool state) {
    if (!state) {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(QCursor::pos(), PointText(RowAt(point.x())), this);
}

// The rubber band takes the left button inside the plot area before the series see it, so a
// click (a press and release without a drag) is told from a drawn frame here.
void DensityChart::mousePressEvent(QMouseEvent* event) {
    pressedAt_ = event->position().toPoint();
    QChartView::mousePressEvent(event);
}

void DensityChart::mouseReleaseEvent(QMouseEvent* event) {
    QChartView::mouseReleaseEvent(event);
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || (at - pressedAt_).manhattanLength() > 3) return;
    const QPointF inChart = chart()->mapFromScene(mapToScene(at));
    if (!chart()->plotArea().contains(inChart)) return;
    const int row = RowAt(chart()->mapToValue(inChart, density_).x());
    if (row >= 0) emit rowClicked(row);
}

void DensityChart::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0) chart()->zoom(std::pow(1.25, steps));
    event->accept();
}

void DensityChart::keyPressEvent(QKeyEvent* event) {
    const QRectF area = chart()->plotArea();
    switch (event->key()) {
    case Qt::Key_Left:
        chart()->scroll(-area.width() / 10, 0);
        break;
    case Qt::Key_Right:
        chart()->scroll(area.width() / 10, 0);
        break;
    case Qt::Key_Up:
        chart()->scroll(0, area.height() / 10);
        break;
    case Qt::Key_Down:
        chart()->scroll(0, -area.height() / 10);
        break;
    case Qt::Key_Home:
        ResetZoom();
        break;
    case Qt::Key_Plus:
        chart()->zoomIn();
        break;
    case Qt::Key_Minus:
        chart()->zoomOut();
        break;
    default:
        QChartView::keyPressEvent(event);
        return;
    }
    event->accept();
}

QSize DensityChart::pictureSize(QSize size) const {
    if (size.isValid() && !size.isEmpty()) return size;
    return isVisible() && width() >= 200 ? this->size() : DefaultPictureSize;
}

// The scene is drawn at the wanted size on its own, and the chart then returns to the widget's
// size, so the chart on screen keeps its shape.
void DensityChart::drawAt(QPainter& painter, QSize size) const {
    auto* self = const_cast<DensityChart*>(this);
    const QRectF before = chart()->geometry();
    self->chart()->resize(size);
    self->scene()->render(&painter, QRectF(QPointF(0, 0), size), QRectF(QPointF(0, 0), size));
    self->chart()->setGeometry(before);
}

QImage DensityChart::Picture(QSize size) const {
    drawn();
    size = pictureSize(size);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawAt(painter, size);
    return image;
}

bool DensityChart::SavePng(const QString& path, QString* error) const {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!Picture().save(&buffer, "PNG")) {
        if (error) *error = QStringLiteral("the picture could not be encoded");
        return false;
    }
    return WriteStaged(path, bytes, error);
}

bool DensityChart::SaveSvg(const QString& path, QString* error) const {
    drawn();
    const QSize size = pictureSize({});
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(chart()->title());
        QPainter painter;
        if (!painter.begin(&svg)) {
            if (error) *error = QStringLiteral("the picture could not be drawn");
            return false;
        }
        drawAt(painter, size);
        painter.end();
    }
    return WriteStaged(path, bytes, error);
}

} // namespace vyz::analysis
