// The measurement history's side of the main window: the history opens at start-up, every
// committed read-out and opened file is stored after it has reached the table (a failure there
// is shown and never keeps the records from the table), and the history window loads records
// back through the same commit.
#include "data/archive_record.h"
#include "data/instrument_bytes.h"
#include "data/lang_texts.h"
#include "history/history_service.h"
#include "history/history_texts.h"
#include "history/history_window.h"
#include "link/serial_readout.h"
#include "link/usb_shared.h"
#include "platform/message_box.h"
#include "platform/text_string.h"
#include "shell/main_window.h"

#include <QDateTime>
#include <QMenu>
#include <QPointer>
#include <QUuid>
#include <cstring>

namespace vyz {
namespace {

QPointer<history::HistoryWindow> HistoryForm;

} // namespace

void TForm1::StartHistory() {
    if (history::Service()) return;
    AHistory = new QAction(this);
    AHistory->setObjectName(QStringLiteral("AHistory"));
    connect(AHistory, &QAction::triggered, this, &TForm1::AHistoryExecute);
    // After Open and Save, in their group.
    const QList<QAction*> items = itmFile->actions();
    const qsizetype save = items.indexOf(ASave);
    itmFile->insertAction(save >= 0 && save + 1 < items.size() ? items[save + 1] : nullptr,
                          AHistory);
    HistoryMenuFill();

    auto* service = new history::HistoryService;
    service->setParent(this);
    history::SetService(service);
    QString message;
    service->Open(history::DefaultDatabasePath(), &message);
    if (!message.isEmpty()) {
        SetStatusBarGeneral(message);
        ShowMessageBox(this, QMessageBox::Warning, Text(LangTexts[0]), message);
    }
}

void TForm1::HistoryMenuFill() {
    if (AHistory) AHistory->setText(Text(history::HistoryCommandText));
    if (HistoryForm) HistoryForm->Retranslate();
}

void TForm1::AHistoryExecute() {
    history::HistoryService* service = history::Service();
    if (!service) return;
    if (!HistoryForm) {
        auto load = [this](const std::vector<ArchiveRecord>& records, bool coordinates) {
            if (ArchiveBusy() || ReadBusy || UsbReadRunning()) return false;
            CommitArchive(records.data(), int(records.size()), coordinates);
            return true;
        };
        HistoryForm = new history::HistoryWindow(
            *service, load, [this](const QString& t) { SetStatusBarGeneral(t); }, this);
    }
    HistoryForm->show();
    HistoryForm->raise();
    HistoryForm->activateWindow();
}

void TForm1::StoreInHistory(const ArchiveSource& source) {
    history::HistoryService* service = history::Service();
    const int count = std::clamp<int>(RecordCount.load(), 0, ArchiveCapacity);
    if (source.kind == ArchiveSource::Other || count == 0 || !service || !service->IsOpen()) return;
    history::Readout readout;
    readout.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    readout.takenAt = QDateTime::currentDateTimeUtc();
    readout.kind = source.kind == ArchiveSource::Usb      ? history::SourceKind::Usb
                   : source.kind == ArchiveSource::Serial ? history::SourceKind::Serial
                                                          : history::SourceKind::File;
    readout.source = source.where;
    if (source.kind != ArchiveSource::File) {
        char id[sizeof DeviceIdText + 1] = {};
        std::memcpy(id, DeviceIdText, sizeof DeviceIdText);
        readout.instrument = QString::fromStdString(Cp1251ToUtf8(id)).trimmed();
    }
    readout.coordinates = GPSModeFlag.load();
    readout.records.assign(MeasurementArchive, MeasurementArchive + count);
    if (!service->Store(readout))
        SetStatusBarGeneral(Text(history::StoreFailedText).arg(service->Error()));
}

} // namespace vyz
