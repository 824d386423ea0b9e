// The Open and Save commands: measurement files in and out of the archive.
#include "data/archive_record.h"
#include "data/text_pair.h"
#include "output/measurement_file.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/text_string.h"
#include "shell/dialog_folder.h"
#include "shell/main_window.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace vyz {

namespace {

const TextPair OpenTitle{"Открыть файл...", "File Open..."};
const TextPair SaveTitle{"Сохранить файл...", "File Save..."};
// "*.*" would hide names without a dot here; "*" is every file.
const TextPair FileFilter{"Файлы VYZ-1 (*.vyz);;Все файлы (*)",
                          "VYZ-1 files (*.vyz);;All files (*)"};
const TextPair OpenErrorStatus{"Ошибка открытия файла ", "Error opening file "};
const TextPair OpenErrorText{"Не могу открыть файл ", "Can not open file "};
const TextPair OpenErrorCaption{"Ошибка чтения файла", "Error reading file"};
const TextPair ReadingFrom{"Чтение из файла ", "Read from file "};
const TextPair RecordsRead{"Считано с диска записей: ", "Readed records from disk: "};
const TextPair FileExists{"Файл существует. Перезаписать?", "File exists. Overwrite?"};
const TextPair CreateFailed{"Не удается создать файл. Возможно, нет места на диске",
                            "Can not create file. Perhaps there is no room on the disk"};
const TextPair WriteFailed{"Не удается записать файл. Возможно, нет места на диске",
                           "Unable to write file. Perhaps there is no room on the disk"};
const TextPair WriteErrorCaption{"Ошибка записи на диск", "Error writing to disk"};
const TextPair RecordsSaved{"Сохранено на диск записей: ", "Saved to disk records: "};
// A read-out replaced the archive while the command waited in its dialog.
const TextPair NotSavedArchiveChanged{
    "Пока было открыто окно сохранения, архив был заново считан из прибора. Файл не сохранён: "
    "сохраните новый архив ещё раз",
    "The archive was read again from the instrument while the save dialog was open. The file was "
    "not saved: save the new archive again"};
const TextPair NotOpenedArchiveChanged{
    "Пока было открыто окно открытия файла, архив был заново считан из прибора. Файл не открыт, "
    "чтобы не заменить новые данные незаметно: откройте его ещё раз",
    "The archive was read again from the instrument while the open dialog was open. The file was "
    "not opened, so that the new data are not replaced unseen: open it again"};

QString quoted(const QString& name) {
    return QLatin1Char('"') + name + QLatin1Char('"');
}

void setUpDialog(QFileDialog& dialog, const TextPair& title) {
    dialog.setWindowTitle(Text(title));
    dialog.setNameFilter(Text(FileFilter));
    dialog.setDirectory(FileDialogFolder());
    QObject::connect(&dialog, &QFileDialog::fileSelected, &RememberFileDialogFolder);
}

// Told when a read-out replaced the archive while the command waited for the operator.
void archiveChanged(TForm1& form, const TextPair& message) {
    form.SetStatusBarGeneral(Text(message));
    ShowMessageBox(&form, QMessageBox::Warning, form.windowTitle(), Text(message), QMessageBox::Ok,
                   QMessageBox::Ok);
}

// Reads the file at `name` into the archive and the table. False, with the archive, the layout and
// the table untouched, when the file cannot be opened or read. The records are prepared aside
// and committed only if no read-out replaced the archive since `generation`.
bool readIntoArchive(TForm1& form, const QString& name, uint64_t generation) {
    // The whole file (at most a marker and a full archive) is read before anything is replaced.
    std::vector<uint8_t> bytes;
    if (ReadMeasurementFileBytes(QFile::encodeName(name).toStdString(), bytes) != 0) return false;

    static ArchiveRecord records[ArchiveCapacity];
    const FileLayout layout = DetectLayout(bytes);
    const QString counter = Text(RecordsRead);
    const int count =
        ReadRecords(bytes, layout, StagingRecord, records, ArchiveCapacity, [&](int stored) {
            // The running count goes to the status line only, not into the history.
            form.SetStatusBarPlain(counter + QString::number(stored));
        });
    if (form.ArchiveGeneration() != generation) {
        archiveChanged(form, NotOpenedArchiveChanged);
        return true;
    }
    // The status lines come once the table is cleared: a full table would be laid out again at
    // each of their looks at the window's events.
    form.CommitArchive(records, count, layout.coordinates, {ArchiveSource::File, name}, [&] {
        form.SetStatusBarGeneral(Text(ReadingFrom) + quoted(name));
        form.SetStatusBarGeneral(counter + QString::number(count));
    });
    return true;
}

// The open failure: status line and the Retry/Cancel question. True for Retry.
bool retryOpen(TForm1& form, const QString& name) {
    form.SetStatusBarGeneral(Text(OpenErrorStatus) + quoted(name));
    return ShowMessageBox(&form, QMessageBox::Warning, Text(OpenErrorCaption),
                          Text(OpenErrorText) + quoted(name),
                          QMessageBox::Retry | QMessageBox::Cancel,
                          QMessageBox::Retry) == QMessageBox::Retry;
}

// The write failure: status line and the Abort/Retry/Ignore question. True for Retry.
bool retryWrite(TForm1& form) {
    form.SetStatusBarGeneral(Text(WriteFailed));
    return ShowMessageBox(&form, QMessageBox::Warning, Text(WriteErrorCaption), Text(WriteFailed),
                          QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
                          QMessageBox::Retry) == QMessageBox::Retry;
}

// Writes the archive into `file` and puts it in place. The content is taken once and goes out in
// one write (the marker included), so a full disk asks once, not once per record. Retry writes
// the whole file again; Abort and Ignore end the command. An existing file is replaced only when
// every byte was written, so it is never lost to a failed save, and a failed save never reports
// success.
void writeArchive(TForm1& form, StagedFile& file) {
    const int count = RecordCount;
    const std::vector<uint8_t> content = SerializeArchive(MeasurementArchive, count, GPSModeFlag);
    while (!file.Write(content) || !file.Commit()) {
        if (!retryWrite(form)) return;
        file.Discard();
    }
    form.SetStatusBarGeneral(Text(RecordsSaved) + QString::number(count));
}

} // namespace

