// The preview window: shows the prepared pages at 100 % and offers page navigation, zoom, find,
// page setup, printing on the system's printer, saving and loading prepared reports and export.
// Its texts are the engine's current language texts (report_language.h).
#pragma once

#include "report/report_engine.h"
#include "report/report_export.h"

#include <QDialog>
#include <QPrinter>

class QComboBox;
class QLabel;
class QLineEdit;
class QScrollArea;
class QSpinBox;

namespace vyz::report {

class PageView;

class PreviewWindow : public QDialog {
    Q_OBJECT
public:
    // Shows `report`'s prepared pages; page setup prepares the report anew with the new page.
    explicit PreviewWindow(Report& report, QWidget* parent = nullptr);
    ~PreviewWindow() override;

    int PageCount() const;
    int CurrentPage() const { return page_; } // 0-based
    double Zoom() const { return zoom_; }
    void ShowPage(int page);
    void SetZoom(double zoom);
    // Finds `text` (case-insensitive) after the current find position, wrapping to the start;
    // shows and marks the page object that holds it. False when no object holds it.
    bool FindNext(const QString& text);

    void PrintReport();
    void PageSetup();
    void SaveReport();
    void OpenReport();
    void ExportTo(ExportFormat format);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refresh();
    void applyFitMode();
    const PreparedReport& prepared() const { return report_.Prepared(); }

    Report& report_;
    QPrinter printer_;
    PageView* view_;
    QScrollArea* scroll_;
    QSpinBox* pageBox_;
    QLabel* pageLabel_;
    QComboBox* zoomBox_;
    QLineEdit* findEdit_;
    int page_ = 0;
    double zoom_ = 1.0;
    enum class Fit { None, Width, Page } fit_ = Fit::None;
    // The last find hit: page, band, object (-1: none yet).
    int findPage_ = 0, findBand_ = 0, findObject_ = -1;
    bool preparedFromFile_ = false;
};

} // namespace vyz::report
