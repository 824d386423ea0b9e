// The USB worker's side of the main window: starting and stopping the worker, the archive read
// over USB (requested by the read command or at start-up, shown while it waits, stoppable and
// bounded), choosing USB from the port menu, and the host through which the worker reaches the
// window (each call runs on the user-interface thread and the worker waits until it has run).
#include "data/screen_image.h"
#include "data/text_pair.h"
#include "link/libusb_transport.h"
#include "link/usb_shared.h"
#include "link/usb_worker.h"
#include "platform/ini_file.h"
#include "platform/message_box.h"
#include "platform/text_string.h"
#include "shell/main_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QProgressBar>
#include <QTimer>
#include <atomic>
#include <thread>

namespace vyz {
namespace {

const TextPair UsbOpenText{"USB-порт открыт", "USB-port is open"};
const TextPair UsbDriverErrorText{"USB-ошибка драйвера", "Error USB-driver"};
const TextPair UsbNotReadyText{"USB-канал ещё не готов, повторите чтение",
                               "The USB link is not ready yet, read again"};
const TextPair UsbReadEndedText{"Чтение по USB прервано", "The USB read was interrupted"};
const TextPair UsbWaitingText{
    "Подключите прибор к USB-порту компьютера и включите его (ожидание до %1 с, Esc - "
    "остановить)",
    "Connect the instrument to a USB port of the computer and switch it on (waiting up to %1 s, "
    "Esc stops)"};
const TextPair UsbTimedOutText{
    "Прибор не подключен к USB-порту: чтение остановлено через %1 с, таблица не изменена",
    "No instrument on the USB port: the read stopped after %1 s, the table is unchanged"};
const TextPair UsbWithdrawnText{"Чтение по USB отменено: выбран другой порт",
                                "The USB read was cancelled: another port was chosen"};

// How long the read waits for a worker that cannot bind the library (it starts binding one
// second after its start).
constexpr uint32_t UsbBindWaitMs = 3000;

// How long a read waits for the instrument to appear on the bus (Config/UsbWaitSeconds, 1..600):
// by default long enough to take the instrument out, switch it on and plug it in, short enough
// that a forgotten request never replaces the table long after.
int UsbWaitSeconds() {
    const std::optional<int> stored = ParseInt(IniRead("Config", "UsbWaitSeconds", "30"));
    return stored && *stored >= 1 && *stored <= 600 ? *stored : 30;
}

class MainWindowUsbHost : public UsbHost {
public:
    explicit MainWindowUsbHost(TForm1* form) : form_(form) {}
    // Set when the program closes: the window no longer serves the worker, which then runs to
    // its end without waiting for it.
    std::atomic<bool> closing{false};

    void ShowStatus(const std::string& text) override {
        onUi([&] { form_->SetStatusBarGeneral(QString::fromStdString(text)); });
    }
    void ShowPlain(const std::string& text) override {
        onUi([&] { form_->SetStatusBarPlain(QString::fromStdString(text)); });
    }
    void ProgressStart() override {
        onUi([&] {
            form_->ProgressBar1()->setValue(0);
            form_->ProgressBar1()->show();
            form_->SetPanel1Text(QString());
        });
    }
    // Posted without waiting, and at most one at a time: the bar shows the latest position. A
    // blocking call per record would tie every record to the window's next look at its queue.
    void ProgressSet(int position) override {
        progress_ = position;
        if (closing || progressPosted_.exchange(true)) return;
        QMetaObject::invokeMethod(
            form_,
            [this] {
                progressPosted_ = false;
                form_->ProgressBar1()->setValue(progress_.load());
            },
            Qt::QueuedConnection);
    }
    void ProgressHide() override {
        onUi([&] { form_->ProgressBar1()->hide(); });
    }
    uint32_t LinkColour() override {
        uint32_t colour = 0;
        onUi([&] {
            const QColor c = form_->LinkColour();
            colour = ColorValueFromRgb({uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue())});
        });
        return colour;
    }
    void SetLinkColour(uint32_t colour) override {
        onUi([&] {
            const Rgb c = RgbFromColorValue(colour);
            form_->SetLinkColour(QColor(c.r, c.g, c.b));
        });
    }
    void ClearPanel() override {
        onUi([&] { form_->SetPanel1Text(QString()); });
    }
    bool CommitArchive(const ArchiveRecord* records, int count,
                       std::optional<bool> coordinates) override {
        bool taken = false;
        onUi([&] { taken = form_->CommitUsbArchive(records, count, coordinates); });
        return taken;
    }
    UsbEvents Events() override {
        UsbEvents events;
        onUi([&] {
            events = {form_->hDataRdEvent, form_->hDataReadedEvent, form_->hScreenRdEvent,
                      form_->hScrReadedEvent};
        });
        return events;
    }

private:
    template <class F> void onUi(F&& f) {
        if (closing) return;
        QMetaObject::invokeMethod(
            form_,
            [&] {
                if (!closing) f();
            },
            Qt::BlockingQueuedConnection);
    }

