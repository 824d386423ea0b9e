// The density chart: density per table row, porosity on a second axis, the porosity limits as
// lines, rows outside the limits marked. Hovering a point names its record; a click selects its
// row; the wheel or a drawn frame zooms, the right button zooms out, the arrow keys pan, Home
// shows the whole chart. Saved as PNG or SVG. The drawing comes from the chart module
// (chart_plot.h); when it cannot be loaded the chart's place says why.
#pragma once

#include "analysis/chart_plot.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

class QWidget;

namespace vyz::analysis {

class LotModel;

class DensityChart : public QObject {
    Q_OBJECT
public:
    explicit DensityChart(const LotModel& model, QWidget* parent = nullptr);
    ~DensityChart() override;

    // The chart's view, or the text saying why there is none; owned by the parent given.
    QWidget* Widget() const { return widget_; }
    // The drawing; nullptr when the module could not be loaded.
    ChartPlot* Plot() const {
        drawn();
        return widget_ ? plot_ : nullptr;
    }

    // Redraws from the model (its rows, verdicts and limits): at once while the chart is shown,
    // otherwise when it is next shown or pictured, so a hidden chart costs a fill nothing.
    void Redraw();
    // Titles in the current language.
    void Retitle();
    void ResetZoom();

    // The chart as a picture of `size` (the widget's own size when it is shown and empty size is
    // given; a null image without the drawing), and written to a file; false with a reason in
    // *error.
    QImage Picture(QSize size = {}) const;
    bool SavePng(const QString& path, QString* error) const;
    bool SaveSvg(const QString& path, QString* error) const;

    // The table row (0-based) nearest to chart position x, or -1.
    int RowAt(double x) const;
    // The tool tip text of a row.
    QString PointText(int row) const;

signals:
    void rowClicked(int row);

private:
    void draw();
    // Brings a chart redrawn while hidden up to date before it is read.
    void drawn() const {
        if (stale_) const_cast<DensityChart*>(this)->draw();
    }
    QSize pictureSize(QSize size) const;

    const LotModel& model_;
    ChartPlot* plot_ = nullptr;  // owned by its view
    QPointer<QWidget> widget_;   // the view, or the reason it is missing
    QString missing_;            // why there is no drawing
    std::vector<int> pointRows_; // the table row of each density point
    bool stale_ = false;         // the model changed while the chart was hidden
};

} // namespace vyz::analysis
