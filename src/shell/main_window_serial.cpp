// The read command, the port menu and the serial link of the main window.
#include "shell/main_window.h"

#include "data/archive_record.h"
#include "data/instrument_bytes.h"
#include "data/text_pair.h"
#include "link/serial_line_check.h"
#include "link/serial_ports.h"
#include "link/serial_readout.h"
#include "link/usb_shared.h"
#include "platform/ini_file.h"
#include "platform/message_box.h"
#include "platform/text_string.h"

#include <QApplication>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace vyz {

namespace {

const TextPair kReading{"Чтение данных из прибора", "Data read from instrument"};
const TextPair kNoRecords{"Прибор не содержит записей", "The instrument does not contain records"};
const TextPair kRecordsRead{"Считано из прибора записей: ", "Read from the instrument records: "};
const TextPair kPortError{"Ошибка COM-порта. Порт не работает или занят другой программой",
                          "Error COM-port. The port is failure or occupied by another program"};
const TextPair kPortErrorBox{
    "Ошибка COM-порта. Порт не работает или занят другой программой.\nПроверьте настройку "
    "параметров\nили закройте программу, использующую выбранный COM-порт.",
    "Error COM-port. The port is failure or occupied by another program\nCheck the settings, or "
    "close the program that uses the chosen COM-port"};
const TextPair kWriteFailed{"Ошибка записи команды в COM-порт",
                            "Failed to write commands COM-port"};
const TextPair kStopped{"Чтение данных остановлено, таблица не изменена",
                        "Data read stopped, the table is unchanged"};
const TextPair kPortLost{
    "Связь с COM-портом (%1) потеряна: адаптер отключен. Чтение прервано, "
    "таблица и архив не изменены. Подключите адаптер и выберите порт заново",
    "The COM-port (%1) was lost: the adapter was disconnected. The read-out "
    "ended, the table and the archive are unchanged. Reconnect the adapter and "
    "choose the port again"};
const TextPair kStopCommand{"Остановить чтение", "Stop reading"};
const TextPair kTooMany{"Прибор содержит записей: %1. Программа вмещает не более %2, считаны "
                        "первые %2 записей, остальные не считаны",
                        "The instrument holds %1 records. The program holds at most %2: the first "
                        "%2 records were read, the others were not"};

const TextPair kNoPortStatus{
    "Выбранный COM-порт (%1) не существует. Связь с прибором невозможна",
    "The selected COM-port (%1) does not exist. Communication with the instrument is not possible"};
const TextPair kNoPortAsk{"Выбранный COM-порт (%1) не существует.\nСвязь с прибором "
                          "невозможна.\nПродолжить выполнение?",
                          "The selected COM-port (%1) does not exist.\nCommunication with the "
                          "instrument is not possible.\nContinue running?"};
const TextPair kBusyStatus{"Выбранный COM-порт (%1) открыт другой программой. Связь с прибором "
                           "невозможна",
                           "The selected COM-port (%1) is opened by another program. "
                           "Communication with the instrument is not possible"};
const TextPair kBusyAsk{"Выбранный COM-порт (%1) открыт другой программой. \nСвязь с прибором "
                        "невозможна.\nПродолжить выполнение?",
                        "The selected COM-port (%1) is opened by another program.\nCommunication "
                        "with the instrument is not possible.\nContinue running?"};
// Linux: the port exists but the user may not open it.
const TextPair kNoAccessStatus{
    "Нет доступа к COM-порту (%1): пользователь не входит в группу dialout. Связь с прибором "
    "невозможна",
    "No access to the COM-port (%1): your user is not in the dialout group. Communication with "
    "the instrument is not possible"};
const TextPair kNoAccessAsk{
    "Нет доступа к COM-порту (%1).\nДобавьте пользователя в группу dialout командой\n"
    "sudo adduser $USER dialout\nи войдите в систему заново.\nПродолжить выполнение?",
    "No access to the COM-port (%1).\nAdd your user to the dialout group with\n"
    "sudo adduser $USER dialout\nthen log out and in again.\nContinue running?"};
const TextPair kAbsentStatus{"Прибор не подключен к выбранному COM-порту (%1). Связь с прибором "
                             "невозможна",
                             "The instrument is not connected to the selected COM-port (%1). "
                             "Communication with the instrument is not possible"};
const TextPair kAbsentAsk{"Прибор не подключен к выбранному COM-порту (%1).\nСвязь с прибором "
                          "невозможна.\nПродолжить выполнение?",
                          "The instrument is not connected to the selected COM-port (%1).\n"
                          "Communication with the instrument is not possible.\nContinue running?"};
const TextPair kPortSet{"Выбран порт %1", "%1 is set"};
const TextPair kUsbSet{"Выбран USB-порт", "USB-port is set"};

QString DeviceName(int number) {
    return QString::fromStdString(PortDeviceName(number));
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void WarningBox(QWidget* owner, const QString& text) {
    ShowMessageBox(owner, QMessageBox::Warning, owner->windowTitle(), text, QMessageBox::Ok,
                   QMessageBox::Ok);
}

// The port question; Abort ends the program at once with exit code 1. True means Retry.
bool AskRetry(TForm1* form, const QString& status, const QString& question) {
    form->SetStatusBarGeneral(status);
    const int answer = ShowMessageBox(form, QMessageBox::Question, form->windowTitle(), question,
                                      QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore,
                                      QMessageBox::Retry);
    if (answer == QMessageBox::Abort) std::_Exit(1);
    return answer == QMessageBox::Retry;
}

} // namespace

// The read-out's surroundings in the window: pumping events, the stop command, the reports.
class WindowReadoutHost final : public RealTimeHost {
public:
    explicit WindowReadoutHost(TForm1* form) : form_(form) {}
    void Pump() override { QCoreApplication::processEvents(); }
    bool StopRequested() override { return form_->stopRead_; }
    void Identified(const uint8_t* id) override {
        std::memcpy(DeviceIdText, id, 6);
        const std::string text = IdentificationText(id);
        form_->SetStatusBarGeneral(QString::fromStdString(Cp1251ToUtf8(text)));
    }
    void CountKnown(int, int toRead) override { form_->ProgressBar1()->setMaximum(toRead); }
    void RecordProgress(int stored) override { form_->ProgressBar1()->setValue(stored); }
    void RecordStored(int stored) override {
        form_->SetStatusBarGeneral(Text(kRecordsRead) + QString::number(stored));
    }
    void WriteFailed() override {
        form_->SetStatusBarGeneral(Text(kWriteFailed));
        WarningBox(form_, Text(kWriteFailed));
    }
    void WaitMs(int ms) {
        const int64_t start = NowUs();
        while (NowUs() - start < ms * 1000LL)
            Idle(ms * 1000LL - (NowUs() - start));
    }

private:
    TForm1* form_;
};

// The port's fixed settings, not read from the settings file; the port menu sets device and rate.
void TForm1::ApplyDefaultCommSettings(TComm& comm) {
    comm.SetDeviceName("Com1");
    comm.SetReadBufSize(40960);
    comm.SetWriteBufSize(32);
    comm.SetMonitorEvents(SetOf(evRxChar) | SetOf(evTxEmpty));
    comm.SetBaudRate(br19200);
    comm.SetStopBits(sb20);
    comm.SetFlowControl(fcNone);
}

void TForm1::AReadExecute() {
    SetStatusBarGeneral(Text(kReading));
    if (AUSB->isChecked()) {
        UsbReadHandOff();
        return;
    }
    if (ReadBusy) return;
    ReadBusy = true;
    if (!Comm1.Enabled()) {
        SetStatusBarGeneral(Text(kPortError));
        WarningBox(this, Text(kPortErrorBox));
        ReadBusy = false;
        return;
    }
    SetReadoutRunning(true, true);
    ProgressBar1()->setRange(0, 1000);
    ProgressBar1()->setValue(0);

    // The records are staged and reach the archive and the table only when the read-out ends,
    // so a stopped read-out leaves both as they were.
    static SerialPayload staging[ArchiveCapacity];
    WindowReadoutHost host(this);
    CommLine line(Comm1);
    const ReadoutResult result = RunSerialReadout(line, host, staging, ArchiveCapacity);
    switch (result.outcome) {
    case ReadoutOutcome::Stopped:
        SetStatusBarGeneral(StoppedText());
        break;
    case ReadoutOutcome::PortLost: {
        // The handle of a hung-up port never works again: close it, so the next read reports the
        // port as not open until the operator chooses it again.
        const QString text =
            Text(kPortLost).arg(QString::fromStdString(Comm1.DeviceName()).section('/', -1));
        ClosePort();
        SetStatusBarGeneral(text);
        WarningBox(this, text);
        break;
    }
    case ReadoutOutcome::NoRecords:
        // The table and the archive both show the instrument's empty archive, so a later save
        // cannot write records the table no longer shows.
        CommitArchive(nullptr, 0, false);
        ProgressBar1()->setValue(0);
        SetStatusBarGeneral(Text(kNoRecords));
        host.WaitMs(500);
        break;
    case ReadoutOutcome::Done: {
        // Slot bytes 22..29 (coordinates) keep what they held.
        static ArchiveRecord records[ArchiveCapacity];
        for (int i = 0; i < result.stored; ++i) {
            records[i] = MeasurementArchive[i];
            PlacePlainRecord(records[i], staging[i].data());
        }
        ProgressBar1()->setValue(ProgressBar1()->maximum());
        CommitArchive(records, result.stored, false,
                      {ArchiveSource::Serial, QString::fromStdString(Comm1.DeviceName().substr(
                                                  Comm1.DeviceName().rfind('/') + 1))});
        break;
    }
    }
    SetReadoutRunning(false, true);
    ReadBusy = false;
    if (result.outcome == ReadoutOutcome::Done && result.announced > ArchiveCapacity) {
        const QString text = Text(kTooMany).arg(result.announced).arg(ArchiveCapacity);
        SetStatusBarGeneral(text);
        WarningBox(this, text);
    }
}

void TForm1::SetReadoutRunning(bool running, bool lockPorts) {
    if (!AStopRead) {
        AStopRead = new QAction(this);
        AStopRead->setObjectName("AStopRead");
        AStopRead->setShortcut(Qt::Key_Escape);
        AStopRead->setShortcutContext(Qt::WindowShortcut);
        addAction(AStopRead);
        itmDevice->addAction(AStopRead);
        connect(AStopRead, &QAction::triggered, this, [this] { stopRead_ = true; });
        btnStopRead_ = new QToolButton(statusBar());
        btnStopRead_->setObjectName("btnStopRead");
        btnStopRead_->setDefaultAction(AStopRead);
        btnStopRead_->setToolButtonStyle(Qt::ToolButtonTextOnly);
        statusBar()->addPermanentWidget(btnStopRead_);
    }
    stopRead_ = false;
    // A file open or a USB read may have hidden the progress bar; every read-out shows it.
    if (running) ProgressBar1()->show();
    AStopRead->setText(Text(kStopCommand));
    AStopRead->setVisible(running);
    btnStopRead_->setVisible(running);
    SetArchiveBusy(running);
    if (!lockPorts) return;
    AUSB->setEnabled(!running);
    for (QAction* a : ACOM)
        a->setEnabled(!running);
}

QString TForm1::StoppedText() const {
    return Text(kStopped);
}

void TForm1::ACOM1Execute(QAction* sender) {
    SelectPort(sender ? sender->data().toInt() : 0);
}

void TForm1::FillPortMenu() {
    for (int k = 0; k < MaxListedPorts; ++k) {
        QAction* action = ACOM[k];
        if (k >= PortCount) {
            action->setVisible(false);
            continue;
        }
        action->setVisible(true);
        action->setData(PortNumbers[k]);
        action->setText(QString::fromStdString(PortDisplayName(PortNumbers[k])).replace("&", "&&"));
    }
}

void TForm1::ConnectPort(int number) {
    const QString name = DeviceName(number);
    for (;;) {
        PortCount = EnumerateSerialPorts(PortNumbers);
        AUSB->setChecked(number == 0);
        FillPortMenu();
        bool offered = number == 0;
        for (int k = 0; k < PortCount; ++k) {
            if (PortNumbers[k] != number) continue;
            ACOM[k]->setChecked(true);
            offered = true;
        }
        if (offered) break;
        if (!AskRetry(this, Text(kNoPortStatus).arg(name), Text(kNoPortAsk).arg(name))) return;
    }
    if (number == 0) return;
    for (;;) {
        ClosePort();
        Comm1.SetDeviceName(PortDevicePath(number));
        Comm1.SetBaudRate(br115200);
        if (!Comm1.Enabled()) Comm1.Open();
        if (Comm1.Enabled()) break;
        const int error = Comm1.LastOpenError();
        const bool noAccess = error == EACCES || error == EPERM;
        if (!AskRetry(this, Text(noAccess ? kNoAccessStatus : kBusyStatus).arg(name),
                      Text(noAccess ? kNoAccessAsk : kBusyAsk).arg(name)))
            return;
    }
    while (!CheckInstrumentLines(Comm1, SleepMs)) {
        if (!AskRetry(this, Text(kAbsentStatus).arg(name), Text(kAbsentAsk).arg(name))) return;
    }
}

void TForm1::ClosePort() {
    if (Comm1.Enabled()) Comm1.Close();
}

// What the framework's default handler shows for an error of the port component; the port is
// left closed.
void TForm1::ShowPortError(const std::exception& error) {
    ClosePort();
    const QString text = QString::fromUtf8(error.what());
    SetStatusBarGeneral(text);
    ShowMessageBox(this, QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok,
                   QMessageBox::Ok);
}

void TForm1::SelectPort(int number) {
    if (number != 0) {
        LeaveUsb();
        SetStatusBarGeneral(Text(kPortSet).arg(QString::fromStdString(PortDisplayName(number))));
        ClosePort();
        try {
            ConnectPort(number);
        } catch (const std::exception& error) {
            ShowPortError(error);
        }
        IniWrite("Config", "COMPortNumber", std::to_string(number));
        AUSB->setChecked(false);
        for (QAction* a : ACOM)
            a->setChecked(a->isVisible() && a->data().toInt() == number);
        return;
    }
    SetStatusBarGeneral(Text(kUsbSet));
    ClosePort();
    IniWrite("Config", "COMPortNumber", "USB");
    Comm1.SetDeviceName("USB");
    SelectUsb();
    AUSB->setChecked(true);
    for (QAction* a : ACOM)
        a->setChecked(false);
}

void TForm1::StartupPortSelection() {
    PortCount = EnumerateSerialPorts(PortNumbers);
    FillPortMenu();
    const std::string stored = IniRead("Config", "COMPortNumber", std::nullopt);
    if (stored.empty()) IniWrite("Config", "COMPortNumber", "1");
    if (!stored.empty() && stored[0] == 'U') {
        // The worker starts with the start-up read, once the window is on the screen.
        ConnectPort(0);
        return;
    }
    int number = ParseInt(stored).value_or(1);
    if (number < 1 || number > MaxPortNumber) {
        number = 1;
        IniWrite("Config", "COMPortNumber", "1");
    }
    try {
        ConnectPort(number);
    } catch (const std::exception& error) {
        // Start-up goes on with the port closed; the error is shown once the window is up.
        ClosePort();
        const QString text = QString::fromUtf8(error.what());
        SetStatusBarGeneral(text);
        QTimer::singleShot(0, this, [this, text] {
            ShowMessageBox(this, QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok,
                           QMessageBox::Ok);
        });
    }
}

} // namespace vyz
