#include "link/usb_worker.h"

#include "data/archive_record.h"
#include "data/instrument_bytes.h"
#include "data/text_pair.h"
#include "link/libusb_transport.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace vyz {
namespace {

const TextPair ParametersReadText{"Чтение параметров...", "Parameters Read..."};
const TextPair ResultsReadText{"Чтение результатов...", "Results Read..."};
const TextPair ArchiveEmptyText{"Архив пуст", "Archive empty"};
const TextPair RecordsLoadedText{"Считано записей: ", "Records loaded: "};
const TextPair ScreenReadingText{"Чтение образа экрана...", "Screenshot reading..."};
const TextPair ScreenErrorText{"Ошибка обмена при чтении скриншота",
                               "Communication error when reading a screenshot"};
const TextPair ScreenReadText{"Образ экрана считан", "Screenshot readed"};
const TextPair InvalidFormatTexts{
    "Неверный формат данных, возможно версия прибора не соответствует программе",
    "Invalid data format possible version of the instrument does not meet the program"};
// Numbers in a reply that no instrument can send; nothing is stored from such a reply.
const TextPair BadIdentityLengthText{"Прибор сообщил недопустимую длину названия: ",
                                     "The instrument reported an impossible name length: "};
const TextPair BadArchiveSizeText{"Прибор сообщил недопустимый размер архива (записей, байт): ",
                                  "The instrument reported an impossible archive size (records, "
                                  "bytes): "};

std::string IdentityText() {
    return Cp1251ToUtf8(DeviceIdText);
}

} // namespace

std::atomic<int64_t> UsbPausedMicroseconds{0};

// The transport as the exchanges see it. A request the requesting side gave up (or a stopping
// worker) moves no more bytes: the transfer fails at once and the exchange ends there.
class USBThread::Link final : public UsbLink {
public:
    explicit Link(USBThread& worker) : worker_(worker) {}
    int Write(const uint8_t* bytes, int length) override {
        return worker_.stillWanted() ? worker_.usb_.WriteData(bytes, length) : -ECANCELED;
    }
    int Read(uint8_t* buffer, int length) override {
        return worker_.stillWanted() ? worker_.usb_.ReadData(buffer, length) : -ECANCELED;
    }

private:
    USBThread& worker_;
};

USBThread::USBThread(UsbHost& host, TLibUsb& transport, UsbPauses pauses)
    : host_(host), usb_(transport), pauses_(pauses), link_(std::make_unique<Link>(*this)),
      staging_(std::make_unique<ArchiveRecord[]>(ArchiveCapacity)) {}

USBThread::~USBThread() {
    Terminate();
    if (thread_.joinable()) thread_.join();
}

void USBThread::Start() {
    UsbWorkerRunning = true;
    thread_ = std::thread([this] { Execute(); });
}

void USBThread::Terminate() {
    {
        std::lock_guard lock(stopMutex_);
        terminated_ = true;
    }
    stopCv_.notify_all();
}

bool USBThread::WaitFor(int ms) {
    std::unique_lock lock(stopMutex_);
    if (!stopCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return finished_; }))
        return false;
    lock.unlock();
    if (thread_.joinable()) thread_.join();
    return true;
}

void USBThread::Detach() {
    if (thread_.joinable()) thread_.detach();
}

bool USBThread::pause(int ms) {
    using namespace std::chrono;
    const auto end = steady_clock::now() + milliseconds(ms);
    std::unique_lock lock(stopMutex_);
    // Counted in slices of at most 10 ms, so a benchmark sees the pause time within its window.
    for (auto now = steady_clock::now(); now < end && !terminated_;) {
        stopCv_.wait_until(lock, std::min(end, now + milliseconds(10)),
                           [this] { return terminated_.load(); });
        const auto later = steady_clock::now();
        UsbPausedMicroseconds += duration_cast<microseconds>(later - now).count();
        now = later;
    }
    return !terminated_;
}