void TForm1::AOpenExecute() {
    const uint64_t generation = ArchiveGeneration();
    QFileDialog dialog(this);
    setUpDialog(dialog, OpenTitle);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        const QString name = dialog.selectedFiles().constFirst();
        if (readIntoArchive(*this, name, generation) || !retryOpen(*this, name)) return;
    }
}

void TForm1::OpenMeasurementFile(const QString& path) {
    // The file the operator opened wins over the read a start on USB asked for.
    if (usbRead_.active) EndUsbRead(QString());
    while (!readIntoArchive(*this, path, ArchiveGeneration()) && retryOpen(*this, path)) {
    }
}

void TForm1::ASaveExecute() {
    if (RecordCount == 0) return;
    const uint64_t generation = ArchiveGeneration();
    QFileDialog dialog(this);
    setUpDialog(dialog, SaveTitle);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(FileDialogFolder() + QStringLiteral("/Default.Vyz"));
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
        const QString name = QFile::decodeName(
            WithVyzExtension(QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString())
                .c_str());
        dialog.selectFile(name);
        const QFileInfo info(name);
        if (info.exists() || info.isSymLink()) {
            SetStatusBarGeneral(Text(FileExists));
            const auto answer = ShowMessageBox(
                this, QMessageBox::Question, windowTitle(), Text(FileExists),
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
            if (answer == QMessageBox::No) continue;
            if (answer != QMessageBox::Yes) return;
        }
        StagedFile file(QFile::encodeName(name).toStdString());
        if (!file.Create()) {
            SetStatusBarGeneral(Text(CreateFailed));
            const auto answer = ShowMessageBox(
                this, QMessageBox::Warning, Text(WriteErrorCaption), Text(CreateFailed),
                QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Retry);
            if (answer == QMessageBox::Retry) continue;
            if (answer != QMessageBox::Ignore) return;
            // Ignore: the writes try to create the file again and report their own failure.
        }
        // The file must hold the archive the operator chose to save, whole.
        if (ArchiveGeneration() != generation) return archiveChanged(*this, NotSavedArchiveChanged);
        writeArchive(*this, file);
        return;
    }
}

} // namespace vyz
