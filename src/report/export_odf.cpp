// OpenDocument spreadsheet (.ods) and text (.odt), written as the zip container of the format
// through libzip. Both keep the report's pages, rows and columns: the spreadsheet as one table
// with a page break where each page starts, the text document as one table per page; column
// widths, row heights, fonts, alignment and frames as on paper, page size, orientation and
// margins of the report.
#include "report/export_support.h"

#include <QFile>
#include <QHash>
#include <list>
#include <zip.h>

namespace vyz::report {
namespace {

constexpr char NsDecl[] =
    " xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
    " xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\""
    " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
    " xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\""
    " xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\""
    " xmlns:meta=\"urn:oasis:names:tc:opendocument:xmlns:meta:1.0\""
    " xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
    " office:version=\"1.2\"";

// Text of a paragraph: runs of blanks and leading blanks kept (XML would fold them).
QString odfText(const QString& text) {
    QString out;
    int blanks = 0;
    auto flush = [&] {
        if (blanks == 0) return;
        const bool leading = out.isEmpty();
        const int literal = leading ? 0 : 1;
        if (literal) out += QLatin1Char(' ');
        if (blanks - literal > 0)
            out += blanks - literal == 1
                       ? QStringLiteral("<text:s/>")
                       : QStringLiteral("<text:s text:c=\"%1\"/>").arg(blanks - literal);
        blanks = 0;
    };
    for (const QChar ch : text) {
        if (ch == QLatin1Char(' ')) {
            ++blanks;
            continue;
        }
        flush();
        if (ch == QLatin1Char('\n'))
            out += QStringLiteral("<text:line-break/>");
        else
            out += detail::XmlEscape(QString(ch));
    }
    if (blanks) {
        // Trailing blanks: all as text:s so none is dropped.
        out += blanks == 1 ? QStringLiteral("<text:s/>")
                           : QStringLiteral("<text:s text:c=\"%1\"/>").arg(blanks);
    }
    return out;
}

QString textProperties(const TextStyle& s) {
    return QStringLiteral("<style:text-properties style:font-name=\"%1\" fo:font-family=\"'%1'\""
                          " fo:font-size=\"%2pt\" fo:font-weight=\"%3\" fo:color=\"%4\"/>")
        .arg(detail::XmlEscape(s.family))
        .arg(s.pointSize)
        .arg(s.bold ? QStringLiteral("bold") : QStringLiteral("normal"))
        .arg(s.color.name());
}

QString textAlign(const TextStyle& s) {
    return (s.align & Qt::AlignHCenter) ? QStringLiteral("center")
           : (s.align & Qt::AlignRight) ? QStringLiteral("end")
                                        : QStringLiteral("start");
}

QString cellProperties(const TextStyle& s) {
    return QStringLiteral(
               "<style:table-cell-properties fo:border=\"%1\" style:vertical-align=\"%2\""
               " fo:padding=\"0.5mm\" fo:wrap-option=\"%3\"/>")
        .arg(s.frame ? QStringLiteral("0.26pt solid #000000") : QStringLiteral("none"))
        .arg((s.align & Qt::AlignVCenter) ? QStringLiteral("middle") : QStringLiteral("top"))
        .arg(s.wordWrap ? QStringLiteral("wrap") : QStringLiteral("no-wrap"));
}

QString styleKey(const TextStyle& s) {
    return s.family + QLatin1Char('|') + QString::number(s.pointSize) + QLatin1Char('|') +
           QString::number(int(s.bold)) + QString::number(int(s.frame)) +
           QString::number(int(s.align)) + QString::number(int(s.wordWrap)) + s.color.name();
}

// Named automatic styles, created as they are first needed.
class StyleSet {
public:
    QString Name(const QString& prefix, const QString& key, const QString& xmlBody) {
        const QString full = prefix + QLatin1Char('#') + key;
        if (auto it = names_.find(full); it != names_.end()) return *it;
        const QString name = prefix + QString::number(names_.size());
        names_.insert(full, name);
        xml_ += xmlBody.arg(name);
        return name;
    }
    const QString& Xml() const { return xml_; }

private:
    QHash<QString, QString> names_;
    QString xml_;
};

QString stylesXml(const PageSettings& p) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-styles") +
           QLatin1String(NsDecl) +
           QStringLiteral(
               "><office:automatic-styles><style:page-layout style:name=\"pm1\">"
               "<style:page-layout-properties fo:page-width=\"%1\" fo:page-height=\"%2\""
               " style:print-orientation=\"%3\" fo:margin-left=\"%4\" fo:margin-top=\"%5\""
               " fo:margin-right=\"%6\" fo:margin-bottom=\"%7\"/></style:page-layout>"
               "</office:automatic-styles><office:master-styles>"
               "<style:master-page style:name=\"Default\" style:page-layout-name=\"pm1\"/>"
               "</office:master-styles></office:document-styles>\n")
               .arg(detail::Mm(p.paperMm.width()), detail::Mm(p.paperMm.height()),
                    p.orientation == QPageLayout::Landscape ? QStringLiteral("landscape")
                                                            : QStringLiteral("portrait"),
                    detail::Mm(p.marginsMm.left()), detail::Mm(p.marginsMm.top()),
                    detail::Mm(p.marginsMm.right()), detail::Mm(p.marginsMm.bottom()));
}

QString metaXml() {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-meta") +
           QLatin1String(NsDecl) +
           QStringLiteral("><office:meta><meta:generator>VYZ report engine</meta:generator>"
                          "<dc:language>en</dc:language></office:meta></office:document-meta>\n");
}

QString manifestXml(const QString& mime) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest:manifest"
                          " xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\""
                          " manifest:version=\"1.2\">\n"
                          " <manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\""
                          " manifest:media-type=\"%1\"/>\n"
                          " <manifest:file-entry manifest:full-path=\"content.xml\""
                          " manifest:media-type=\"text/xml\"/>\n"
                          " <manifest:file-entry manifest:full-path=\"styles.xml\""
                          " manifest:media-type=\"text/xml\"/>\n"
                          " <manifest:file-entry manifest:full-path=\"meta.xml\""
                          " manifest:media-type=\"text/xml\"/>\n</manifest:manifest>\n")
        .arg(mime);
}

