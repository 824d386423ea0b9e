// The entry of the chart module: the only symbol it offers.
#include "analysis/chart_plot.h"

extern "C" __attribute__((visibility("default"))) const vyz::analysis::ChartPlotModule*
vyz_chart_plot() {
    return &vyz::analysis::LinkedChartPlot;
}
