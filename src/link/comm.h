// The serial port component: TThreadComm opens a port by device name for exclusive use, applies
// the line settings, reads and writes with time-outs, reports the queue counts, purges, reads and
// drives the modem lines, and runs an event thread that reports line events to handlers on the
// user-interface thread. TComm is the same component as the main window keeps it (Comm1).
// Every operating-system call goes through CommPlatform (comm_platform.h).
#pragma once

#include "link/comm_platform.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

class QObject;

namespace vyz {

enum TBaudRate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TParity { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits { sb10, sb15, sb20 };
enum TDataBits { da4, da5, da6, da7, da8 };
enum TFlowControl { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommEventType {
    evBreak,
    evCts,
    evDsr,
    evError,
    evRing,
    evRlsd,
    evRxChar,
    evRxFlag,
    evTxEmpty
};
enum TCommOption { coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip };

// Sets of the enumerations above: bit (1 << value).
using TCommEventTypes = uint32_t;
using TCommOptions = uint32_t;
constexpr uint32_t SetOf(int value) {
    return 1u << value;
}
inline constexpr TCommEventTypes AllCommEvents = 0x1FF;

// Line event bits as the event thread reports them.
inline constexpr uint32_t EV_RXCHAR = 0x01;
inline constexpr uint32_t EV_RXFLAG = 0x02;
inline constexpr uint32_t EV_TXEMPTY = 0x04;
inline constexpr uint32_t EV_CTS = 0x08;
inline constexpr uint32_t EV_DSR = 0x10;
inline constexpr uint32_t EV_RLSD = 0x20;
inline constexpr uint32_t EV_BREAK = 0x40;
inline constexpr uint32_t EV_ERR = 0x80;
inline constexpr uint32_t EV_RING = 0x100;
// The event bits of a set of TCommEventType.
uint32_t CommEventMask(TCommEventTypes events);

// EscapeComm functions.
inline constexpr int SETXOFF = 1, SETXON = 2, SETRTS = 3, CLRRTS = 4, SETDTR = 5, CLRDTR = 6,
                     SETBREAK = 8, CLRBREAK = 9;

uint32_t BaudRateValue(TBaudRate rate);

// Every error the component raises: the operation's text with the code in place of "%d".
class ECommError : public std::runtime_error {
public:
    ECommError(const char* format, int code);
    int code() const { return code_; }

private:
    int code_;
};

// Queue status as HandleCommEvent hands it to OnComStatEvent.
struct TComStat {
    uint32_t cbInQue = 0;
    uint32_t cbOutQue = 0;
};

class TThreadComm;

// The five special characters; setting one re-applies the owner's line settings.
class TCommEventChars {
public:
    explicit TCommEventChars(TThreadComm* owner) : owner_(owner) {}
    uint8_t XOnChar() const { return xon_; }
    uint8_t XOffChar() const { return xoff_; }
    uint8_t ErrorChar() const { return error_; }
    uint8_t EofChar() const { return eof_; }
    uint8_t EvtChar() const { return evt_; }
    void SetXOnChar(uint8_t c);
    void SetXOffChar(uint8_t c);
    void SetErrorChar(uint8_t c);
    void SetEofChar(uint8_t c);
    void SetEvtChar(uint8_t c);
    void Assign(const TCommEventChars& other);

private:
    void Set(uint8_t& field, uint8_t value);
    TThreadComm* owner_;
    uint8_t xon_ = 17, xoff_ = 19, error_ = 0, eof_ = 0, evt_ = 0;
};

// Watches the open port and reports line events. It frees itself when it ends; Terminate stops
// it without waiting for it.
class TCommEventThread : public std::enable_shared_from_this<TCommEventThread> {
public:
    using Handler = std::function<void(TCommEventThread*, uint32_t)>;
    TCommEventThread(std::shared_ptr<CommPlatform> platform, int watch, uint32_t suspendTime,
                     TCommEventTypes events, QObject* context);
    ~TCommEventThread();
    void SetHandler(Handler handler); // runs on the user-interface thread, through `context`
    void Start();
    void Terminate();
    void NoteWrite(); // a write was queued: report EV_TXEMPTY once the transmitter is empty
    uint32_t EventMask() const { return lastMask_.load(); }
    uint32_t WatchedMask() const { return mask_; }
    uint32_t SuspendTime() const { return suspendTime_; }

private:
    void Execute();
    void Dispatch(uint32_t mask);

