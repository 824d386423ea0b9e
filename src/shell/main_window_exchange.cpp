// The CSV and map exports of the File menu: the archive's records written for spreadsheets and
// map programs by the same exporters as the converter's, after a file dialog that asks before it
// replaces a file. The CSV choices are asked for and kept in the settings file.
#include "analysis/analysis_settings.h"
#include "data/archive_record.h"
#include "data/lang_texts.h"
#include "data/text_pair.h"
#include "output/measurement_file.h"
#include "output/record_export.h"
#include "platform/message_box.h"
#include "platform/staged_write.h"
#include "platform/text_string.h"
#include "shell/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QMenu>
#include <QStandardPaths>
#include <cstring>
#include <span>

namespace vyz {

namespace {

const TextPair ExportCsvText{"Экспорт в CSV...", "Export to CSV..."};
const TextPair ExportMapText{"Экспорт для карты (GPX, KML, GeoJSON)...",
                             "Export for maps (GPX, KML, GeoJSON)..."};
const TextPair CsvTitle{"Экспорт в CSV", "Export to CSV"};
const TextPair SeparatorLabel{"Разделитель полей:", "Field separator:"};
const TextPair Comma{"запятая", "comma"};
const TextPair Semicolon{"точка с запятой", "semicolon"};
const TextPair Tab{"табуляция", "tab"};
const TextPair DecimalLabel{"Десятичный разделитель:", "Decimal separator:"};
const TextPair Point{"точка", "point"};
const TextPair DatesLabel{"Дата и время:", "Date and time:"};
const TextPair IsoDates{"ISO 8601 (2020-03-03T09:05:07)", "ISO 8601 (2020-03-03T09:05:07)"};
const TextPair TableDates{"как в таблице", "as in the table"};
const TextPair BomText{"Метка порядка байтов (для таблиц, которым она нужна)",
                       "Byte order mark (for spreadsheets that need it)"};
const TextPair CsvFilter{"Файлы CSV (*.csv)", "CSV files (*.csv)"};
const TextPair MapFilter{"GPX 1.1 (*.gpx);;KML 2.2 (*.kml);;GeoJSON (*.geojson)",
                         "GPX 1.1 (*.gpx);;KML 2.2 (*.kml);;GeoJSON (*.geojson)"};
const TextPair EmptyTable{"Таблица пуста: экспортировать нечего",
                          "The table is empty: nothing to export"};
const TextPair NoPosition{"Ни у одной записи нет координат: экспортировать нечего",
                          "No record has a position: nothing to export"};
const TextPair Exported{"Экспортировано записей: %1 в файл \"%2\"",
                        "Exported records: %1 to file \"%2\""};
const TextPair LeftOut{"записей без координат пропущено: %1",
                       "records without a position left out: %1"};
const TextPair CannotWrite{"Не удается записать файл \"%1\": %2",
                           "Unable to write file \"%1\": %2"};
const TextPair WriteErrorCaption{"Ошибка записи на диск", "Error writing to disk"};

std::span<const ArchiveRecord> archive() {
    return {MeasurementArchive, size_t(std::clamp<int>(RecordCount.load(), 0, ArchiveCapacity))};
}

// The folder the export dialogs start in: the one last used, else the documents folder.
QString& lastFolder() {
    static QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return folder;
}

// The CSV choices, starting from the stored ones; false when the operator cancels.
bool askCsvOptions(QWidget* parent, CsvOptions& o) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("frmCsvOptions"));
    dialog.setWindowTitle(Text(CsvTitle));
    auto* form = new QFormLayout(&dialog);
    auto* separator = new QComboBox(&dialog);
    separator->setObjectName(QStringLiteral("cbSeparator"));
    separator->addItem(Text(Comma), QChar(','));
    separator->addItem(Text(Semicolon), QChar(';'));
    separator->addItem(Text(Tab), QChar('\t'));
    separator->setCurrentIndex(separator->findData(QChar(o.separator)));
    auto* decimal = new QComboBox(&dialog);
    decimal->setObjectName(QStringLiteral("cbDecimal"));
    decimal->addItem(Text(Point), QChar('.'));
    decimal->addItem(Text(Comma), QChar(','));
    decimal->setCurrentIndex(decimal->findData(QChar(o.decimal)));
    auto* dates = new QComboBox(&dialog);
    dates->setObjectName(QStringLiteral("cbDates"));
    dates->addItem(Text(IsoDates));
    dates->addItem(Text(TableDates));
    dates->setCurrentIndex(o.tableDates ? 1 : 0);
    auto* bom = new QCheckBox(Text(BomText), &dialog);
    bom->setObjectName(QStringLiteral("chkBom"));
    bom->setChecked(o.byteOrderMark);
    form->addRow(Text(SeparatorLabel), separator);
    form->addRow(Text(DecimalLabel), decimal);
    form->addRow(Text(DatesLabel), dates);
    form->addRow(bom);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return false;
    o.separator = char(separator->currentData().toChar().unicode());
    o.decimal = char(decimal->currentData().toChar().unicode());
    o.tableDates = dates->currentIndex() == 1;
    o.byteOrderMark = bom->isChecked();
    return true;
}

