#include "report/report_language.h"

#include <QFile>
#include <QHash>

namespace vyz::report {
namespace {

// The built-in texts: the engine's own, in English.
const QHash<QString, QString>& builtIn() {
    static const QHash<QString, QString> texts = {
        {"Preview", "Preview"},
        {"Print", "Print"},
        {"Open", "Open"},
        {"Save", "Save"},
        {"Export", "Export"},
        {"ZoomIn", "Zoom in"},
        {"ZoomOut", "Zoom out"},
        {"PageWidth", "Page width"},
        {"WholePage", "Whole page"},
        {"Find", "Find"},
        {"FindNext", "Find next"},
        {"FindText", "Text to find:"},
        {"NotFound", "Text not found."},
        {"PageSetup", "Page setup"},
        {"FirstPage", "First page"},
        {"PriorPage", "Previous page"},
        {"NextPage", "Next page"},
        {"LastPage", "Last page"},
        {"Close", "Close"},
        {"PageOf", "Page %1 of %2"},
        {"ExportText", "Plain text"},
        {"ExportXlsx", "Excel workbook"},
        {"ExportPdf", "PDF file"},
        {"ExportHtml", "HTML file"},
        {"ExportRtf", "RTF file"},
        {"ExportOds", "OpenDocument spreadsheet"},
        {"ExportOdt", "OpenDocument text"},
        {"PreparedFiles", "Prepared reports"},
        {"AllFiles", "All files"},
        {"Exporting", "Exporting..."},
        {"Printing", "Printing..."},
        {"Cancel", "Cancel"},
        {"ExportFailed", "The report could not be exported to %1:\n%2"},
        {"SaveFailed", "The report could not be saved to %1:\n%2"},
        {"OpenFailed", "The file %1 could not be opened as a prepared report:\n%2"},
        {"PrintFailed", "The report could not be printed."},
    };
    return texts;
}

QHash<QString, QString>& current() {
    static QHash<QString, QString> texts = builtIn();
    return texts;
}

} // namespace

void LoadLanguageFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    QHash<QString, QString> texts = current();
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        if (!builtIn().contains(key)) continue;
        QString text = line.mid(eq + 1).trimmed();
        text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
        texts.insert(key, text);
    }
    current() = std::move(texts);
}

QString Tr(const char* key) {
    const QString k = QString::fromLatin1(key);
    const auto it = current().constFind(k);
    return it != current().constEnd() ? *it : k;
}

void ResetLanguage() {
    current() = builtIn();
}

} // namespace vyz::report