void USBThread::Execute() {
    usb_.SetPlainMessageSink([this](const std::string& text) {
        if (!Terminated()) host_.ShowPlain(text);
    });
    if (pause(pauses_.start)) {
        UsbState = usBindLibrary;
        // The stop flag is looked at once per pass, before the pause; an exchange under way is
        // abandoned at its next transfer (see stillWanted).
        while (!Terminated()) {
            if (!pause(pauses_.pass)) break;
            step();
        }
    }
    const uint8_t state = UsbState.load();
    if (screenRequest_)
        finishRequest(true, usbResultCancelled);
    else if (state <= usReadRecords)
        finishRequest(false, usbResultCancelled);
    usb_.SetPlainMessageSink(nullptr);
    usb_.CloseDevice();
    usb_.CloseLibUsb();
    UsbState = usBindLibrary;
    UsbArchiveSearching = false;
    UsbWorkerRunning = false;
    {
        std::lock_guard lock(stopMutex_);
        finished_ = true;
    }
    stopCv_.notify_all();
}

void USBThread::step() {
    // The viewer gave its image request up (it sets the state back to idle).
    if (screenRequest_ && UsbState.load() == usIdle) finishRequest(true, usbResultCancelled);
    switch (UsbState.load()) {
    case usBindLibrary:
        if (usb_.InitLibUsb() == 0) UsbState = usIdle;
        break;
    case usIdle:
        idleStep();
        break;
    case usOpenForArchive:
        openForArchiveStep();
        break;
    case usReadIdentity:
        identityStep();
        break;
    case usReadArchiveState:
        archiveStateStep();
        break;
    case usReadRecords:
        recordsStep();
        break;
    case usReadScreen:
        screenStep();
        break;
    default:
        UsbState = usIdle;
        break;
    }
}

void USBThread::idleStep() {
    if (!pause(pauses_.idle)) return;
    setLink(LinkColourIdle);
    if (!events_.complete()) {
        events_ = host_.Events(); // the main window creates them after starting the worker
        if (!events_.complete()) return;
    }
    const auto start = std::chrono::steady_clock::now();
    bool archive = events_.dataRd->wait(pauses_.eventLook);
    const bool screen = events_.screenRd->wait(pauses_.eventLook);
    UsbPausedMicroseconds += std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
    if (archiveWaiting_) {
        archive = true;
        archiveWaiting_ = false;
    }
    // A request nobody wants any more (withdrawn, or the event's signalled start in a program
    // that did not start on USB) is dropped.
    archive = archive && ArchiveReadWanted.load();
    if (screen) {
        // The image is read first; an archive request that came with it is served right after,
        // so the read command waiting for it is answered too.
        archiveWaiting_ = archive;
        screenRequest_ = true;
        UsbState = usReadScreen;
    } else if (archive) {
        UsbState = usOpenForArchive;
    }
}

void USBThread::openForArchiveStep() {
    if (!ArchiveReadWanted.load()) return endArchiveRead(usbResultCancelled);
    if (usb_.FindDevice() != 0) { // searched again next pass
        UsbArchiveSearching = true;
        return;
    }
    UsbArchiveSearching = false;
    UsbState = usReadIdentity;
    setLink(LinkColourBusy);
}

bool USBThread::stillWanted() const {
    if (Terminated()) return false;
    if (screenRequest_) return UsbState.load() == usReadScreen;
    return ArchiveReadWanted.load();
}

void USBThread::showStatus(const std::string& text) {
    host_.ShowStatus(text);
}

void USBThread::setLink(uint32_t colour) {
    if (host_.LinkColour() == LinkColourError) pause(pauses_.redFlash); // let a red flash show
    host_.SetLinkColour(colour);
}

void USBThread::identityStep() {
    host_.ProgressStart();
    setLink(LinkColourBusy);
    const UsbStep command = SendUsbCommand(*link_, CmdIdentity);
    if (!command.ok()) return failure(command);
    pause(pauses_.afterIdentityCommand);
    const UsbIdentity identity = ReadUsbIdentity(*link_, DeviceIdText);
    if (identity.outcome == UsbOutcome::BadIdentityLength)
        showStatus(BadIdentityLengthText() + std::to_string(identity.announced));
    if (!identity.ok()) return failure(identity);
    showStatus(IdentityText());
    pause(pauses_.afterIdentity);
    UsbState = usReadArchiveState;
    showStatus(ParametersReadText());
}

void USBThread::archiveStateStep() {
    const UsbArchiveState state = ReadUsbArchiveState(*link_);
    if (state.outcome == UsbOutcome::BadStateLength) showStatus(InvalidFormatTexts());
    if (!state.ok()) return failure(state);
    archiveState_ = state.value;
    UsbState = usReadRecords;
    showStatus(ResultsReadText());
}

