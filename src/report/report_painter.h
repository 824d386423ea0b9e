// Paints prepared pages. One code path for every device: the preview widget, the printer and PDF.
#pragma once

#include "report/prepared_report.h"
#include "report/report_progress.h"

#include <QPageLayout>

class QPainter;
class QPagedPaintDevice;

namespace vyz::report {

// Paints `page` with its top-left paper corner at the painter's origin. `zoom` 1 paints at the
// device's true size (its logical resolution). `highlight`, when not null, is an object of the
// page to mark (a found text).
void PaintPage(QPainter& painter, const PreparedPage& page, double zoom,
               const PreparedObject* highlight = nullptr);

// The device page layout for `page`: its paper and orientation, no margins (the page's own
// margins are part of its objects' places).
QPageLayout DevicePageLayout(const PageSettings& page);

// Paints pages [from, to] (0-based, inclusive) onto `device`, one device page each, with the
// painter begun and ended here.
enum class PaintResult { Done, Cancelled, DeviceFailed };
PaintResult PaintReport(const PreparedReport& report, QPagedPaintDevice& device, int from, int to,
                        Progress* progress = nullptr);

} // namespace vyz::report
