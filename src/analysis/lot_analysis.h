// The lot analysis of the main window: the "Analysis" menu, the dockable panel with the figures
// and the chart, the limits dialog, saving the chart. The window tells it when the table has
// been filled or cleared, which rows are selected and when the language changes; it tells the
// window which rows to mark and which row the operator picked on the chart.
#pragma once

#include "analysis/lot_model.h"
#include "report/prepared_report.h"

#include <QObject>

class QAction;
class QDockWidget;
class QMainWindow;
class QMenu;
class QTabWidget;
class QTextBrowser;

namespace vyz::analysis {

class DensityChart;

class LotAnalysis : public QObject {
    Q_OBJECT
public:
    // Creates the menu (not yet in the menu bar), shows the panel if it was shown when the program
    // last ended, and reads the stored limits.
    explicit LotAnalysis(QMainWindow* window);

    QMenu* Menu() const { return menu_; }
    LotModel& Model() { return model_; }
    // The chart is made when it is first shown or read: it costs a noticeable part of the
    // program's start, and most sessions never open it.
    DensityChart* Chart() const;
    // The panel with the figures and the chart, docked at the window's bottom; made when first
    // shown or read, hidden.
    QDockWidget* Dock() const;
    QTextBrowser* Panel() const;
    QAction* PanelAction() const { return panelAction_; }
    QAction* SummaryAction() const { return summaryAction_; }

    // Texts in the current language.
    void Retitle();
    // The Analysis menu's commands.
    void EditLimits();
    void SaveChart();
    // Stores new limits and applies them.
    void ApplyLimits(const Limits& limits);
    // Whether the printed report ends with the lot summary, and appending it: the figures of
    // the whole table, the limits, the percent within limits and the chart.
    bool SummaryInReport() const;
    void AppendSummary(report::PreparedReport& report) const;

    // The panel's figures as HTML.
    static QString Html(const LotModel& model, int lang);

signals:
    void rowActivated(int row);

private:
    void showFigures();
    void retitlePanel();

    QMainWindow* window_;
    LotModel model_;
    QMenu* menu_;
    mutable QDockWidget* dock_ = nullptr;
    mutable QTabWidget* tabs_ = nullptr;
    mutable QTextBrowser* panel_ = nullptr;
    mutable QWidget* chartPage_ = nullptr; // the chart's tab, which holds the chart once made
    mutable DensityChart* chart_ = nullptr;
    QAction* panelAction_ = nullptr;
    QAction* limitsAction_;
    QAction* saveChartAction_;
    QAction* resetZoomAction_;
    QAction* summaryAction_;
};

} // namespace vyz::analysis
