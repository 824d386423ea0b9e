#include "shell/image_list.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>

namespace vyz {
namespace {

const QColor Ink(40, 40, 48);

void sheet(QPainter& p, const QRectF& r, const QColor& fill = Qt::white) {
    p.setPen(QPen(Ink, 1));
    p.setBrush(fill);
    p.drawRect(r);
}

void lines(QPainter& p, qreal x, qreal y, qreal w, int count) {
    p.setPen(QPen(QColor(120, 120, 140), 1));
    for (int i = 0; i < count; ++i)
        p.drawLine(QPointF(x, y + 2 * i), QPointF(x + w, y + 2 * i));
}

void draw(QPainter& p, int index) {
    switch (index) {
    case 0: { // open: a folder
        p.setPen(QPen(QColor(150, 110, 20), 1));
        p.setBrush(QColor(240, 200, 80));
        p.drawRect(QRectF(1.5, 4.5, 13, 9));
        p.drawRect(QRectF(1.5, 2.5, 5, 2));
        p.setBrush(QColor(250, 220, 120));
        QPainterPath front;
        front.moveTo(1.5, 13.5);
        front.lineTo(4.5, 7.5);
        front.lineTo(15.5, 7.5);
        front.lineTo(13.5, 13.5);
        front.closeSubpath();
        p.drawPath(front);
        break;
    }
    case 1: // save: a diskette
        p.setPen(QPen(QColor(20, 40, 110), 1));
        p.setBrush(QColor(60, 100, 190));
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 1.5, 9, 6));
        p.setBrush(QColor(200, 200, 210));
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
        break;
    case 2: // a new sheet
        sheet(p, QRectF(3.5, 1.5, 9, 13));
        lines(p, 5.5, 5.5, 5, 4);
        break;
    case 3: // preview: sheet and magnifier
        sheet(p, QRectF(1.5, 1.5, 9, 12));
        lines(p, 3.5, 4.5, 5, 3);
        p.setPen(QPen(Ink, 1.5));
        p.setBrush(QColor(200, 230, 255));
        p.drawEllipse(QRectF(7, 7, 6, 6));
        p.drawLine(QPointF(12.5, 12.5), QPointF(15, 15));
        break;
    case 4: // print: a printer with a sheet
        sheet(p, QRectF(4.5, 1.5, 7, 6));
        p.setPen(QPen(Ink, 1));
        p.setBrush(QColor(170, 170, 180));
        p.drawRect(QRectF(1.5, 6.5, 13, 6));
        sheet(p, QRectF(4.5, 10.5, 7, 4));
        p.setPen(QColor(40, 200, 40));
        p.drawPoint(QPointF(12.5, 8.5));
        break;
    case 5: // exit: a door with an arrow
        p.setPen(QPen(QColor(90, 50, 20), 1));
        p.setBrush(QColor(170, 110, 60));
        p.drawRect(QRectF(2.5, 1.5, 7, 13));
        p.setPen(QPen(QColor(200, 30, 30), 2));
        p.drawLine(QPointF(8, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(12, 5.5), QPointF(14.5, 8));
        p.drawLine(QPointF(12, 10.5), QPointF(14.5, 8));
        break;
    case 6: // read: the instrument with an arrow towards the computer
        p.setPen(QPen(Ink, 1));
        p.setBrush(QColor(230, 190, 40));
        p.drawRoundedRect(QRectF(1.5, 1.5, 8, 13), 1.5, 1.5);
        p.setBrush(QColor(120, 200, 120));
        p.drawRect(QRectF(3.5, 3.5, 4, 4));
        p.setPen(QPen(QColor(20, 90, 200), 2));
        p.drawLine(QPointF(9.5, 11), QPointF(15, 11));
        p.drawLine(QPointF(12.5, 8.5), QPointF(15, 11));
        p.drawLine(QPointF(12.5, 13.5), QPointF(15, 11));
        break;
    case 7: // copy: two sheets
        sheet(p, QRectF(1.5, 1.5, 8, 10));
        sheet(p, QRectF(6.5, 4.5, 8, 10));
        lines(p, 8.5, 7.5, 4, 3);
        break;
    case 8: // paste: a clipboard
        p.setPen(QPen(QColor(90, 60, 20), 1));
        p.setBrush(QColor(190, 140, 70));
        p.drawRect(QRectF(2.5, 2.5, 11, 12));
        sheet(p, QRectF(4.5, 4.5, 7, 9));
        p.setBrush(QColor(160, 160, 170));
        p.drawRect(QRectF(5.5, 1.5, 5, 2));
        break;
    case 9: { // settings: a cog
        p.setPen(QPen(Ink, 1));
        p.setBrush(QColor(150, 150, 160));
        p.translate(8, 8);
        for (int i = 0; i < 8; ++i) {
            p.drawRect(QRectF(-1.5, -7.5, 3, 3));
            p.rotate(45);
        }
        p.drawEllipse(QRectF(-5, -5, 10, 10));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(-2, -2, 4, 4));
        break;
    }
    case 10:   // help: a question mark in a blue disc
    case 11: { // about: an "i" in a blue disc
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 100, 200));
        p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(12);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, index == 10 ? "?" : "i");
        break;
    }
    case 12: // display image: a screen
        p.setPen(QPen(Ink, 1));
        p.setBrush(QColor(60, 60, 70));
        p.drawRect(QRectF(0.5, 2.5, 15, 10));
        p.setBrush(QColor(140, 210, 140));
        p.drawRect(QRectF(2.5, 4.5, 11, 6));
        p.drawLine(QPointF(5, 14.5), QPointF(11, 14.5));
        break;
    case 13: // Russian: the flag
        p.setPen(Qt::NoPen);
        p.fillRect(QRectF(0, 3, 16, 3.5), Qt::white);
        p.fillRect(QRectF(0, 6.5, 16, 3.5), QColor(0, 57, 166));
        p.fillRect(QRectF(0, 10, 16, 3.5), QColor(213, 43, 30));
        p.setPen(QPen(QColor(120, 120, 120), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(0.5, 2.5, 15, 11));
        break;
    case 14: // English: a simplified Union flag
        p.fillRect(QRectF(0, 3, 16, 11), QColor(1, 33, 105));
        p.setPen(QPen(Qt::white, 3));
        p.drawLine(QPointF(0, 3), QPointF(16, 14));
        p.drawLine(QPointF(0, 14), QPointF(16, 3));
        p.setPen(QPen(QColor(200, 16, 46), 1));
        p.drawLine(QPointF(0, 3), QPointF(16, 14));
        p.drawLine(QPointF(0, 14), QPointF(16, 3));
        p.fillRect(QRectF(6, 3, 4, 11), Qt::white);
        p.fillRect(QRectF(0, 6.5, 16, 4), Qt::white);
        p.fillRect(QRectF(7, 3, 2, 11), QColor(200, 16, 46));
        p.fillRect(QRectF(0, 7.5, 16, 2), QColor(200, 16, 46));
        break;
    case ImageCount:     // more commands, to the right: a double chevron
    case ImageCount + 1: // more commands, below
        p.setPen(QPen(Ink, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        if (index == ImageCount + 1) {
            p.translate(16, 0);
            p.rotate(90);
        }
        for (qreal x : {4.5, 8.5}) {
            const QPointF tip[] = {{x, 4.5}, {x + 3.5, 8}, {x, 11.5}};
            p.drawPolyline(tip, 3);
        }
        break;
    default:
        break;
    }
}

// Draws one of the images at the size asked for when it is first painted, so the window comes
// up without drawing images it does not show yet; each size and mode is drawn once.
class DrawnIcon : public QIconEngine {
public:
    DrawnIcon(int index, QList<QSize> sizes) : index_(index), sizes_(std::move(sizes)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap picture = pixmap(rect.size() * scale, mode, state);
        picture.setDevicePixelRatio(scale);
        painter->drawPixmap(rect, picture);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        const QString key = QStringLiteral("vyz-icon-%1-%2x%3-%4")
                                .arg(index_)
                                .arg(size.width())
                                .arg(size.height())
                                .arg(int(mode));
        QPixmap picture;
        if (QPixmapCache::find(key, &picture)) return picture;
        picture = QPixmap(size);
        picture.fill(Qt::transparent);
        {
            QPainter p(&picture);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(size.width() / 16.0, size.height() / 16.0);
            draw(p, index_);
        }
        if (mode != QIcon::Normal) {
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            picture = QApplication::style()->generatedIconPixmap(mode, picture, &option);
        }
        QPixmapCache::insert(key, picture);
        return picture;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return sizes_; }
    QIconEngine* clone() const override { return new DrawnIcon(*this); }

private:
    int index_;
    QList<QSize> sizes_;
};

} // namespace

QIcon ImageList1(int index) {
    return QIcon(new DrawnIcon(index, {QSize(16, 16), QSize(32, 32)}));
}

QIcon MoreCommandsIcon(Qt::Orientation orientation) {
    return QIcon(new DrawnIcon(orientation == Qt::Horizontal ? ImageCount : ImageCount + 1,
                               {QSize(16, 16), QSize(32, 32)}));
}

QIcon ProgramStyle::standardIcon(StandardPixmap which, const QStyleOption* option,
                                 const QWidget* widget) const {
    if (which == SP_ToolBarHorizontalExtensionButton) return MoreCommandsIcon(Qt::Horizontal);
    if (which == SP_ToolBarVerticalExtensionButton) return MoreCommandsIcon(Qt::Vertical);
    return QProxyStyle::standardIcon(which, option, widget);
}

QIcon ProgramIcon() {
    return QIcon(new DrawnIcon(6, {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(64, 64)}));
}

} // namespace vyz
