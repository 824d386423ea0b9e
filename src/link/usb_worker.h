// The USB worker thread: binds the library, idles until the main window asks for the archive
// (DataRdEvent) or the display image (ScreenRdEvent), runs the exchange with the instrument over
// the transport LibUSB, stores what it received, and answers every request at its end (success,
// empty archive, failure, cancel) with a result (DataReadResult, ScreenReadResult) and the
// answering event. It reaches the main window only through UsbHost, so it runs without the GUI.
#pragma once

#include "data/archive_record.h"
#include "link/usb_protocol.h"
#include "link/usb_shared.h"
#include "platform/events.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace vyz {

class TLibUsb;

// Time all workers have spent in their fixed pauses and event looks (the read-out benchmark splits
// a read-out into these and the rest).
extern std::atomic<int64_t> UsbPausedMicroseconds;

// Link indicator colours, in the Windows colour layout (red in the low byte).
inline constexpr uint32_t LinkColourBusy = 65280;   // green
inline constexpr uint32_t LinkColourError = 255;    // red
inline constexpr uint32_t LinkColourIdle = 8421504; // grey

struct UsbEvents {
    std::shared_ptr<AutoResetEvent> dataRd, dataReaded, screenRd, scrReaded;
    bool complete() const { return dataRd && dataReaded && screenRd && scrReaded; }
};

// What the worker needs of the main window. Each call returns when the main window has done it.
class UsbHost {
public:
    virtual ~UsbHost() = default;
    virtual void ShowStatus(const std::string& text) = 0; // status line and message history
    virtual void ShowPlain(const std::string& text) = 0;  // status line only, progress hidden
    virtual void ProgressStart() = 0;           // position 0, visible, second panel emptied
    virtual void ProgressSet(int position) = 0; // 0..1000
    virtual void ProgressHide() = 0;
    virtual uint32_t LinkColour() = 0;
    virtual void SetLinkColour(uint32_t colour) = 0;
    virtual void ClearPanel() = 0; // the second status panel
    // Hands over the records of a finished archive read: the main window replaces its archive
    // with them and refills the table in one step, in the given layout (none: the layout stays).
    // False when it no longer wants them (the read was withdrawn); nothing is replaced then.
    virtual bool CommitArchive(const ArchiveRecord* records, int count,
                               std::optional<bool> coordinates) = 0;
    // The four events; incomplete until the main window has created them.
    virtual UsbEvents Events() = 0;
};

// The fixed pauses of the worker, in milliseconds. Tests shorten the start pause only.
struct UsbPauses {
    int start = 1000;
    int pass = 50;
    int idle = 100;
    int eventLook = 5;
    int afterIdentityCommand = 80;
    int afterIdentity = 100;
    int beforeScreen = 100;
    int screenSearch = 1000;
    int redFlash = 20;
};

class USBThread {
public:
    USBThread(UsbHost& host, TLibUsb& transport, UsbPauses pauses = {});
    ~USBThread(); // asks the thread to stop and joins it
    USBThread(const USBThread&) = delete;
    USBThread& operator=(const USBThread&) = delete;

    void Start();
    // Sets the stop flag; the worker abandons an exchange at its next transfer, closes the device
    // and unloads the library.
    void Terminate();
    bool Terminated() const { return terminated_.load(); }
    // Waits up to `ms` for Execute to return; true when it has (the thread is then joined).
    bool WaitFor(int ms);
    // Lets the thread run on its own when it did not end in time (the process is ending).
    void Detach();

private:
    class Link;
    void Execute();
    void step();
    bool pause(int ms); // false when stopped meanwhile
    void idleStep();
    void openForArchiveStep();
    void identityStep();
    void archiveStateStep();
    void recordsStep();
    void screenStep();
    void failure(const UsbStep& step);
    void endArchiveRead(UsbRequestResult result);
    void finishRequest(bool screen, UsbRequestResult result);
    void setLink(uint32_t colour);
    void showStatus(const std::string& text);
    bool stillWanted() const; // false once stopped or once the requesting side gave up

    UsbHost& host_;
    TLibUsb& usb_;
    UsbPauses pauses_;
    std::unique_ptr<Link> link_;
    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::mutex stopMutex_;
    std::condition_variable stopCv_;
    bool finished_ = false; // guarded by stopMutex_

    // Worker-thread state.
    UsbEvents events_;
    uint16_t archiveState_ = 0;   // the value A of the archive-state reply
    bool archiveWaiting_ = false; // an archive request arrived together with an image request
    bool screenRequest_ = false;  // an image request is being served (for the cancel report)
    // The records of the read under way; they reach the archive only in the window's commit.
    std::unique_ptr<ArchiveRecord[]> staging_;
};

} // namespace vyz

namespace vyz {

// The exit sequence's part of the transport: waits up to `waitMs` for the stopping worker to
// unload the library, then closes the transport itself if the worker is not inside a transfer
// (taking the transport's lock for at most `lockMs`). True when the library is unloaded.
// `whileWaiting` runs at every look (the main window lets a worker blocked in a call to it go on).
bool ReleaseUsbTransport(TLibUsb& transport, int waitMs = 500, int lockMs = 100,
                         const std::function<void()>& whileWaiting = {});

} // namespace vyz