// Writes the container: "mimetype" first and stored, then the parts.
ExportResult writeOdf(const QString& path, const QString& mime, const QString& content,
                      const QString& styles) {
    detail::StagedTarget target(path);
    if (!target.ok()) return detail::Failed(target.error());
    int zipError = 0;
    zip_t* zip = zip_open(QFile::encodeName(target.path()).constData(), ZIP_CREATE | ZIP_TRUNCATE,
                          &zipError);
    if (!zip) {
        zip_error_t e;
        zip_error_init_with_code(&e, zipError);
        const QString text = QString::fromUtf8(zip_error_strerror(&e));
        zip_error_fini(&e);
        return detail::Failed(text);
    }
    std::list<QByteArray> buffers; // must live until zip_close
    const std::pair<const char*, QString> parts[] = {{"mimetype", mime},
                                                     {"content.xml", content},
                                                     {"styles.xml", styles},
                                                     {"meta.xml", metaXml()},
                                                     {"META-INF/manifest.xml", manifestXml(mime)}};
    for (const auto& [name, text] : parts) {
        const QByteArray& bytes = buffers.emplace_back(text.toUtf8());
        zip_source_t* source = zip_source_buffer(zip, bytes.constData(), bytes.size(), 0);
        const zip_int64_t index =
            source ? zip_file_add(zip, name, source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) : -1;
        if (index < 0) {
            if (source) zip_source_free(source);
            const QString reason = QString::fromUtf8(zip_strerror(zip));
            zip_discard(zip);
            return detail::Failed(reason);
        }
        if (qstrcmp(name, "mimetype") == 0) zip_set_file_compression(zip, index, ZIP_CM_STORE, 0);
    }
    if (zip_close(zip) != 0) {
        const QString text = QString::fromUtf8(zip_strerror(zip));
        zip_discard(zip);
        return detail::Failed(text);
    }
    QString error;
    if (!target.Commit(&error)) return detail::Failed(error);
    return {};
}

