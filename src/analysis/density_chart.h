// The density chart: density per table row, porosity on a second axis, the porosity limits as
// lines, rows outside the limits marked. Hovering a point names its record; a click selects its
// row; the wheel or a drawn frame zooms, the right button zooms out, the arrow keys pan, Home
// shows the whole chart. Saved as PNG or SVG.
#pragma once

#include <QChartView>
#include <QString>

class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace vyz::analysis {

class LotModel;

class DensityChart : public QChartView {
    Q_OBJECT
public:
    explicit DensityChart(const LotModel& model, QWidget* parent = nullptr);

    // Redraws from the model (its rows, verdicts and limits): at once while the chart is shown,
    // otherwise when it is next shown or pictured, so a hidden chart costs a fill nothing.
    void Redraw();
    // Titles in the current language.
    void Retitle();
    void ResetZoom();

    // The chart as a picture of `size` (the widget's own size when it is shown and empty size is
    // given), and written to a file; false with a reason in *error.
    QImage Picture(QSize size = {}) const;
    bool SavePng(const QString& path, QString* error) const;
    bool SaveSvg(const QString& path, QString* error) const;

    // The table row (0-based) nearest to chart position x, or -1.
    int RowAt(double x) const;
    // The tool tip text of a row.
    QString PointText(int row) const;

    QLineSeries* DensitySeries() const { return drawn(), density_; }
    QLineSeries* PorositySeries() const { return drawn(), porosity_; }
    QScatterSeries* FailingSeries() const { return drawn(), failing_; }

signals:
    void rowClicked(int row);

protected:
    void showEvent(QShowEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void draw();
    // Brings a chart redrawn while hidden up to date before it is read.
    void drawn() const {
        if (stale_) const_cast<DensityChart*>(this)->draw();
    }
    void hovered(const QPointF& point, bool state);
    QSize pictureSize(QSize size) const;
    void drawAt(QPainter& painter, QSize size) const;

    const LotModel& model_;
    QLineSeries* density_;
    QLineSeries* porosity_;
    QScatterSeries* failing_;
    QLineSeries* porosityLow_;
    QLineSeries* porosityHigh_;
    QValueAxis* rowAxis_;
    QValueAxis* densityAxis_;
    QValueAxis* porosityAxis_;
    QPoint pressedAt_;
    std::vector<int> pointRows_; // the table row of each density point
    bool stale_ = false;         // the model changed while the chart was hidden
};

} // namespace vyz::analysis
