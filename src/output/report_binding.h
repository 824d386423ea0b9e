// The program's two report layouts and their binding to the measurement table: the value
// callback that answers every bracketed name from the table (read by column position, so a
// column the operator moved prints where it now stands; the window's table or the converter's
// table of decoded records) and the data set's callbacks that count
// the table's data rows.
#pragma once

#include "data/archive_record.h"
#include "output/cell_reader.h"
#include "report/report_engine.h"

namespace vyz {

// The plain layout (A4 portrait, 8 columns) and the coordinates layout (A4 landscape, 10).
report::ReportLayout PlainReportLayout();
report::ReportLayout GpsReportLayout();

// The two halves of the table's date-and-time cell " 9:05:07 ( 3 мар 2020)": the time with the
// blank in front of the parenthesis (" 9:05:07 "), and the date inside the parentheses
// (" 3 мар 2020"). A deleted record's suffix after the parenthesis stays with the date
// (" 3 мар 2020 - удалена"), so the report still shows that the record was deleted.
QString ReportTimeOf(const QString& cell);
QString ReportDateOf(const QString& cell);

class ReportBinding {
public:
    explicit ReportBinding(const CellReader& table);
    ReportBinding(const ReportBinding&) = delete;
    ReportBinding& operator=(const ReportBinding&) = delete;

    report::Report frxReport1;   // plain layout
    report::Report frxReportGPS; // coordinates layout
    report::UserDataSet frxUserDataSet1;

    // The layout of the table's current layout (GPSModeFlag).
    report::Report& CurrentReport() { return ReportFor(GPSModeFlag.load()); }
    report::Report& ReportFor(bool coordinates) { return coordinates ? frxReportGPS : frxReport1; }

    void frxReport1GetValue(const QString& name, QString& value);
    void frxUserDataSet1First();
    void frxUserDataSet1CheckEOF(bool& eof);

private:
    const CellReader& grid_;
};

} // namespace vyz
