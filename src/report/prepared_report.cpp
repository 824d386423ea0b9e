#include "report/prepared_report.h"

#include "platform/staged_write.h"

#include <QDataStream>
#include <QFile>

namespace vyz::report {
namespace {

// "VYZ prepared report". Any later change of the stream bumps the version; version 2 adds a
// picture to every object, and version 1 files (without) are still read.
constexpr quint32 Magic = 0x56595a50; // "VYZP"
constexpr quint32 Version = 2;
constexpr int MaxPages = 100000;
constexpr int MaxItems = 1000000;

void write(QDataStream& s, const TextStyle& t) {
    s << t.family << t.pointSize << t.bold << t.color << quint32(t.align) << t.frame << t.wordWrap;
}

void read(QDataStream& s, TextStyle& t) {
    quint32 align = 0;
    s >> t.family >> t.pointSize >> t.bold >> t.color >> align >> t.frame >> t.wordWrap;
    t.align = Qt::Alignment(int(align));
}

void write(QDataStream& s, const PageSettings& p) {
    s << p.paperMm << quint8(p.orientation) << p.marginsMm;
}

void read(QDataStream& s, PageSettings& p) {
    quint8 o = 0;
    s >> p.paperMm >> o >> p.marginsMm;
    p.orientation = o ? QPageLayout::Landscape : QPageLayout::Portrait;
}

bool readCount(QDataStream& s, qint32& n, int max) {
    s >> n;
    return s.status() == QDataStream::Ok && n >= 0 && n <= max;
}

// The lines of an object with their widths, written with our own bounded count (Qt's container
// streaming would reserve whatever count a damaged file claims).
void writeLines(QDataStream& s, const PreparedObject& o) {
    s << qint32(o.lines.size());
    for (int i = 0; i < o.lines.size(); ++i)
        s << o.lines[i] << o.lineWidthsMm.value(i);
}

bool readLines(QDataStream& s, PreparedObject& o) {
    qint32 n = 0;
    if (!readCount(s, n, MaxItems)) return false;
    for (qint32 i = 0; i < n && s.status() == QDataStream::Ok; ++i) {
        QString line;
        double width = 0;
        s >> line >> width;
        o.lines.append(line);
        o.lineWidthsMm.append(width);
    }
    return s.status() == QDataStream::Ok;
}

} // namespace

bool PreparedReport::SaveToFile(const QString& path, QString* error) const {
    QByteArray bytes;
    QDataStream s(&bytes, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_6_4);
    s << Magic << Version << qint32(pages.size());
    for (const PreparedPage& page : pages) {
        write(s, page.page);
        s << qint32(page.bands.size());
        for (const PreparedBand& band : page.bands) {
            s << quint8(band.kind) << band.topMm << band.heightMm << qint32(band.objects.size());
            for (const PreparedObject& o : band.objects) {
                s << o.rectMm << o.text;
                writeLines(s, o);
                write(s, o.style);
                s << o.picture;
            }
        }
    }
    if (s.status() != QDataStream::Ok) {
        if (error) *error = QStringLiteral("the report could not be encoded");
        return false;
    }
    return WriteStaged(path, bytes, error);
}

bool PreparedReport::LoadFromFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    QDataStream s(&file);
    s.setVersion(QDataStream::Qt_6_4);
    quint32 magic = 0, version = 0;
    s >> magic >> version;
    auto bad = [error] {
        if (error) *error = QStringLiteral("not a prepared report");
        return false;
    };
    if (s.status() != QDataStream::Ok || magic != Magic || version < 1 || version > Version)
        return bad();
    QVector<PreparedPage> loaded;
    qint32 pageCount = 0;
    if (!readCount(s, pageCount, MaxPages)) return bad();
    for (qint32 p = 0; p < pageCount && s.status() == QDataStream::Ok; ++p) {
        PreparedPage page;
        read(s, page.page);
        qint32 bandCount = 0;
        if (!readCount(s, bandCount, MaxItems)) return bad();
        for (qint32 b = 0; b < bandCount && s.status() == QDataStream::Ok; ++b) {
            PreparedBand band;
            quint8 kind = 0;
            qint32 objectCount = 0;
            s >> kind >> band.topMm >> band.heightMm;
            if (kind > quint8(BandKind::PageFooter) || !readCount(s, objectCount, MaxItems))
                return bad();
            band.kind = BandKind(kind);
            for (qint32 i = 0; i < objectCount && s.status() == QDataStream::Ok; ++i) {
                PreparedObject o;
                s >> o.rectMm >> o.text;
                if (!readLines(s, o)) return bad();
                read(s, o.style);
                if (version >= 2) s >> o.picture;
                band.objects.append(std::move(o));
            }
            page.bands.append(std::move(band));
        }
        loaded.append(std::move(page));
    }
    if (s.status() != QDataStream::Ok || !s.atEnd()) return bad();
    pages = std::move(loaded);
    return true;
}

} // namespace vyz::report
