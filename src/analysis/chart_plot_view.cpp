// The density chart's drawing on Qt Charts (see chart_plot.h); built into the chart module and,
// for the tests, linked in.
#include "analysis/chart_plot.h"

#include <QBuffer>
#include <QChartView>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QToolTip>
#include <QValueAxis>
#include <QWheelEvent>
#include <cmath>

namespace vyz::analysis {
namespace {

// Colours that stay apart for colour-blind readers (blue, vermilion, orange).
const QColor DensityColour(0, 114, 178);
const QColor PorosityColour(213, 94, 0);
const QColor FailColour(230, 159, 0);

class ChartPlotView : public QChartView, public ChartPlot {
public:
    ChartPlotView(QWidget* parent, PlotEvents events);

    QWidget* Widget() override { return this; }
    void SetTexts(const PlotTexts& texts) override;
    void SetData(const PlotData& data) override;
    void ResetZoom() override { chart()->zoomReset(); }
    QImage Picture(QSize size) override;
    QByteArray Svg(QSize size) override;
    QList<QPointF> Points(PlotLine line) const override { return series(line)->points(); }
    QString Name(PlotLine line) const override { return series(line)->name(); }
    QString Title() const override { return chart()->title(); }

protected:
    void showEvent(QShowEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QXYSeries* series(PlotLine line) const;
    void drawAt(QPainter& painter, QSize size);

    PlotEvents events_;
    QLineSeries* density_;
    QLineSeries* porosity_;
    QScatterSeries* failing_;
    QLineSeries* porosityLow_;
    QLineSeries* porosityHigh_;
    QValueAxis* rowAxis_;
    QValueAxis* densityAxis_;
    QValueAxis* porosityAxis_;
    QPoint pressedAt_;
};

ChartPlotView::ChartPlotView(QWidget* parent, PlotEvents events)
    : QChartView(parent), events_(std::move(events)) {
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
        connect(s, &QXYSeries::hovered, this, [this](const QPointF& point, bool state) {
            if (state)
                QToolTip::showText(QCursor::pos(), events_.tip(point.x()), this);
            else
                QToolTip::hideText();
        });
}

QXYSeries* ChartPlotView::series(PlotLine line) const {
    switch (line) {
    case PlotLine::Density:
        return density_;
    case PlotLine::Porosity:
        return porosity_;
    case PlotLine::Failing:
        return failing_;
    case PlotLine::PorosityLow:
        return porosityLow_;
    case PlotLine::PorosityHigh:
        return porosityHigh_;
    }
    return density_;
}

void ChartPlotView::SetTexts(const PlotTexts& texts) {
    chart()->setTitle(texts.title);
    rowAxis_->setTitleText(texts.rowAxis);
    densityAxis_->setTitleText(texts.densityAxis);
    porosityAxis_->setTitleText(texts.porosityAxis);
    density_->setName(texts.density);
    porosity_->setName(texts.porosity);
    failing_->setName(texts.failing);
    porosityLow_->setName(texts.porosityLow);
    porosityHigh_->setName(texts.porosityHigh);
    setToolTip(texts.help);
}

void ChartPlotView::SetData(const PlotData& data) {
    density_->replace(data.density);
    porosity_->replace(data.porosity);
    failing_->replace(data.failing);
    auto limitLine = [&](QLineSeries* s, const std::optional<double>& v) {
        s->replace(v ? QList<QPointF>{{1, *v}, {data.lastRow, *v}} : QList<QPointF>{});
        // A legend entry only for a limit that is drawn.
        if (const auto markers = chart()->legend()->markers(s); !markers.isEmpty())
            markers.first()->setVisible(v.has_value());
    };
    limitLine(porosityLow_, data.porosityLow);
    limitLine(porosityHigh_, data.porosityHigh);
    rowAxis_->setRange(1, data.lastRow);
    densityAxis_->setRange(data.densityMin, data.densityMax);
    porosityAxis_->setRange(0, data.porosityMax);
}

void ChartPlotView::showEvent(QShowEvent* event) {
    if (events_.shown) events_.shown();
    QChartView::showEvent(event);
}

// The rubber band takes the left button inside the plot area before the series see it, so a
// click (a press and release without a drag) is told from a drawn frame here.
void ChartPlotView::mousePressEvent(QMouseEvent* event) {
    pressedAt_ = event->position().toPoint();
    QChartView::mousePressEvent(event);
}

void ChartPlotView::mouseReleaseEvent(QMouseEvent* event) {
    QChartView::mouseReleaseEvent(event);
    const QPoint at = event->position().toPoint();
    if (event->button() != Qt::LeftButton || (at - pressedAt_).manhattanLength() > 3) return;
    const QPointF inChart = chart()->mapFromScene(mapToScene(at));
    if (!chart()->plotArea().contains(inChart)) return;
    events_.clicked(chart()->mapToValue(inChart, density_).x());
}

void ChartPlotView::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0) chart()->zoom(std::pow(1.25, steps));
    event->accept();
}

void ChartPlotView::keyPressEvent(QKeyEvent* event) {
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

// The scene is drawn at the wanted size on its own, and the chart then returns to the widget's
// size, so the chart on screen keeps its shape.
void ChartPlotView::drawAt(QPainter& painter, QSize size) {
    const QRectF before = chart()->geometry();
    chart()->resize(size);
    scene()->render(&painter, QRectF(QPointF(0, 0), size), QRectF(QPointF(0, 0), size));
    chart()->setGeometry(before);
}

QImage ChartPlotView::Picture(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    drawAt(painter, size);
    return image;
}

QByteArray ChartPlotView::Svg(QSize size) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(chart()->title());
    QPainter painter;
    if (!painter.begin(&svg)) return {};
    drawAt(painter, size);
    painter.end();
    return bytes;
}

ChartPlot* Make(QWidget* parent, PlotEvents events) {
    return new ChartPlotView(parent, std::move(events));
}

} // namespace

const ChartPlotModule LinkedChartPlot{ChartPlotAbi, Make};

} // namespace vyz::analysis
