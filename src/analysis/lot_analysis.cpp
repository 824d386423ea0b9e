#include "analysis/lot_analysis.h"

#include "analysis/analysis_settings.h"
#include "analysis/analysis_texts.h"
#include "analysis/density_chart.h"
#include "analysis/limits_dialog.h"
#include "analysis/lot_text.h"
#include "analysis/summary_report.h"
#include "data/lang_texts.h"
#include "platform/message_box.h"
#include "platform/text_string.h"

#include <QAction>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace vyz::analysis {
namespace {

QString lastChartFolder;

} // namespace

LotAnalysis::LotAnalysis(QMainWindow* window) : QObject(window), window_(window) {
    menu_ = new QMenu(window);
    menu_->setObjectName(QStringLiteral("itmAnalysis"));
    // The panel's command; the panel itself is made when it is first shown (or read), since it
    // starts hidden in most sessions and costs a part of the program's start.
    panelAction_ = new QAction(this);
    panelAction_->setObjectName(QStringLiteral("AAnalysisPanel"));
    panelAction_->setCheckable(true);
    const bool visible = ReadPanelVisible();
    panelAction_->setChecked(visible);
    if (visible) Dock()->show();
    connect(panelAction_, &QAction::toggled, this, [this](bool on) {
        if (on)
            Dock()->show();
        else if (dock_)
            dock_->hide();
    });
    limitsAction_ = new QAction(this);
    limitsAction_->setObjectName(QStringLiteral("AAnalysisLimits"));
    saveChartAction_ = new QAction(this);
    saveChartAction_->setObjectName(QStringLiteral("AAnalysisSaveChart"));
    resetZoomAction_ = new QAction(this);
    resetZoomAction_->setObjectName(QStringLiteral("AAnalysisWholeChart"));
    summaryAction_ = new QAction(this);
    summaryAction_->setObjectName(QStringLiteral("AAnalysisSummary"));
    summaryAction_->setCheckable(true);
    summaryAction_->setChecked(ReadReportSummary());
    menu_->addAction(panelAction_);
    menu_->addAction(limitsAction_);
    menu_->addSeparator();
    menu_->addAction(saveChartAction_);
    menu_->addAction(resetZoomAction_);
    menu_->addSeparator();
    menu_->addAction(summaryAction_);

    // Connected after the stored state is applied, so starting writes nothing.
    connect(panelAction_, &QAction::toggled, this, [](bool on) { WritePanelVisible(on); });
    connect(summaryAction_, &QAction::toggled, this, [](bool on) { WriteReportSummary(on); });
    connect(limitsAction_, &QAction::triggered, this, &LotAnalysis::EditLimits);
    connect(saveChartAction_, &QAction::triggered, this, &LotAnalysis::SaveChart);
    connect(resetZoomAction_, &QAction::triggered, this, [this] { Chart()->ResetZoom(); });
    connect(&model_, &LotModel::figuresChanged, this, &LotAnalysis::showFigures);

    model_.SetLimits(ReadLimits());
    Retitle();
}

QDockWidget* LotAnalysis::Dock() const {
    if (dock_) return dock_;
    auto* self = const_cast<LotAnalysis*>(this);
    dock_ = new QDockWidget(window_);
    dock_->setObjectName(QStringLiteral("AnalysisPanel"));
    // Below the table only: the table keeps the window's whole width.
    dock_->setAllowedAreas(Qt::BottomDockWidgetArea);
    tabs_ = new QTabWidget(dock_);
    panel_ = new QTextBrowser(tabs_);
    panel_->setObjectName(QStringLiteral("AnalysisFigures"));
    panel_->setOpenLinks(false);
    chartPage_ = new QWidget(tabs_);
    (new QVBoxLayout(chartPage_))->setContentsMargins(0, 0, 0, 0);
    tabs_->addTab(panel_, QString());
    tabs_->addTab(chartPage_, QString());
    connect(tabs_, &QTabWidget::currentChanged, self, [self](int index) {
        if (self->tabs_->widget(index) == self->chartPage_) self->Chart();
    });
    dock_->setWidget(tabs_);
    dock_->hide();
    window_->addDockWidget(Qt::BottomDockWidgetArea, dock_);
    // The dock's close button unchecks the command.
    connect(dock_->toggleViewAction(), &QAction::toggled, self,
            [self](bool on) { self->panelAction_->setChecked(on); });
    self->retitlePanel();
    self->showFigures();
    return dock_;
}

QTextBrowser* LotAnalysis::Panel() const {
    Dock();
    return panel_;
}