QString contentHead(const QString& automaticStyles) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content") +
           QLatin1String(NsDecl) + QStringLiteral("><office:automatic-styles>") + automaticStyles +
           QStringLiteral("</office:automatic-styles><office:body>");
}

// The cells of one row; `cellStyle` names the style of a cell, `paragraph` wraps its text.
template <class CellStyle, class Paragraph>
QString rowCells(const GridRow& row, int columns, CellStyle cellStyle, Paragraph paragraph) {
    QString out;
    int column = 0;
    for (const GridCell& cell : row.cells) {
        for (; column < cell.column; ++column)
            out += QStringLiteral("<table:table-cell/>");
        out +=
            QStringLiteral("<table:table-cell table:style-name=\"%1\" office:value-type=\"string\"")
                .arg(cellStyle(cell.object->style));
        if (cell.span > 1)
            out += QStringLiteral(" table:number-columns-spanned=\"%1\"").arg(cell.span);
        out += QLatin1Char('>') + paragraph(*cell.object) + QStringLiteral("</table:table-cell>");
        for (int i = 1; i < cell.span; ++i)
            out += QStringLiteral("<table:covered-table-cell/>");
        column = cell.column + cell.span;
    }
    for (; column < columns; ++column)
        out += QStringLiteral("<table:table-cell/>");
    return out;
}

QString columnsXml(const ReportGrid& grid, StyleSet& styles) {
    QString out;
    for (double w : grid.columnWidthsMm)
        out += QStringLiteral("<table:table-column table:style-name=\"%1\"/>")
                   .arg(styles.Name(QStringLiteral("co"), detail::Mm(w),
                                    QStringLiteral("<style:style style:name=\"%1\" "
                                                   "style:family=\"table-column\"><style:table-"
                                                   "column-properties style:column-width=\"") +
                                        detail::Mm(w) + QStringLiteral("\"/></style:style>")));
    return out;
}

QString rowStyle(StyleSet& styles, double heightMm, bool pageBreak) {
    const QString h = detail::Mm(heightMm);
    return styles.Name(QStringLiteral("ro"), h + (pageBreak ? QStringLiteral("b") : QString()),
                       QStringLiteral("<style:style style:name=\"%1\" style:family=\"table-row\">"
                                      "<style:table-row-properties style:row-height=\"") +
                           h + QStringLiteral("\" style:use-optimal-row-height=\"false\"") +
                           (pageBreak ? QStringLiteral(" fo:break-before=\"page\"") : QString()) +
                           QStringLiteral("/></style:style>"));
}

} // namespace

ExportResult ExportOds(const PreparedReport& report, const QString& path, Progress* progress) {
    const ReportGrid grid = BuildGrid(report);
    StyleSet styles;
    styles.Name(QStringLiteral("ta"), {},
                QStringLiteral("<style:style style:name=\"%1\" style:family=\"table\""
                               " style:master-page-name=\"Default\"><style:table-properties"
                               " table:display=\"true\"/></style:style>"));
    auto cellStyle = [&](const TextStyle& s) {
        return styles.Name(QStringLiteral("ce"), styleKey(s),
                           QStringLiteral("<style:style style:name=\"%1\" style:family=\"table-"
                                          "cell\">") +
                               cellProperties(s) +
                               QStringLiteral("<style:paragraph-properties fo:text-align=\"") +
                               textAlign(s) + QStringLiteral("\"/>") + textProperties(s) +
                               QStringLiteral("</style:style>"));
    };
    auto paragraph = [](const PreparedObject& o) {
        return QStringLiteral("<text:p>") + odfText(o.text) + QStringLiteral("</text:p>");
    };
    QString body = QStringLiteral("<office:spreadsheet><table:table table:name=\"Report\""
                                  " table:style-name=\"ta0\">") +
                   columnsXml(grid, styles);
    const int columns = int(grid.columnWidthsMm.size());
    detail::PageSteps steps(progress, grid.pageCount);
    int page = -1;
    for (const GridRow& row : grid.rows) {
        if (!steps.AtRow(row)) return detail::Cancelled();
        const bool pageBreak = page >= 0 && row.page != page;
        page = row.page;
        body += QStringLiteral("<table:table-row table:style-name=\"%1\">")
                    .arg(rowStyle(styles, row.heightMm, pageBreak)) +
                rowCells(row, columns, cellStyle, paragraph) +
                QStringLiteral("</table:table-row>\n");
    }
    body += QStringLiteral("</table:table></office:spreadsheet></office:body>"
                           "</office:document-content>\n");
    return writeOdf(path, QStringLiteral("application/vnd.oasis.opendocument.spreadsheet"),
                    contentHead(styles.Xml()) + body, stylesXml(grid.page));
}