    TForm1* form_;
    std::atomic<int> progress_{0};
    std::atomic<bool> progressPosted_{false};
};

MainWindowUsbHost* host(UsbHost* h) {
    return static_cast<MainWindowUsbHost*>(h);
}

} // namespace

void TForm1::StartUsbWorker() {
    if (usbThread_ && UsbWorkerRunning) return;
    if (usbThread_ && usbThread_->WaitFor(0)) { // an earlier worker has ended: replace it
        delete usbThread_;
        usbThread_ = nullptr;
    }
    if (usbThread_) return;
    if (!usbHost_) usbHost_ = new MainWindowUsbHost(this);
    host(usbHost_)->closing = false;
    usbThread_ = new USBThread(*usbHost_, LibUSB);
    usbThread_->Start();
}

void TForm1::RequestUsbWorkerStop() {
    if (!usbThread_) return;
    host(usbHost_)->closing = true;
    usbThread_->Terminate();
}

// While the program closes it handles no window messages, but a worker may have just handed the
// window a call and be waiting for it: such calls are run (they do nothing once closing is set),
// so the worker goes on to its end.
static void ReleaseWaitingWorker(TForm1* form) {
    QCoreApplication::sendPostedEvents(form, QEvent::MetaCall);
}

void TForm1::ReleaseUsbOnExit() {
    ReleaseUsbTransport(LibUSB, 500, 100, [this] { ReleaseWaitingWorker(this); });
}

void TForm1::WaitUsbWorkerEnd() {
    if (!usbThread_) return;
    const uint32_t start = TickCount();
    while (!usbThread_->WaitFor(5)) {
        ReleaseWaitingWorker(this);
        if (TickCount() - start >= 1000) {
            // The process ends now and takes the worker with it; both objects stay allocated.
            usbThread_->Detach();
            usbThread_ = nullptr;
            usbHost_ = nullptr;
            return;
        }
    }
}

void TForm1::ShutdownUsbWorker() {
    if (!usbThread_) return;
    RequestUsbWorkerStop();
    const uint32_t start = TickCount();
    while (!usbThread_->WaitFor(5)) {
        ReleaseWaitingWorker(this);
        if (TickCount() - start >= 10000) { // stuck in a transfer: leave it, it calls nobody now
            // Both stay allocated: the worker may still call its host when its transfer returns.
            usbThread_->Detach();
            usbThread_ = nullptr;
            usbHost_ = nullptr;
            return;
        }
    }
    delete usbThread_;
    usbThread_ = nullptr;
    delete usbHost_;
    usbHost_ = nullptr;
}

void TForm1::UsbReadHandOff() {
    BeginUsbRead();
    while (usbRead_.active) {
        PollUsbRead(1);
        QCoreApplication::processEvents();
    }
}