void USBThread::recordsStep() {
    if (archiveState_ == 0) {
        // The instrument holds nothing: the window shows an empty archive (the layout stays).
        if (!host_.CommitArchive(nullptr, 0, std::nullopt))
            return endArchiveRead(usbResultCancelled);
        showStatus(IdentityText() + "; " + ArchiveEmptyText());
        host_.ClearPanel();
        host_.ProgressHide();
        setLink(LinkColourIdle);
        return endArchiveRead(usbResultEmpty);
    }
    setLink(LinkColourBusy);
    const UsbRecordsHeader header = ReadUsbRecordsHeader(*link_, ArchiveCapacity);
    if (header.outcome == UsbOutcome::BadArchiveSize)
        showStatus(BadArchiveSizeText() + std::to_string(header.count) + ", " +
                   std::to_string(header.size));
    if (!header.ok()) return failure(header);
    const UsbStep records = ReadUsbRecords(*link_, header, staging_.get(), [this, &header](int i) {
        host_.ProgressSet(i * 1000 / header.count);
    });
    if (!records.ok()) return failure(records);
    if (!host_.CommitArchive(staging_.get(), header.count, header.coordinates()))
        return endArchiveRead(usbResultCancelled);
    UsbState = usIdle;
    usb_.CloseDevice();
    showStatus(IdentityText() + "; " + RecordsLoadedText() + std::to_string(header.count));
    host_.ProgressHide();
    finishRequest(false, usbResultDone);
    setLink(LinkColourIdle);
}

void USBThread::screenStep() {
    if (usb_.FindDevice() != 0) {
        pause(pauses_.screenSearch);
        return;
    }
    showStatus(ScreenReadingText());
    setLink(LinkColourBusy);
    pause(pauses_.beforeScreen);
    const UsbScreen screen = ReadUsbScreen(*link_, ScreenBuffer.load());
    ScreenDataSize = screen.size;
    if (screen.outcome == UsbOutcome::BadScreenSize) showStatus(ScreenErrorText());
    if (!screen.ok()) return failure(screen);
    UsbState = usIdle;
    usb_.CloseDevice();
    showStatus(ScreenReadText());
    finishRequest(true, usbResultDone);
    setLink(LinkColourIdle);
}

// An exchange given up by the requesting side: ends quietly, without touching the window.
void USBThread::endArchiveRead(UsbRequestResult result) {
    UsbState = usIdle;
    UsbArchiveSearching = false;
    usb_.CloseDevice();
    finishRequest(false, result);
}

void USBThread::failure(const UsbStep& step) {
    const bool screen = screenRequest_;
    if (!stillWanted() || step.lastResult == -ECANCELED) {
        // Stopped or cancelled: end quietly, without touching the window.
        UsbState = usIdle;
        usb_.CloseDevice();
        finishRequest(screen, usbResultCancelled);
        return;
    }
    showStatus(TLibUsb::ErrorText(step.lastResult));
    setLink(LinkColourError);
    usb_.ResetEndPoints();
    host_.ProgressHide();
    UsbState = usIdle;
    usb_.CloseDevice();
    finishRequest(screen, usbResultFailed);
}

void USBThread::finishRequest(bool screen, UsbRequestResult result) {
    if (screen) {
        screenRequest_ = false;
        ScreenReadResult = result;
        if (events_.scrReaded) events_.scrReaded->set();
    } else {
        DataReadResult = result;
        if (events_.dataReaded) events_.dataReaded->set();
    }
}

} // namespace vyz

namespace vyz {

bool ReleaseUsbTransport(TLibUsb& transport, int waitMs, int lockMs,
                         const std::function<void()>& whileWaiting) {
    const uint32_t start = TickCount();
    while (transport.isLibraryLoaded()) {
        if (whileWaiting) whileWaiting();
        if (TickCount() - start > static_cast<uint32_t>(waitMs)) {
            // A worker still inside a transfer keeps the lock; then the library stays mapped and
            // the worker unloads it when its transfer returns (or the process ends first).
            return transport.TryCloseAll(std::chrono::milliseconds(lockMs));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace vyz
