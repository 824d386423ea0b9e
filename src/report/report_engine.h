// The report engine: a layout, a user data set whose records the program counts through
// callbacks, a value callback for every bracketed name, and the preparation of pages.
#pragma once

#include "report/prepared_report.h"
#include "report/report_layout.h"

#include <functional>

class QWidget;

namespace vyz::report {

// A data set without fields: the program says how many records there are (OnFirst sets
// RangeEndCount) and when the data end (OnCheckEOF); the engine walks RecNo from 0.
class UserDataSet {
public:
    std::function<void()> OnFirst;
    std::function<void(bool& eof)> OnCheckEOF;

    int RecNo = 0;
    int RangeEndCount = 0;

    void First();
    void Next() { ++RecNo; }
    bool Eof() const;
};

class Report {
public:
    ReportLayout layout;
    UserDataSet* dataSet = nullptr; // the master data band's records; none: no data rows
    // Called for every bracketed name except the engine's own ("Page#", "TotalPages#"); a value
    // the callback leaves alone prints empty.
    std::function<void(const QString& name, QString& value)> OnGetValue;

    // Called at the end of every preparation (the print command's and a page setup's): the
    // program may add pages of its own after the bands' pages.
    std::function<void(PreparedReport& prepared)> OnPrepared;

    // Prepares the pages anew (any earlier prepared pages are discarded).
    void PrepareReport();
    const PreparedReport& Prepared() const { return prepared_; }
    PreparedReport& Prepared() { return prepared_; }

    // Shows the prepared pages in the modal preview window; returns when it closes.
    void ShowPreparedReport(QWidget* parent);

private:
    PreparedReport prepared_;
};

} // namespace vyz::report
