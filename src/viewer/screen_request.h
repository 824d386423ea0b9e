// Display-image requests to the USB worker. The worker serves one request at a time through one
// shared buffer pointer (ScreenBuffer), so requests from several viewers are queued here and
// handed to the worker one after the other. Each request owns its receive buffer; the queue keeps
// a request alive until the worker has reported its end, so a viewer closed while its request
// runs can go at once without leaving the worker a dangling buffer.
//
// The exchange with the worker: set ScreenBuffer and ScreenReadResult = usbResultPending, signal
// ScreenRdEvent; the worker stores ScreenDataSize, fills the buffer, stores the result and signals
// ScrReadedEvent at every end of the request (done, failed, cancelled).
#pragma once

#include "link/usb_shared.h"
#include "platform/events.h"

#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>
#include <vector>

namespace vyz {

struct ScreenRequest {
    enum class Outcome { Pending, Done, Failed, Cancelled, NoWorker };
    std::vector<uint8_t> buffer = std::vector<uint8_t>(ColourImageBytes);
    Outcome outcome = Outcome::Pending;
    int32_t dataSize = 0; // ScreenDataSize as the worker reported it with the end of the request
    bool finished() const { return outcome != Outcome::Pending; }
};

// The two events of the exchange, owned by the main window for the whole run.
struct ScreenEvents {
    std::shared_ptr<AutoResetEvent> request;  // ScreenRdEvent
    std::shared_ptr<AutoResetEvent> answered; // ScrReadedEvent
};

class ScreenRequestQueue : public QObject {
    Q_OBJECT
public:
    static ScreenRequestQueue& instance();

    // Queues `request`, or hands it to the worker at once when none is in flight. Without a
    // running worker (or without the events) the request ends at once as NoWorker.
    void Submit(const std::shared_ptr<ScreenRequest>& request, const ScreenEvents& events);
    // One look at the answering event, waiting up to `ms` milliseconds; ends the request in
    // flight when the worker has answered, or when the worker has stopped.
    void Poll(int ms);
    // The requesting viewer goes away. A queued request, or one the worker has not picked up
    // yet, ends as Cancelled at once. One the worker is serving is cancelled through UsbState
    // (a worker still searching for the instrument gives it up) and kept, with its buffer,
    // until the worker reports its end.
    void Withdraw(const std::shared_ptr<ScreenRequest>& request);
    // True while a request is with the worker or waiting for it.
    bool Busy() const { return inFlight_ != nullptr; }

private:
    ScreenRequestQueue();
    void startNext();
    void finish(ScreenRequest::Outcome outcome, int32_t dataSize);

    struct Entry {
        std::shared_ptr<ScreenRequest> request;
        ScreenEvents events;
    };
    std::deque<Entry> queued_;
    std::shared_ptr<ScreenRequest> inFlight_;
    ScreenEvents inFlightEvents_;
    bool abandoned_ = false;
    QTimer timer_; // keeps looking while no viewer waits (an abandoned request)
};

} // namespace vyz
