// Export of a prepared report to files. Every export keeps the report's pages, rows and columns
// (title, column headings and page footers included, as the pages show them); the spreadsheet
// formats put each cell in a cell of its own. Exporters never ask before replacing a file: the
// target is written under a temporary name and renamed over the old file only when complete, so
// a failed or cancelled export leaves what was there before.
#pragma once

#include "report/prepared_report.h"
#include "report/report_progress.h"

#include <QString>

namespace vyz::report {

enum class ExportFormat { Text, Xlsx, Pdf, Html, Rtf, Ods, Odt };

struct ExportResult {
    enum Status { Ok, Cancelled, Failed } status = Ok;
    QString error; // why it failed (system or library text)

    bool ok() const { return status == Ok; }
};

// The individual exporters (ExportReport picks one).
ExportResult ExportText(const PreparedReport& report, const QString& path, Progress* progress);
ExportResult ExportHtml(const PreparedReport& report, const QString& path, Progress* progress);
ExportResult ExportRtf(const PreparedReport& report, const QString& path, Progress* progress);
ExportResult ExportPdf(const PreparedReport& report, const QString& path, Progress* progress);
// The office formats' exporters: linked into the converter and the tests only; the program
// reaches them through the Office* functions, which load them with the first such export
// (office_formats.h).
ExportResult ExportXlsx(const PreparedReport& report, const QString& path, Progress* progress);
ExportResult ExportOds(const PreparedReport& report, const QString& path, Progress* progress);
ExportResult ExportOdt(const PreparedReport& report, const QString& path, Progress* progress);
ExportResult OfficeXlsx(const PreparedReport& report, const QString& path, Progress* progress);
ExportResult OfficeOds(const PreparedReport& report, const QString& path, Progress* progress);
ExportResult OfficeOdt(const PreparedReport& report, const QString& path, Progress* progress);

// One export format: its file suffix (without the dot), the key of its name among the report's
// texts, and its exporter.
struct ExportFormatEntry {
    ExportFormat format;
    const char* suffix;
    const char* label;
    ExportResult (*exporter)(const PreparedReport&, const QString&, Progress*);
};

// Every format, in the order the export menu offers them; the preview's menu and file dialog and
// the converter read this table.
inline constexpr ExportFormatEntry ExportFormats[] = {
    {ExportFormat::Text, "txt", "ExportText", ExportText},
    {ExportFormat::Xlsx, "xlsx", "ExportXlsx", OfficeXlsx},
    {ExportFormat::Pdf, "pdf", "ExportPdf", ExportPdf},
    {ExportFormat::Html, "html", "ExportHtml", ExportHtml},
    {ExportFormat::Rtf, "rtf", "ExportRtf", ExportRtf},
    {ExportFormat::Ods, "ods", "ExportOds", OfficeOds},
    {ExportFormat::Odt, "odt", "ExportOdt", OfficeOdt}};

const ExportFormatEntry& ExportFormatOf(ExportFormat format);
// The file suffix of a format, without the dot ("pdf").
QString ExportSuffix(ExportFormat format);

ExportResult ExportReport(ExportFormat format, const PreparedReport& report, const QString& path,
                          Progress* progress = nullptr);

} // namespace vyz::report
