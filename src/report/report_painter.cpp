#include "report/report_painter.h"

#include "report/report_fonts.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QVarLengthArray>
#include <optional>

namespace vyz::report {

void PaintPage(QPainter& painter, const PreparedPage& page, double zoom,
               const PreparedObject* highlight) {
    QPaintDevice* device = painter.device();
    const double pxPerMm = zoom * device->logicalDpiX() / 25.4;
    const double pyPerMm = zoom * device->logicalDpiY() / 25.4;
    auto toDevice = [&](const QRectF& mm) {
        return QRectF(mm.left() * pxPerMm, mm.top() * pyPerMm, mm.width() * pxPerMm,
                      mm.height() * pyPerMm);
    };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    // Frame lines one pixel of a 96 dpi screen wide.
    QPen framePen(Qt::black, std::max(1.0, 0.265 * pxPerMm));
    framePen.setJoinStyle(Qt::MiterJoin);
    TextStyle lastStyle;
    QFont font;
    std::optional<QFontMetricsF> fm;
    const double gapX = GapXMm * pxPerMm, gapY = GapYMm * pyPerMm;
    for (const PreparedBand& band : page.bands) {
        for (const PreparedObject& o : band.objects) {
            const QRectF r = toDevice(o.rectMm);
            if (&o == highlight) painter.fillRect(r, QColor(255, 230, 0, 160));
            if (!o.picture.isNull()) {
                painter.save();
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                painter.drawImage(r, o.picture);
                painter.restore();
            }
            if (!fm || !(o.style == lastStyle)) {
                font = MakeFont(o.style, zoom);
                lastStyle = o.style;
                painter.setFont(font);
                fm.emplace(font, device);
            }
            painter.setPen(o.style.color);
            const double lineHeight = fm->height();
            const double block = lineHeight * o.lines.size();
            double y = r.top() + gapY;
            if (o.style.align & Qt::AlignVCenter)
                y = r.top() + (r.height() - block) / 2;
            else if (o.style.align & Qt::AlignBottom)
                y = r.bottom() - gapY - block;
            // Clipping costs time on every device; only a text that overflows its box needs it.
            bool clipped = block > r.height();
            QVarLengthArray<std::pair<QPointF, double>, 4> places;
            for (int i = 0; i < o.lines.size(); ++i) {
                // Unhinted widths scale with the resolution: the width measured once holds here.
                const double w = i < o.lineWidthsMm.size() ? o.lineWidthsMm[i] * pxPerMm
                                                           : fm->horizontalAdvance(o.lines[i]);
                double x = r.left() + gapX;
                if (o.style.align & Qt::AlignHCenter)
                    x = r.left() + (r.width() - w) / 2;
                else if (o.style.align & Qt::AlignRight)
                    x = r.right() - gapX - w;
                clipped = clipped || w > r.width();
                places.append({QPointF(x, y + fm->ascent()), w});
                y += lineHeight;
            }
            if (clipped) {
                painter.save();
                painter.setClipRect(r);
            }
            for (int i = 0; i < o.lines.size(); ++i)
                painter.drawText(places[i].first, o.lines[i]);
            if (clipped) painter.restore();
            if (o.style.frame) {
                painter.setPen(framePen);
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(r);
            }
        }
    }
    painter.restore();
}

QPageLayout DevicePageLayout(const PageSettings& page) {
    const double w = std::min(page.paperMm.width(), page.paperMm.height());
    const double h = std::max(page.paperMm.width(), page.paperMm.height());
    return QPageLayout(QPageSize(QSizeF(w, h), QPageSize::Millimeter), page.orientation,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

PaintResult PaintReport(const PreparedReport& report, QPagedPaintDevice& device, int from, int to,
                        Progress* progress) {
    from = std::max(from, 0);
    to = std::min(to, int(report.pages.size()) - 1);
    if (from > to) return PaintResult::DeviceFailed;
    if (progress) progress->Begin(to - from + 1);
    device.setPageLayout(DevicePageLayout(report.pages[from].page));
    QPainter painter;
    if (!painter.begin(&device)) return PaintResult::DeviceFailed;
    for (int i = from; i <= to; ++i) {
        if (i > from) {
            device.setPageLayout(DevicePageLayout(report.pages[i].page));
            device.newPage();
        }
        PaintPage(painter, report.pages[i], 1.0);
        if (progress && !progress->Step(i - from + 1)) {
            painter.end();
            return PaintResult::Cancelled;
        }
    }
    return painter.end() ? PaintResult::Done : PaintResult::DeviceFailed;
}

} // namespace vyz::report
