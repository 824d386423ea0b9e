// State the USB worker shares with the rest of the program: its state byte (the display viewer
// cancels a pending image request through it), the instrument's identity text, and the display
// image receive buffer the viewer lends it.
#pragma once

#include "data/instrument_bytes.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace vyz {

enum UsbStateValue : uint8_t {
    usOpenForArchive = 0,
    usReadIdentity = 1,
    usReadArchiveState = 2,
    usReadRecords = 3,
    usReadScreen = 4,
    usIdle = 8,
    usBindLibrary = 255,
};

extern std::atomic<uint8_t> UsbState;
// Up to 63 characters of the instrument's identity and a terminating zero; written by both
// read-outs.
extern char DeviceIdText[64];
// The viewer's receive buffer (ColourImageBytes bytes) for the next image request.
extern std::atomic<uint8_t*> ScreenBuffer;
// The first word of the last display-image reply.
extern std::atomic<int32_t> ScreenDataSize;

// How a request to the worker ended. The worker stores the result and then sets the answering
// event (DataReadedEvent, ScrReadedEvent) at every end of a request, so a waiting side never
// waits for ever: it waits for the event and then looks at the result. For an image request the
// result is stored only after the worker has finished writing ScreenBuffer.
enum UsbRequestResult : int32_t {
    usbResultPending = 0,   // set by the requesting side before it signals the request
    usbResultDone = 1,      // the archive or the image was read
    usbResultEmpty = 2,     // the instrument's archive is empty
    usbResultFailed = 3,    // a transfer or format check failed
    usbResultCancelled = 4, // the requesting side gave the request up (viewer closed)
};
extern std::atomic<int32_t> DataReadResult;
extern std::atomic<int32_t> ScreenReadResult;
// True while a worker thread runs (between its start and the end of its Execute).
extern std::atomic<bool> UsbWorkerRunning;
// Whether the requesting side still wants the archive it asked for. The main window clears it
// when it withdraws a request (stop, the time bound, another port chosen) and when nobody asked
// (the request event starts signalled); the worker then drops the request, gives up its search
// or abandons the exchange at its next transfer, and answers with usbResultCancelled.
extern std::atomic<bool> ArchiveReadWanted;
// True while the worker serves an archive request and its last search found no instrument.
extern std::atomic<bool> UsbArchiveSearching;

} // namespace vyz