void TForm1::BeginUsbRead() {
    if (usbRead_.active) return; // a read under way (the one at start-up) is joined
    if (!UsbWorkerRunning) StartUsbWorker();
    const std::shared_ptr<AutoResetEvent> request = hDataRdEvent;
    const std::shared_ptr<AutoResetEvent> answer = hDataReadedEvent;
    if (!request || !answer) {
        SetStatusBarGeneral(Text(UsbNotReadyText));
        return;
    }
    usbRead_ = {};
    usbRead_.active = true;
    usbRead_.start = TickCount();
    usbRead_.waitSeconds = UsbWaitSeconds();
    SetReadoutRunning(true, false);
    // An exchange still running (a read just withdrawn) goes on for this request; otherwise an
    // answer nobody waited for is dropped and a new read is requested.
    ArchiveReadWanted = true;
    if (UsbState.load() > usReadRecords) {
        answer->wait(0);
        DataReadResult = usbResultPending;
        request->set();
    }
    if (!usbReadTimer_) {
        usbReadTimer_ = new QTimer(this);
        usbReadTimer_->setInterval(5);
        connect(usbReadTimer_, &QTimer::timeout, this, [this] { PollUsbRead(0); });
    }
    usbReadTimer_->start();
}

// Looks at the read once (waiting up to `waitMs` for the worker's answer) and ends it at its
// end, on Stop, when the worker stops, when the library cannot be bound, or at the time bound
// while no instrument has been found.
void TForm1::PollUsbRead(int waitMs) {
    if (!usbRead_.active || usbRead_.polling) return;
    usbRead_.polling = true;
    const std::shared_ptr<AutoResetEvent> answer = hDataReadedEvent;
    const uint32_t elapsed = TickCount() - usbRead_.start;
    const uint8_t state = UsbState.load();
    const bool exchanging = state >= usReadIdentity && state <= usReadRecords;
    if (answer && answer->wait(waitMs)) {
        if (DataReadResult.load() == usbResultCancelled && UsbWorkerRunning) {
            // The answer of a read withdrawn just before this one was asked for: ask again.
            DataReadResult = usbResultPending;
            hDataRdEvent->set();
        } else {
            EndUsbRead(QString()); // the worker has shown how it ended
        }
    } else if (stopRead_) {
        EndUsbRead(StoppedText());
    } else if (!UsbWorkerRunning) { // the worker stopped (the program is closing)
        EndUsbRead(Text(UsbReadEndedText));
    } else if (state == usBindLibrary && elapsed > UsbBindWaitMs) {
        // The library cannot be bound (not installed, or not the libusb 0.1 API).
        EndUsbRead(Text(UsbDriverErrorText));
    } else if (!exchanging && elapsed > uint32_t(usbRead_.waitSeconds) * 1000) {
        const QString text = Text(UsbTimedOutText).arg(usbRead_.waitSeconds);
        EndUsbRead(text);
        ShowMessageBox(this, QMessageBox::Warning, windowTitle(), text);
    } else if (UsbArchiveSearching && !usbRead_.waitingShown) {
        usbRead_.waitingShown = true;
        SetStatusBarGeneral(Text(UsbWaitingText).arg(usbRead_.waitSeconds));
    }
    usbRead_.polling = false;
}

void TForm1::EndUsbRead(const QString& text) {
    if (!usbRead_.active) return;
    usbRead_.active = false;
    WithdrawUsbRead();
    usbReadTimer_->stop();
    SetReadoutRunning(false, false);
    ProgressBar1()->hide();
    if (!text.isEmpty()) SetStatusBarGeneral(text);
}

void TForm1::WithdrawUsbRead() {
    ArchiveReadWanted = false;
    if (hDataRdEvent) hDataRdEvent->wait(0); // a request the worker has not picked up yet
}

void TForm1::LeaveUsb() {
    if (usbRead_.active)
        EndUsbRead(Text(UsbWithdrawnText));
    else
        WithdrawUsbRead();
}

bool TForm1::CommitUsbArchive(const ArchiveRecord* records, int count,
                              std::optional<bool> coordinates) {
    if (!usbRead_.active || !ArchiveReadWanted) return false;
    CommitArchive(records, count, coordinates, {ArchiveSource::Usb, QStringLiteral("USB")});
    return true;
}

void TForm1::SelectUsb() {
    // Choosing USB reads nothing: only the read command (or the start-up on USB) asks for it.
    if (!usbRead_.active) WithdrawUsbRead();
    if (LibUSB.isDeviceOpened()) LibUSB.CloseLibUsb();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int result = LibUSB.InitLibUsb();
    SetStatusBarGeneral(QString::fromUtf8(result == 0 ? UsbOpenText() : UsbDriverErrorText()));
    StartUsbWorker();
}

} // namespace vyz
