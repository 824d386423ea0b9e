// The lot analysis in the main window: its menu after the instrument menu, its panel below the
// table, the table's rows marked by the acceptance limits, the selection and the chart's picked
// row passed both ways.
#include "analysis/lot_analysis.h"
#include "analysis/lot_text.h"
#include "data/archive_record.h"
#include "data/text_pair.h"
#include "shell/main_window.h"

#include <QDockWidget>
#include <QMenuBar>
#include <QResizeEvent>

namespace vyz {
namespace {

// A panel shown, hidden or resized changes the room below the menu without resizing the window;
// the table is laid out again then.
class CentralResizeWatch : public QObject {
public:
    explicit CentralResizeWatch(TForm1* form) : QObject(form), form_(form) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Resize) {
            const auto* e = static_cast<QResizeEvent*>(event);
            if (e->oldSize().width() == e->size().width() &&
                e->oldSize().height() != e->size().height())
                form_->FormResize();
        }
        return false;
    }

private:
    TForm1* form_;
};

// Row backgrounds that differ in lightness as well as hue (readable without colour vision too);
// the tool tip carries a symbol and the reason.
const QColor PassBackground(212, 230, 244); // light blue
const QColor FailBackground(244, 177, 131); // orange, darker
const QColor UnknownBackground(224, 224, 224);

} // namespace

void TForm1::CreateAnalysis() {
    analysis_ = new analysis::LotAnalysis(this);
    menuBar()->insertMenu(itmParam->menuAction(), analysis_->Menu());
    centralWidget()->installEventFilter(new CentralResizeWatch(this));
    connect(grid_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        // A fill that is still running changes the rows under the selection.
        if (ArchiveBusy()) return;
        const auto [top, bottom] = grid_->SelectedRows();
        analysis_->Model().SetSelection(top - GridModel::FixedRows, bottom - GridModel::FixedRows);
    });
    connect(&analysis_->Model(), &analysis::LotModel::tableChanged, this,
            &TForm1::AnalysisMarkRows);
    connect(analysis_, &analysis::LotAnalysis::rowActivated, this, [this](int row) {
        if (row < 0 || row >= grid_->Model()->rowCount()) return;
        grid_->selectRow(row);
        grid_->scrollTo(grid_->Model()->index(row, 0));
    });
}

void TForm1::AnalysisTableChanged(const int32_t* order, int rows) {
    analysis_->Model().SetTable(MeasurementArchive, order, rows);
}

void TForm1::AnalysisLanguageChanged() {
    analysis_->Retitle();
    AnalysisMarkRows();
}

void TForm1::AnalysisMarkRows() {
    const analysis::LotModel& model = analysis_->Model();
    QVector<GridModel::RowMark> marks;
    if (model.CurrentLimits().Any()) {
        const int lang = LangIndex.load();
        marks.resize(int(model.Rows().size()));
        for (int i = 0; i < marks.size(); ++i) {
            const analysis::RecordVerdict& v = model.Verdicts()[size_t(i)];
            switch (v.verdict) {
            case analysis::Verdict::None:
                continue;
            case analysis::Verdict::Pass:
                marks[i].background = PassBackground;
                break;
            case analysis::Verdict::Fail:
                marks[i].background = FailBackground;
                break;
            case analysis::Verdict::Unknown:
                marks[i].background = UnknownBackground;
                break;
            }
            marks[i].note =
                analysis::VerdictText(model.Rows()[size_t(i)], v, model.CurrentLimits(), lang);
        }
    }
    grid_->Model()->SetRowMarks(std::move(marks));
}

} // namespace vyz