ExportResult ExportOdt(const PreparedReport& report, const QString& path, Progress* progress) {
    const ReportGrid grid = BuildGrid(report);
    StyleSet styles;
    double total = 0;
    for (double w : grid.columnWidthsMm)
        total += w;
    auto tableStyle = [&](bool pageBreak) {
        return styles.Name(
            QStringLiteral("ta"), pageBreak ? QStringLiteral("b") : QString(),
            QStringLiteral("<style:style style:name=\"%1\" style:family=\"table\">"
                           "<style:table-properties style:width=\"") +
                detail::Mm(total) + QStringLiteral("\" table:align=\"left\"") +
                (pageBreak ? QStringLiteral(" fo:break-before=\"page\"") : QString()) +
                QStringLiteral("/></style:style>"));
    };
    auto cellStyle = [&](const TextStyle& s) {
        return styles.Name(QStringLiteral("ce"), styleKey(s),
                           QStringLiteral("<style:style style:name=\"%1\" style:family=\"table-"
                                          "cell\">") +
                               cellProperties(s) + QStringLiteral("</style:style>"));
    };
    auto paragraph = [&](const PreparedObject& o) {
        const QString name =
            styles.Name(QStringLiteral("P"), styleKey(o.style),
                        QStringLiteral("<style:style style:name=\"%1\" style:family=\"paragraph\">"
                                       "<style:paragraph-properties fo:text-align=\"") +
                            textAlign(o.style) +
                            QStringLiteral("\" fo:margin-top=\"0mm\" fo:margin-bottom=\"0mm\"/>") +
                            textProperties(o.style) + QStringLiteral("</style:style>"));
        return QStringLiteral("<text:p text:style-name=\"%1\">").arg(name) + odfText(o.text) +
               QStringLiteral("</text:p>");
    };
    const int columns = int(grid.columnWidthsMm.size());
    QString body = QStringLiteral("<office:text>");
    detail::PageSteps steps(progress, grid.pageCount);
    int page = -1;
    for (const GridRow& row : grid.rows) {
        if (!steps.AtRow(row)) return detail::Cancelled();
        if (row.page != page) {
            if (page >= 0) body += QStringLiteral("</table:table>\n");
            body += QStringLiteral("<table:table table:name=\"Page%1\" table:style-name=\"%2\">")
                        .arg(row.page + 1)
                        .arg(tableStyle(page >= 0)) +
                    columnsXml(grid, styles);
            page = row.page;
        }
        body += QStringLiteral("<table:table-row table:style-name=\"%1\">")
                    .arg(rowStyle(styles, row.heightMm, false)) +
                rowCells(row, columns, cellStyle, paragraph) +
                QStringLiteral("</table:table-row>\n");
    }
    if (page >= 0) body += QStringLiteral("</table:table>\n");
    body += QStringLiteral("</office:text></office:body></office:document-content>\n");
    return writeOdf(path, QStringLiteral("application/vnd.oasis.opendocument.text"),
                    contentHead(styles.Xml()) + body, stylesXml(grid.page));
}

} // namespace vyz::report
