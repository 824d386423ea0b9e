// The drawing of the density chart: a Qt Charts view of the density and porosity lines, the
// failing rows and the porosity limits, with zoom, hover and click. Loading Qt Charts (and Qt
// OpenGL under it) and Qt SVG takes a noticeable part of the program's start, and most sessions
// never show the chart, so the program keeps the drawing in a module of its own (vyz_chart.so)
// that the first chart loads; the tests link it in. The drawing knows nothing of records: the
// density chart gives it points and texts, and it asks back for a point's tool tip.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QSize>
#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace vyz::analysis {

struct PlotTexts {
    QString title, rowAxis, densityAxis, porosityAxis;
    QString density, porosity, failing, porosityLow, porosityHigh; // the lines' names
    QString help;                                                  // the view's tool tip
};

// The points are at x = table row + 1.
struct PlotData {
    QList<QPointF> density, porosity, failing;
    std::optional<double> porosityLow, porosityHigh; // the limit lines drawn
    double lastRow = 2;                              // the row axis runs from 1 to here
    double densityMin = 0, densityMax = 1, porosityMax = 1;
};

struct PlotEvents {
    std::function<void()> shown;           // the view is about to be shown
    std::function<QString(double x)> tip;  // the tool tip of the point nearest to x
    std::function<void(double x)> clicked; // a click in the plot area at row position x
};

enum class PlotLine { Density, Porosity, Failing, PorosityLow, PorosityHigh };

class ChartPlot {
public:
    virtual ~ChartPlot() = default;
    virtual QWidget* Widget() = 0; // the view; its parent owns it, and it owns this
    virtual void SetTexts(const PlotTexts& texts) = 0;
    virtual void SetData(const PlotData& data) = 0;
    virtual void ResetZoom() = 0;
    // The chart drawn on white at `size`; the view keeps its own size.
    virtual QImage Picture(QSize size) = 0;
    // The chart as an SVG document of `size`; empty when it cannot be drawn.
    virtual QByteArray Svg(QSize size) = 0;
    // What is drawn: a line's points and name, the chart's title.
    virtual QList<QPointF> Points(PlotLine line) const = 0;
    virtual QString Name(PlotLine line) const = 0;
    virtual QString Title() const = 0;
};

struct ChartPlotModule {
    int abi; // ChartPlotAbi of the build that made it
    ChartPlot* (*make)(QWidget* parent, PlotEvents events);
};

// Changes whenever what the drawing shares with the program changes.
inline constexpr int ChartPlotAbi = 1;
inline constexpr char ChartModuleName[] = "vyz_chart.so";
inline constexpr char ChartModuleEntry[] = "vyz_chart_plot";

// A new view in `parent`, through the drawing linked in or else the module's; nullptr with the
// reason in *error when the module cannot be loaded.
ChartPlot* MakeChartPlot(QWidget* parent, PlotEvents events, QString* error);

// The drawing of this build (chart_plot_view.cpp); only where it is linked in.
extern const ChartPlotModule LinkedChartPlot __attribute__((weak));

} // namespace vyz::analysis
