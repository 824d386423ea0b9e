#include "viewer/screen_request.h"

#include <algorithm>

namespace vyz {

ScreenRequestQueue& ScreenRequestQueue::instance() {
    static ScreenRequestQueue queue;
    return queue;
}

ScreenRequestQueue::ScreenRequestQueue() {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(0); });
}

void ScreenRequestQueue::Submit(const std::shared_ptr<ScreenRequest>& request,
                                const ScreenEvents& events) {
    if (!UsbWorkerRunning.load() || !events.request || !events.answered) {
        request->outcome = ScreenRequest::Outcome::NoWorker;
        return;
    }
    queued_.push_back({request, events});
    if (!inFlight_) startNext();
}

void ScreenRequestQueue::startNext() {
    while (!inFlight_ && !queued_.empty()) {
        Entry next = std::move(queued_.front());
        queued_.pop_front();
        if (!UsbWorkerRunning.load()) {
            next.request->outcome = ScreenRequest::Outcome::NoWorker;
            continue;
        }
        inFlight_ = next.request;
        inFlightEvents_ = next.events;
        abandoned_ = false;
        ScreenBuffer.store(inFlight_->buffer.data());
        ScreenReadResult.store(usbResultPending);
        inFlightEvents_.request->set();
        timer_.start();
    }
}

void ScreenRequestQueue::finish(ScreenRequest::Outcome outcome, int32_t dataSize) {
    inFlight_->outcome = outcome;
    inFlight_->dataSize = dataSize;
    inFlight_.reset();
    inFlightEvents_ = {};
    ScreenBuffer.store(nullptr);
    timer_.stop();
    startNext();
}

void ScreenRequestQueue::Poll(int ms) {
    if (!inFlight_) return;
    if (abandoned_) {
        // A worker still searching for the instrument gives the request up when the state goes
        // back to idle; a running transfer finishes and sets the state itself.
        uint8_t expected = usReadScreen;
        UsbState.compare_exchange_strong(expected, usIdle);
    }
    bool answered = inFlightEvents_.answered->wait(ms);
    if (!answered && !UsbWorkerRunning.load()) {
        // The worker has stopped; it may have answered just before.
        answered = inFlightEvents_.answered->wait(0);
        if (!answered) {
            finish(ScreenRequest::Outcome::Failed, 0);
            return;
        }
    }
    if (!answered) return;
    switch (ScreenReadResult.load()) {
    case usbResultDone:
        finish(ScreenRequest::Outcome::Done, ScreenDataSize.load());
        break;
    case usbResultCancelled:
        finish(ScreenRequest::Outcome::Cancelled, 0);
        break;
    default: // failed, or an answer without a result
        finish(ScreenRequest::Outcome::Failed, ScreenDataSize.load());
        break;
    }
}

void ScreenRequestQueue::Withdraw(const std::shared_ptr<ScreenRequest>& request) {
    if (request->finished()) return;
    auto queuedAt = std::find_if(queued_.begin(), queued_.end(),
                                 [&](const Entry& e) { return e.request == request; });
    if (queuedAt != queued_.end()) {
        queued_.erase(queuedAt);
        request->outcome = ScreenRequest::Outcome::Cancelled;
        return;
    }
    if (request != inFlight_) return;
    // Taking the request event back succeeds only when the worker has not picked it up.
    if (inFlightEvents_.request->wait(0)) {
        finish(ScreenRequest::Outcome::Cancelled, 0);
        return;
    }
    abandoned_ = true;
    Poll(0);
}

} // namespace vyz
