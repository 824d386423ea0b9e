// The USB worker's side of the main window: starting and stopping the worker, the read command's
// hand-off, choosing USB from the port menu, and the host through which the worker reaches the
// window (each call runs on the user-interface thread and the worker waits until it has run).
#include "data/text_pair.h"
#include "link/libusb_transport.h"
#include "link/usb_shared.h"
#include "link/usb_worker.h"
#include "shell/main_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QProgressBar>
#include <atomic>
#include <thread>

namespace vyz {
namespace {

const TextPair UsbOpenText{"USB-порт открыт", "USB-port is open"};
const TextPair UsbDriverErrorText{"USB-ошибка драйвера", "Error USB-driver"};
const TextPair UsbNotReadyText{"USB-канал ещё не готов, повторите чтение",
                               "The USB link is not ready yet, read again"};
const TextPair UsbReadEndedText{"Чтение по USB прервано", "The USB read was interrupted"};

// How long the read command waits for a worker that cannot bind the library (it starts binding
// one second after its start).
constexpr uint32_t UsbBindWaitMs = 3000;

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
    void SetCoordinates(bool on) override {
        onUi([&] { form_->SetGPSMode(on); });
    }
    uint32_t LinkColour() override {
        uint32_t colour = 0;
        onUi([&] {
            const QColor c = form_->LinkColour();
            colour = uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
        });
        return colour;
    }
    void SetLinkColour(uint32_t colour) override {
        onUi([&] {
            form_->SetLinkColour(QColor(colour & 0xFF, colour >> 8 & 0xFF, colour >> 16 & 0xFF));
        });
    }
    void ClearTable() override {
        onUi([&] { form_->ClearTable(); });
    }
    void FillTable() override {
        onUi([&] { form_->FillDataTable(1); });
    }
    void ClearPanel() override {
        onUi([&] { form_->SetPanel1Text(QString()); });
    }
    void SetArchiveBusy(bool busy) override {
        onUi([&] { form_->SetArchiveBusy(busy); });
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

// The worker lives until the process ends (a worker that did not end in time is left running
// while the process ends), so neither object is ever freed.
USBThread* usbThread = nullptr;
MainWindowUsbHost* usbHost = nullptr;

} // namespace

void TForm1::StartUsbWorker() {
    if (usbThread && UsbWorkerRunning) return;
    if (usbThread && usbThread->WaitFor(0)) { // an earlier worker has ended: replace it
        delete usbThread;
        usbThread = nullptr;
    }
    if (usbThread) return;
    if (!usbHost) usbHost = new MainWindowUsbHost(this);
    usbHost->closing = false;
    usbThread = new USBThread(*usbHost, LibUSB);
    usbThread->Start();
}

void TForm1::RequestUsbWorkerStop() {
    if (!usbThread) return;
    usbHost->closing = true;
    usbThread->Terminate();
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
    if (!usbThread) return;
    const uint32_t start = TickCount();
    while (!usbThread->WaitFor(5)) {
        ReleaseWaitingWorker(this);
        if (TickCount() - start >= 1000) {
            usbThread->Detach(); // the process ends now and takes the worker with it
            return;
        }
    }
}

void TForm1::ShutdownUsbWorker() {
    if (!usbThread) return;
    RequestUsbWorkerStop();
    const uint32_t start = TickCount();
    while (!usbThread->WaitFor(5)) {
        ReleaseWaitingWorker(this);
        if (TickCount() - start >= 10000) { // stuck in a transfer: leave it, it calls nobody now
            usbThread->Detach();
            usbThread = nullptr;
            usbHost = nullptr;
            return;
        }
    }
    delete usbThread;
    usbThread = nullptr;
    delete usbHost;
    usbHost = nullptr;
}

void TForm1::UsbReadHandOff() {
    if (!UsbWorkerRunning) StartUsbWorker();
    const std::shared_ptr<AutoResetEvent> request = hDataRdEvent;
    const std::shared_ptr<AutoResetEvent> answer = hDataReadedEvent;
    if (!request || !answer) {
        SetStatusBarGeneral(QString::fromUtf8(UsbNotReadyText()));
        return;
    }
    // A read under way (the automatic one at start) is joined: its end is the end of this
    // command. Otherwise an answer nobody waited for is dropped and a new read is requested.
    if (UsbState.load() > usReadRecords) {
        answer->wait(0);
        DataReadResult = usbResultPending;
        request->set();
    }
    const uint32_t start = TickCount();
    while (!answer->wait(1)) {
        QCoreApplication::processEvents();
        if (!UsbWorkerRunning) { // the worker stopped (the program is closing)
            SetStatusBarGeneral(QString::fromUtf8(UsbReadEndedText()));
            return;
        }
        // The library cannot be bound (not installed, or not the libusb 0.1 API): the worker
        // keeps trying and serves the request once it can, but the command does not wait for it.
        if (UsbState.load() == usBindLibrary && TickCount() - start > UsbBindWaitMs) {
            SetStatusBarGeneral(QString::fromUtf8(UsbDriverErrorText()));
            return;
        }
    }
}

void TForm1::SelectUsb() {
    if (LibUSB.isDeviceOpened()) LibUSB.CloseLibUsb();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int result = LibUSB.InitLibUsb();
    SetStatusBarGeneral(QString::fromUtf8(result == 0 ? UsbOpenText() : UsbDriverErrorText()));
    StartUsbWorker();
}

} // namespace vyz
