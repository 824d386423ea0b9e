// Plays the USB worker's side of the display-image exchange as the link shares it
// (link/usb_shared.h): waits for ScreenRdEvent in 5 ms looks, takes the state usReadScreen,
// writes ScreenDataSize and the image into ScreenBuffer, stores ScreenReadResult and sets
// ScrReadedEvent at every end of the request; without an instrument it searches until the viewer
// puts the state back to idle, and then reports the request cancelled.
//
// It stands in for the real worker thread, which needs the stand-in USB library and its
// simulated instrument; a test that runs the real worker replaces this class and keeps the test
// bodies.
#pragma once

#include "link/usb_shared.h"
#include "platform/events.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

class ContractWorker {
public:
    struct Reply {
        int32_t size = 0;           // the first word of the reply (ScreenDataSize)
        std::vector<uint8_t> image; // copied into ScreenBuffer when size is one of the two
        bool instrumentPresent = true;
        int delayMs = 20; // the exchange's duration
    };

    ContractWorker(std::shared_ptr<vyz::AutoResetEvent> request,
                   std::shared_ptr<vyz::AutoResetEvent> answered)
        : request_(std::move(request)), answered_(std::move(answered)) {
        vyz::UsbState = vyz::usIdle;
        vyz::UsbWorkerRunning = true;
        thread_ = std::thread([this] { run(); });
    }
    ~ContractWorker() { stop(); }
    void stop() {
        if (!thread_.joinable()) return;
        stop_ = true;
        thread_.join();
        vyz::UsbWorkerRunning = false;
    }

    void setReply(Reply reply) {
        std::lock_guard lock(mutex_);
        reply_ = std::move(reply);
    }
    int served() const { return served_; }
    // The buffers the requests pointed to, in order.
    std::vector<uint8_t*> buffers() const {
        std::lock_guard lock(mutex_);
        return buffers_;
    }

private:
    void run() {
        while (!stop_) {
            if (!request_->wait(5)) continue;
            vyz::UsbState = vyz::usReadScreen;
            Reply reply;
            {
                std::lock_guard lock(mutex_);
                reply = reply_;
            }
            // Searching for the instrument until it is there or the viewer gives up.
            while (!reply.instrumentPresent && vyz::UsbState == vyz::usReadScreen && !stop_)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (!reply.instrumentPresent) {
                vyz::ScreenReadResult = vyz::usbResultCancelled;
                answered_->set();
                ++served_;
                continue;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
            uint8_t* buffer = vyz::ScreenBuffer.load();
            {
                std::lock_guard lock(mutex_);
                buffers_.push_back(buffer);
            }
            vyz::ScreenDataSize = reply.size;
            const bool known =
                reply.size == vyz::ScreenColourSize || reply.size == vyz::ScreenMonoSize;
            if (known) std::memcpy(buffer, reply.image.data(), std::size_t(reply.size));
            vyz::UsbState = vyz::usIdle;
            vyz::ScreenReadResult = known ? vyz::usbResultDone : vyz::usbResultFailed;
            answered_->set();
            ++served_;
        }
    }

    std::shared_ptr<vyz::AutoResetEvent> request_, answered_;
    mutable std::mutex mutex_;
    Reply reply_;
    std::vector<uint8_t*> buffers_;
    std::atomic<bool> stop_{false};
    std::atomic<int> served_{0};
    std::thread thread_;
};
