#include "link/comm.h"
#include "link/serial_readout.h"

#include <cerrno>

#include <QCoreApplication>
#include <QObject>

#include <cstdio>
#include <thread>

namespace vyz {

namespace {

const char* const kAlreadyOpen = "Port already assigned (open) (Error: %d)";
const char* const kDcbError = "Error updating DataControlBlock (Error: %d)";
const char* const kTimeoutsError = "Error updating CommTimeouts (Error: %d)";
const char* const kEscapeError = "EscapeCommFunction failure (Error: %d)";
const char* const kNotOpen = "Port not open (Error: %d)";

std::string FormatError(const char* format, int code) {
    char text[128];
    std::snprintf(text, sizeof text, format, code);
    return text;
}

} // namespace

ECommError::ECommError(const char* format, int code)
    : std::runtime_error(FormatError(format, code)), code_(code) {}

uint32_t CommEventMask(TCommEventTypes events) {
    // In TCommEventType order: break, CTS, DSR, error, ring, carrier detect, character, flag,
    // transmitter empty.
    static const uint32_t bits[] = {EV_BREAK, EV_CTS,    EV_DSR,    EV_ERR,    EV_RING,
                                    EV_RLSD,  EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY};
    uint32_t mask = 0;
    for (int i = 0; i < 9; ++i)
        if (events & SetOf(i)) mask |= bits[i];
    return mask;
}

uint32_t BaudRateValue(TBaudRate rate) {
    static const uint32_t values[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                      19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return values[rate];
}

// --- TCommEventChars ---

void TCommEventChars::Set(uint8_t& field, uint8_t value) {
    field = value;
    if (owner_) owner_->UpdateDataControlBlockLock();
}
void TCommEventChars::SetXOnChar(uint8_t c) {
    Set(xon_, c);
}
void TCommEventChars::SetXOffChar(uint8_t c) {
    Set(xoff_, c);
}
void TCommEventChars::SetErrorChar(uint8_t c) {
    Set(error_, c);
}
void TCommEventChars::SetEofChar(uint8_t c) {
    Set(eof_, c);
}
void TCommEventChars::SetEvtChar(uint8_t c) {
    Set(evt_, c);
}
void TCommEventChars::Assign(const TCommEventChars& other) {
    xon_ = other.xon_;
    xoff_ = other.xoff_;
    error_ = other.error_;
    eof_ = other.eof_;
    evt_ = other.evt_;
}

// --- TCommEventThread ---

TCommEventThread::TCommEventThread(std::shared_ptr<CommPlatform> platform, int watch,
                                   uint32_t suspendTime, TCommEventTypes events, QObject* context)
    : platform_(std::move(platform)), watch_(watch), waker_(platform_->CreateWaker()),
      suspendTime_(suspendTime), mask_(CommEventMask(events)), context_(context) {}

TCommEventThread::~TCommEventThread() {
    if (watch_ >= 0) platform_->CloseWatch(watch_);
    if (waker_ >= 0) platform_->CloseWaker(waker_);
}

void TCommEventThread::SetHandler(Handler handler) {
    std::lock_guard guard(mutex_);
    handler_ = std::move(handler);
}

void TCommEventThread::Start() {
    // The thread keeps itself alive; nobody joins it.
    std::thread([self = shared_from_this()] { self->Execute(); }).detach();
}

void TCommEventThread::Terminate() {
    {
        std::lock_guard guard(mutex_);
        handler_ = nullptr;
        terminated_ = true;
    }
    handled_.notify_all();
    if (waker_ >= 0) platform_->Wake(waker_);
}

void TCommEventThread::NoteWrite() {
    pendingTx_ = true;
    if (waker_ >= 0) platform_->Wake(waker_);
}

void TCommEventThread::Execute() {
    if (watch_ < 0 || waker_ < 0) return;
    constexpr uint32_t lineEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD | EV_BREAK | EV_ERR;
    uint32_t lastModem = 0;
    LineCounters lastCounters;
    platform_->ModemStatus(watch_, lastModem);
    platform_->ReadLineCounters(watch_, lastCounters);
    int lastIn = 0;
    const int interval = static_cast<int>(suspendTime_ > 0 ? suspendTime_ : 1);
    while (!terminated_) {
        // Wait for the first byte while nothing is waiting; while bytes wait unread, or while
        // line changes or an emptying transmitter are watched, look again every SuspendTime ms.
        const int waiting = (mask_ & EV_RXCHAR) ? platform_->InQueue(watch_) : 0;
        const bool wantInput = (mask_ & EV_RXCHAR) && waiting <= 0;
        const bool timed =
            (mask_ & lineEvents) || waiting > 0 || ((mask_ & EV_TXEMPTY) && pendingTx_);
        const int result = platform_->WaitEvent(watch_, wantInput, waker_, timed ? interval : -1);
        if (terminated_ || (result & CommPlatform::WaitGone)) break;
        uint32_t events = 0;
        if (mask_ & EV_RXCHAR) {
            const int now = platform_->InQueue(watch_);
            if (now > 0 && (now != lastIn || (result & CommPlatform::WaitInput)))
                events |= EV_RXCHAR;
            lastIn = now > 0 ? now : 0;
        }
        if (pendingTx_ && platform_->OutQueue(watch_) <= 0) {
            pendingTx_ = false;
            events |= EV_TXEMPTY;
        }
        if (mask_ & lineEvents) {
            uint32_t modem = 0;
            platform_->ModemStatus(watch_, modem);
            const uint32_t changed = modem ^ lastModem;
            if (changed & MS_CTS_ON) events |= EV_CTS;
            if (changed & MS_DSR_ON) events |= EV_DSR;
            if (changed & MS_RLSD_ON) events |= EV_RLSD;
            if ((changed & MS_RING_ON) && !(modem & MS_RING_ON)) events |= EV_RING;
            lastModem = modem;
            LineCounters counters;
            platform_->ReadLineCounters(watch_, counters);
            if (counters.breaks != lastCounters.breaks) events |= EV_BREAK;
            if (counters.errors != lastCounters.errors) events |= EV_ERR;
            lastCounters = counters;
        }
        events &= mask_;
        if (events) Dispatch(events);
    }
}

// Runs the handler on the user-interface thread and waits until it has run. The wait also ends
// when the thread is terminated (the port closed), so closing never waits for this thread.
void TCommEventThread::Dispatch(uint32_t mask) {
    lastMask_ = mask;
    std::unique_lock guard(mutex_);
    if (!handler_ || !context_) return;
    const uint64_t ticket = ++dispatched_;
    QMetaObject::invokeMethod(
        context_,
        [self = shared_from_this(), mask] {
            Handler handler;
            {
                std::lock_guard inner(self->mutex_);
                handler = self->handler_;
            }
            if (handler) handler(self.get(), mask);
            {
                std::lock_guard inner(self->mutex_);
                ++self->completed_;
            }
            self->handled_.notify_all();
        },
        Qt::QueuedConnection);
    handled_.wait(guard, [&] { return terminated_ || completed_ >= ticket; });
}

// --- TThreadComm ---

TThreadComm::TThreadComm(std::shared_ptr<CommPlatform> platform)
    : platform_(std::move(platform)), context_(std::make_unique<QObject>()) {}

TThreadComm::~TThreadComm() {
    Close();
}

TComm::~TComm() = default;

void TThreadComm::CreateHandle() {
    int error = 0;
    handle_ = platform_->Open(deviceName_, error);
    openError_ = handle_ < 0 ? error : 0;
    if (handle_ < 0) {
        open_ = false;
        return;
    }
    open_ = true;
    if (!platform_->IsTerminal(handle_)) DestroyHandle();
}

void TThreadComm::DestroyHandle() {
    if (handle_ >= 0) platform_->Close(handle_);
    open_ = false;
    handle_ = -1;
}

void TThreadComm::Open() {
    std::lock_guard guard(lock_);
    if (open_) throw ECommError(kAlreadyOpen, -1);
    lineLost_ = false;
    CreateHandle();
    if (!open_) return;
    try {
        UpdateCommTimeouts();
        UpdateDataControlBlock();
    } catch (...) {
        DestroyHandle(); // never leave a half-configured port open
        throw;
    }
    // The platform's queues have fixed sizes: ReadBufSize and WriteBufSize are only kept.
    eventThread_ = std::make_shared<TCommEventThread>(platform_, platform_->OpenWatch(handle_),
                                                      suspendTime_, monitorEvents_, context_.get());
    eventThread_->SetHandler(
        [this](TCommEventThread* thread, uint32_t mask) { HandleCommEvent(thread, mask); });
    eventThread_->Start();
}

void TThreadComm::Close() {
    if (!open_) return;
    std::lock_guard guard(lock_);
    if (eventThread_) {
        eventThread_->Terminate(); // detaches the handler first; does not wait for the thread
        eventThread_.reset();
    }
    DestroyHandle();
}

int TThreadComm::Write(const void* buffer, int count) {
    if (!open_) return -1;
    std::lock_guard guard(lock_);
    if (!open_) return -1;
    // Bounded by WriteTimeout plus the time the bytes take on the line.
    const int lineMs = static_cast<int>(int64_t(count) * 11000 / BaudRateValue(baudRate_));
    const int n = platform_->Write(handle_, static_cast<const uint8_t*>(buffer), count,
                                   writeTimeout_ + lineMs);
    if (eventThread_) eventThread_->NoteWrite();
    // A hung-up terminal refuses every write with EIO (a vanished device: ENXIO, ENODEV).
    if (n == -EIO || n == -ENXIO || n == -ENODEV) lineLost_ = true;
    return n > 0 ? n : 0;
}

int TThreadComm::Read(void* buffer, int count) {
    if (!open_) return -1;
    std::lock_guard guard(lock_);
    if (!open_) return -1;
    if (count <= 0) return 0;
    const int n = platform_->Read(handle_, static_cast<uint8_t*>(buffer), count, readTimeout_);
    return n > 0 ? n : 0;
}

int TThreadComm::InQueCount() {
    return open_ ? platform_->InQueue(handle_) : -1;
}
int TThreadComm::OutQueCount() {
    return open_ ? platform_->OutQueue(handle_) : -1;
}

void TThreadComm::PurgeIn() {
    if (open_) platform_->Purge(handle_, true, false);
}
void TThreadComm::PurgeOut() {
    if (open_) platform_->Purge(handle_, false, true);
}

bool TThreadComm::GetModemState(int line) {
    if (!open_) return false;
    uint32_t bits = 0;
    if (platform_->ModemStatus(handle_, bits) != 0) return false;
    switch (line) {
    case 1:
        return bits & MS_CTS_ON;
    case 2:
        return bits & MS_DSR_ON;
    case 3:
        return bits & MS_RING_ON;
    case 4:
        return bits & MS_RLSD_ON;
    default:
        return false;
    }
}

// The platform keeps no hold flags (CTS, DSR, carrier, XOFF hold or XOFF sent): all read false.
bool TThreadComm::GetComState(int) {
    return false;
}

void TThreadComm::EscapeComm(int function) {
    if (!open_) throw ECommError(kNotOpen, -1);
    std::lock_guard guard(lock_);
    int error = 0;
    switch (function) {
    case SETXOFF:
        error = platform_->SetTransmitStopped(handle_, true);
        break;
    case SETXON:
        error = platform_->SetTransmitStopped(handle_, false);
        break;
    case SETRTS:
        error = platform_->SetModemControl(handle_, ModemControl::Rts, true);
        break;
    case CLRRTS:
        error = platform_->SetModemControl(handle_, ModemControl::Rts, false);
        break;
    case SETDTR:
        error = platform_->SetModemControl(handle_, ModemControl::Dtr, true);
        break;
    case CLRDTR:
        error = platform_->SetModemControl(handle_, ModemControl::Dtr, false);
        break;
    case SETBREAK:
        error = platform_->SetBreak(handle_, true);
        break;
    case CLRBREAK:
        error = platform_->SetBreak(handle_, false);
        break;
    default:
        error = EINVAL;
        break;
    }
    if (error != 0) throw ECommError(kEscapeError, error);
}

void TThreadComm::SetBREAKState(bool on) {
    EscapeComm(on ? SETBREAK : CLRBREAK);
    if (!open_) return;
    std::lock_guard guard(lock_);
    platform_->Purge(handle_, true, true);
}

void TThreadComm::CheckOpen() {
    if (open_) throw ECommError(kAlreadyOpen, -1);
}

void TThreadComm::UpdateDataControlBlock() {
    if (!open_) return;
    CommLineSettings line;
    line.baud = BaudRateValue(baudRate_);
    line.dataBits = 4 + static_cast<int>(dataBits_);
    line.parity = parity_;
    line.stopBits = stopBits_;
    line.flowControl = flowControl_;
    line.parityCheck = options_ & SetOf(coParityCheck);
    line.xonChar = eventChars_.XOnChar();
    line.xoffChar = eventChars_.XOffChar();
    const int error = platform_->ApplyLine(handle_, line);
    if (error != 0) throw ECommError(kDcbError, error);
}

void TThreadComm::UpdateDataControlBlockLock() {
    std::lock_guard guard(lock_);
    UpdateDataControlBlock();
}

void TThreadComm::UpdateCommTimeouts() {
    if (!open_) return;
    const int error = platform_->ApplyTimeouts(handle_);
    if (error != 0) throw ECommError(kTimeoutsError, error);
}

void TThreadComm::HandleCommEvent(TCommEventThread*, uint32_t mask) {
    TComStat stat;
    const int in = InQueCount();
    const int out = OutQueCount();
    stat.cbInQue = in > 0 ? static_cast<uint32_t>(in) : 0;
    stat.cbOutQue = out > 0 ? static_cast<uint32_t>(out) : 0;
    LineCounters counters;
    if (open_) platform_->ReadLineCounters(handle_, counters);
    auto call = [this](const std::function<void(TThreadComm*)>& handler) {
        if (handler) handler(this);
    };
    if (mask & EV_BREAK) call(OnBreak);
    if (mask & EV_CTS) call(OnCts);
    if (mask & EV_DSR) call(OnDsr);
    if ((mask & EV_ERR) && OnError) OnError(this, static_cast<int>(counters.errors));
    if (mask & EV_RING) call(OnRing);
    if (mask & EV_RLSD) call(OnRlsd);
    if ((mask & EV_RXCHAR) && stat.cbInQue > 0 && OnRxChar) OnRxChar(this, stat.cbInQue);
    if (mask & EV_RXFLAG) call(OnRxFlag);
    if (mask & EV_TXEMPTY) call(OnTxEmpty);
    if (OnComStatEvent) OnComStatEvent(this, mask, stat);
}

// --- properties ---

void TThreadComm::SetDeviceName(const std::string& name) {
    if (!open_) deviceName_ = name;
}
void TThreadComm::SetReadBufSize(uint16_t size) {
    if (!open_) readBufSize_ = size;
}
void TThreadComm::SetWriteBufSize(uint16_t size) {
    if (!open_) writeBufSize_ = size;
}
void TThreadComm::SetSuspendTime(uint32_t ms) {
    if (!open_) suspendTime_ = ms;
}
void TThreadComm::SetMonitorEvents(TCommEventTypes events) {
    if (!open_) monitorEvents_ = events;
}

template <typename T> void TThreadComm::SetLineProperty(T& field, T value) {
    if (field == value) return;
    field = value;
    UpdateDataControlBlockLock();
}
void TThreadComm::SetBaudRate(TBaudRate rate) {
    SetLineProperty(baudRate_, rate);
}
void TThreadComm::SetParity(TParity parity) {
    SetLineProperty(parity_, parity);
}
void TThreadComm::SetStopBits(TStopBits bits) {
    SetLineProperty(stopBits_, bits);
}
void TThreadComm::SetDataBits(TDataBits bits) {
    SetLineProperty(dataBits_, bits);
}
void TThreadComm::SetOptions(TCommOptions options) {
    SetLineProperty(options_, options);
}
void TThreadComm::SetFlowControl(TFlowControl flow) {
    SetLineProperty(flowControl_, flow);
}

// The component as the serial read-out's line.
bool CommLine::Enabled() {
    return comm_.Enabled();
}
int CommLine::Write(const uint8_t* data, int count) {
    return comm_.Write(data, count);
}
int CommLine::Read(uint8_t* data, int count) {
    return comm_.Read(data, count);
}
int CommLine::InQueCount() {
    return comm_.InQueCount();
}
int CommLine::OutQueCount() {
    return comm_.OutQueCount();
}
void CommLine::PurgeIn() {
    comm_.PurgeIn();
}
bool CommLine::Lost() {
    return comm_.LineLost();
}

} // namespace vyz