DensityChart* LotAnalysis::Chart() const {
    Dock();
    if (!chart_) {
        // Drawn from the model as it is now; later changes redraw it.
        auto* self = const_cast<LotAnalysis*>(this);
        chart_ = new DensityChart(model_, chartPage_);
        chartPage_->layout()->addWidget(chart_->Widget());
        connect(chart_, &DensityChart::rowClicked, self, &LotAnalysis::rowActivated);
        connect(&model_, &LotModel::tableChanged, chart_, &DensityChart::Redraw);
    }
    return chart_;
}

void LotAnalysis::Retitle() {
    menu_->setTitle(Text(text::Menu));
    panelAction_->setText(Text(text::PanelCommand));
    limitsAction_->setText(Text(text::LimitsCommand));
    saveChartAction_->setText(Text(text::SaveChartCommand));
    resetZoomAction_->setText(Text(text::ResetZoomCommand));
    summaryAction_->setText(Text(text::SummaryCommand));
    retitlePanel();
    showFigures();
}

void LotAnalysis::retitlePanel() {
    if (!dock_) return;
    dock_->setWindowTitle(Text(text::PanelTitle));
    tabs_->setTabText(0, Text(text::StatisticsTab));
    tabs_->setTabText(1, Text(text::ChartTab));
    if (chart_) chart_->Retitle();
}

bool LotAnalysis::SummaryInReport() const {
    return summaryAction_->isChecked();
}

void LotAnalysis::AppendSummary(report::PreparedReport& report) const {
    const int lang = LangIndex.load();
    const LotStatistics whole = model_.WholeTable();
    const QString scope = Text(text::AllRecords, lang).arg(model_.Rows().size());
    // The chart at a size whose texts stay legible when it fills the printable width.
    AppendLotSummary(report, Text(text::SummaryTitle, lang), DescribeLot(whole, scope, lang),
                     Chart()->Picture(QSize(1000, 560)));
}

void LotAnalysis::ApplyLimits(const Limits& limits) {
    WriteLimits(limits);
    model_.SetLimits(limits);
}

void LotAnalysis::EditLimits() {
    LimitsDialog dialog(model_.CurrentLimits(), window_);
    if (dialog.exec() == QDialog::Accepted) ApplyLimits(dialog.Result());
}

void LotAnalysis::SaveChart() {
    if (lastChartFolder.isEmpty())
        lastChartFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString png = Text(text::PngFilter), svg = Text(text::SvgFilter);
    QString filter = png;
    QString path =
        QFileDialog::getSaveFileName(window_, Text(text::SaveChartTitle), lastChartFolder,
                                     png + QStringLiteral(";;") + svg, &filter);
    if (path.isEmpty()) return;
    const bool asSvg =
        path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive) ||
        (filter == svg && !path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive));
    if (QFileInfo(path).suffix().isEmpty())
        path += asSvg ? QStringLiteral(".svg") : QStringLiteral(".png");
    lastChartFolder = QFileInfo(path).absolutePath();
    QString error;
    if (!(asSvg ? Chart()->SaveSvg(path, &error) : Chart()->SavePng(path, &error)))
        ShowMessageBox(window_, QMessageBox::Warning, QString::fromUtf8(AppTitle()),
                       Text(text::SaveFailed).arg(path) + QLatin1Char('\n') + error);
}

QString LotAnalysis::Html(const LotModel& model, int lang) {
    QString html;
    for (const TextBlock& b : DescribeLot(model.Figures(), model.ScopeText(lang), lang)) {
        html += QStringLiteral("<p><b>%1</b></p>").arg(b.heading.toHtmlEscaped());
        if (!b.columns.isEmpty()) {
            html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\"><tr>");
            for (const QString& c : b.columns)
                html += QStringLiteral("<th>%1</th>").arg(c.toHtmlEscaped());
            html += QStringLiteral("</tr>");
            for (const QStringList& row : b.rows) {
                html += QStringLiteral("<tr>");
                for (int i = 0; i < row.size(); ++i)
                    html += QStringLiteral("<td align=\"%1\">%2</td>")
                                .arg(i == 0 ? QStringLiteral("left") : QStringLiteral("right"),
                                     row[i].toHtmlEscaped());
                html += QStringLiteral("</tr>");
            }
            html += QStringLiteral("</table>");
        }
        for (const QString& note : b.notes)
            html += QStringLiteral("<p>%1</p>").arg(note.toHtmlEscaped());
    }
    return html;
}

void LotAnalysis::showFigures() {
    if (panel_) panel_->setHtml(Html(model_, LangIndex.load()));
}

} // namespace vyz::analysis