    std::shared_ptr<CommPlatform> platform_;
    int watch_;
    int waker_;
    uint32_t suspendTime_;
    uint32_t mask_;
    QObject* context_;
    std::atomic<uint32_t> lastMask_{0};
    std::atomic<bool> terminated_{false};
    std::atomic<bool> pendingTx_{false};
    std::mutex mutex_;
    std::condition_variable handled_;
    Handler handler_;
    uint64_t dispatched_ = 0, completed_ = 0;
};

class TThreadComm {
public:
    explicit TThreadComm(std::shared_ptr<CommPlatform> platform = PosixCommPlatform());
    virtual ~TThreadComm();
    TThreadComm(const TThreadComm&) = delete;
    TThreadComm& operator=(const TThreadComm&) = delete;

    void Open();
    void Close();
    bool Enabled() const { return open_; }
    // The system's error number of the last refused open (0 after a successful one).
    int LastOpenError() const { return openError_; }
    int Write(const void* buffer, int count);
    int Read(void* buffer, int count);
    // True once a write has found the port gone (the device hung up: an adapter unplugged, the
    // other side of a pseudo-terminal closed); such a handle never works again. Cleared by Open.
    bool LineLost() const { return lineLost_; }
    int InQueCount();
    int OutQueCount();
    void PurgeIn();
    void PurgeOut();
    bool GetModemState(int line);
    bool GetComState(int flag);
    void EscapeComm(int function);
    void SetDTRState(bool on) { EscapeComm(on ? SETDTR : CLRDTR); }
    void SetRTSState(bool on) { EscapeComm(on ? SETRTS : CLRRTS); }
    void SetBREAKState(bool on);
    void SetXONState(bool on) { EscapeComm(on ? SETXON : SETXOFF); }
    void CheckOpen();
    void UpdateDataControlBlock();
    void UpdateDataControlBlockLock();
    void UpdateCommTimeouts();
    virtual void CreateHandle();
    void DestroyHandle();
    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }
    void HandleCommEvent(TCommEventThread* thread, uint32_t mask);

    // --- properties ---
    const std::string& DeviceName() const { return deviceName_; }
    void SetDeviceName(const std::string& name);
    int ReadTimeout() const { return readTimeout_; }
    void SetReadTimeout(int ms) { readTimeout_ = ms; }
    int WriteTimeout() const { return writeTimeout_; }
    void SetWriteTimeout(int ms) { writeTimeout_ = ms; }
    uint16_t ReadBufSize() const { return readBufSize_; }
    void SetReadBufSize(uint16_t size);
    uint16_t WriteBufSize() const { return writeBufSize_; }
    void SetWriteBufSize(uint16_t size);
    uint32_t SuspendTime() const { return suspendTime_; }
    void SetSuspendTime(uint32_t ms);
    TCommEventTypes MonitorEvents() const { return monitorEvents_; }
    void SetMonitorEvents(TCommEventTypes events);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate rate);
    TParity Parity() const { return parity_; }
    void SetParity(TParity parity);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits bits);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits bits);
    TCommEventChars& EventChars() { return eventChars_; }
    TCommOptions Options() const { return options_; }
    void SetOptions(TCommOptions options);
    TFlowControl FlowControl() const { return flowControl_; }
    void SetFlowControl(TFlowControl flow);

    // --- line-event handlers (run on the user-interface thread) ---
    std::function<void(TThreadComm*)> OnBreak, OnCts, OnDsr, OnRing, OnRlsd, OnRxFlag, OnTxEmpty;
    std::function<void(TThreadComm*, int)> OnError;
    std::function<void(TThreadComm*, uint32_t)> OnRxChar;
    std::function<void(TThreadComm*, uint32_t, const TComStat&)> OnComStatEvent;

    CommPlatform& Platform() { return *platform_; }

private:
    template <typename T> void SetLineProperty(T& field, T value);

    std::shared_ptr<CommPlatform> platform_;
    int handle_ = -1;
    std::string deviceName_ = "Com2";
    std::recursive_mutex lock_;
    int readTimeout_ = 1000;
    int writeTimeout_ = 1000;
    uint16_t readBufSize_ = 4096;
    uint16_t writeBufSize_ = 2048;
    uint32_t suspendTime_ = 5;
    TCommEventTypes monitorEvents_ = AllCommEvents;
    TBaudRate baudRate_ = br9600;
    TParity parity_ = paNone;
    TStopBits stopBits_ = sb10;
    TDataBits dataBits_ = da8;
    bool open_ = false;
    int openError_ = 0;
    bool lineLost_ = false;
    std::shared_ptr<TCommEventThread> eventThread_;
    TCommEventChars eventChars_{this};
    TCommOptions options_ = 0;
    TFlowControl flowControl_ = fcDefault;
    std::unique_ptr<QObject> context_; // where the event thread's handler calls run
};

// The component as the main window keeps it.
class TComm : public TThreadComm {
public:
    using TThreadComm::TThreadComm;
    ~TComm() override;
};

} // namespace vyz
