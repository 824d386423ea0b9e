#include "link/usb_protocol.h"

#include "link/usb_shared.h"

#include <cstring>

namespace vyz {
namespace {

// One bulk read; the bytes a short reply leaves out are zero.
bool read(UsbLink& link, UsbStep& step, uint8_t* buffer, int length) {
    std::memset(buffer, 0, static_cast<size_t>(length));
    step.lastResult = link.Read(buffer, length);
    if (step.lastResult >= 0) return true;
    step.outcome = UsbOutcome::TransferFailed;
    return false;
}

// A measurement record or an image row that comes short would be stored with made-up bytes: it
// fails the exchange instead (the status line then shows the count that came).
bool readWhole(UsbLink& link, UsbStep& step, uint8_t* buffer, int length) {
    if (!read(link, step, buffer, length)) return false;
    if (step.lastResult == length) return true;
    step.outcome = UsbOutcome::TransferFailed;
    return false;
}

bool send(UsbLink& link, UsbStep& step, uint8_t code) {
    const auto command = CommandFrame(code);
    step.lastResult = link.Write(command.data(), 2);
    if (step.lastResult >= 0) return true;
    step.outcome = UsbOutcome::TransferFailed;
    return false;
}

template <class Step> Step fail(Step step, UsbOutcome outcome) {
    step.outcome = outcome;
    return step;
}

} // namespace

UsbStep SendUsbCommand(UsbLink& link, uint8_t code) {
    UsbStep step;
    send(link, step, code);
    return step;
}

UsbIdentity ReadUsbIdentity(UsbLink& link, char* text) {
    UsbIdentity step;
    uint8_t receive[64];
    if (!read(link, step, receive, 4)) return step;
    step.announced = LeInt32(receive);
    if (step.announced < 0) return fail(step, UsbOutcome::BadIdentityLength);
    int length = step.announced >= 64 ? 63 : step.announced;
    if (length > 0) {
        if (!read(link, step, receive, length)) return step;
        if (step.lastResult < length) length = step.lastResult;
    }
    for (int i = 0; i < length; ++i)
        text[i] = receive[i] == 0 ? ' ' : static_cast<char>(receive[i]);
    text[length] = 0;
    return step;
}

UsbArchiveState ReadUsbArchiveState(UsbLink& link) {
    UsbArchiveState step;
    uint8_t receive[4];
    if (!send(link, step, CmdArchiveState) || !read(link, step, receive, 4)) return step;
    if (LeInt32(receive) != 2) return fail(step, UsbOutcome::BadStateLength);
    if (!read(link, step, receive, 2)) return step;
    step.value = Le16(receive);
    return step;
}

UsbRecordsHeader ReadUsbRecordsHeader(UsbLink& link, int capacity) {
    UsbRecordsHeader step;
    uint8_t receive[8];
    if (!send(link, step, CmdRecords) || !read(link, step, receive, 8)) return step;
    step.count = LeInt32(receive);
    step.size = LeInt32(receive + 4);
    if (step.count < 0 || step.count > capacity || step.size < UsbMinRecordSize ||
        step.size > UsbReceiveSize)
        return fail(step, UsbOutcome::BadArchiveSize);
    return step;
}

UsbStep ReadUsbRecords(UsbLink& link, const UsbRecordsHeader& header, ArchiveRecord* records,
                       const std::function<void(int)>& progress) {
    UsbStep step;
    uint8_t receive[UsbReceiveSize];
    for (int i = 0; i < header.count; ++i) {
        if (progress) progress(i);
        std::memset(receive, 0, 32); // a record of 22 or 23 bytes leaves the tail word zero
        if (!readWhole(link, step, receive, header.size)) return step;
        PlaceUsbRecord(records[i], receive, header.coordinates());
    }
    return step;
}

void PlaceUsbRecord(ArchiveRecord& slot, const uint8_t* received, bool coordinates) {
    if (coordinates) {
        PlaceCoordinatesRecord(slot, received);
    } else {
        slot.Latitude = 0; // no coordinates in this layout
        slot.Longitude = 0;
        PlacePlainRecord(slot, received);
    }
}

UsbScreen ReadUsbScreen(UsbLink& link, uint8_t* buffer) {
    UsbScreen step;
    uint8_t receive[4];
    if (!send(link, step, CmdScreen) || !read(link, step, receive, 4)) return step;
    step.size = LeInt32(receive);
    if (buffer && step.size == ColourImageBytes) {
        for (int row = 0; row < DisplayHeight; ++row)
            if (!readWhole(link, step, buffer + row * ColourImageRowBytes, ColourImageRowBytes))
                return step;
    } else if (buffer && step.size == MonoImageBytes) {
        readWhole(link, step, buffer, MonoImageBytes);
    } else {
        return fail(step, UsbOutcome::BadScreenSize);
    }
    return step;
}

} // namespace vyz