// A save dialog for `filters`; the chosen name (with the suffix of its filter), empty on cancel.
// The dialog itself asks before it accepts the name of an existing file.
QString askTarget(QWidget* parent, const TextPair& title, const QString& filters,
                  const QStringList& suffixes, int* chosenFilter = nullptr) {
    QFileDialog dialog(parent, Text(title), lastFolder(), filters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffixes.first());
    const QStringList names = filters.split(QStringLiteral(";;"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& f) {
        dialog.setDefaultSuffix(suffixes.value(names.indexOf(f), suffixes.first()));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString name = dialog.selectedFiles().constFirst();
    lastFolder() = QFileInfo(name).absolutePath();
    if (chosenFilter) *chosenFilter = std::max<int>(0, names.indexOf(dialog.selectedNameFilter()));
    return name;
}

bool writeFile(TForm1& form, const QString& path, const std::string& content) {
    QString error;
    if (WriteStaged(path, {content.data(), qsizetype(content.size())}, &error)) return true;
    const QString message = Text(CannotWrite).arg(path, error);
    form.SetStatusBarGeneral(message);
    ShowMessageBox(&form, QMessageBox::Warning, Text(WriteErrorCaption), message);
    return false;
}

bool tableIsEmpty(TForm1& form) {
    if (!archive().empty()) return false;
    form.SetStatusBarGeneral(Text(EmptyTable));
    ShowMessageBox(&form, QMessageBox::Information, form.windowTitle(), Text(EmptyTable));
    return true;
}

} // namespace

void TForm1::AddExchangeCommands(QMenu* menu) {
    AExportCsv = new QAction(this);
    AExportCsv->setObjectName(QStringLiteral("AExportCsv"));
    AExportMap = new QAction(this);
    AExportMap->setObjectName(QStringLiteral("AExportMap"));
    connect(AExportCsv, &QAction::triggered, this, &TForm1::AExportCsvExecute);
    connect(AExportMap, &QAction::triggered, this, &TForm1::AExportMapExecute);
    menu->addAction(AExportCsv);
    menu->addAction(AExportMap);
    ExchangeMenuFill();
}

void TForm1::ExchangeMenuFill() {
    AExportCsv->setText(Text(ExportCsvText));
    AExportMap->setText(Text(ExportMapText));
}

void TForm1::AExportCsvExecute() {
    if (ArchiveBusy() || tableIsEmpty(*this)) return;
    CsvOptions options = ReadCsvOptions();
    if (!askCsvOptions(this, options)) return;
    StoreCsvOptions(options);
    const QString path = askTarget(this, ExportCsvText, Text(CsvFilter), {QStringLiteral("csv")});
    if (!path.isEmpty()) ExportCsvTo(path);
}

void TForm1::AExportMapExecute() {
    if (ArchiveBusy() || tableIsEmpty(*this)) return;
    static const MapFormat formats[] = {MapFormat::Gpx, MapFormat::Kml, MapFormat::GeoJson};
    const QStringList suffixes = {QStringLiteral("gpx"), QStringLiteral("kml"),
                                  QStringLiteral("geojson")};
    int filter = 0;
    const QString path = askTarget(this, ExportMapText, Text(MapFilter), suffixes, &filter);
    if (path.isEmpty()) return;
    // A name typed with one of the suffixes decides the format, whatever filter was shown.
    const int bySuffix = suffixes.indexOf(QFileInfo(path).suffix().toLower());
    ExportMapTo(path, formats[bySuffix >= 0 ? bySuffix : filter]);
}

bool TForm1::ExportCsvTo(const QString& path) {
    if (tableIsEmpty(*this)) return false;
    const auto records = archive();
    if (!writeFile(*this, path,
                   CsvText(records, GPSModeFlag.load(), LangIndex.load(), ReadCsvOptions())))
        return false;
    SetStatusBarGeneral(Text(Exported).arg(records.size()).arg(path));
    return true;
}

bool TForm1::ExportMapTo(const QString& path, MapFormat format) {
    if (tableIsEmpty(*this)) return false;
    const MapExport map = MapText(format, archive(), LangIndex.load(), analysis::ReadLimits());
    if (map.written == 0) {
        SetStatusBarGeneral(Text(NoPosition));
        ShowMessageBox(this, QMessageBox::Information, windowTitle(), Text(NoPosition));
        return false;
    }
    if (!writeFile(*this, path, map.text)) return false;
    QString done = Text(Exported).arg(map.written).arg(path);
    if (map.leftOut > 0) done += QStringLiteral("; ") + Text(LeftOut).arg(map.leftOut);
    SetStatusBarGeneral(done);
    return true;
}

} // namespace vyz
