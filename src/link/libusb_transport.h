// The USB transport: binds the libusb 0.1 library at run time (by its soname, so a stand-in
// library earlier on the loader path replaces it), finds the instrument on the bus, opens it, moves
// bytes by bulk transfers and turns libusb result codes into short bilingual texts. It knows no
// protocol; the worker (usb_worker.h) does.
//
// Every operation takes the object's lock, so the worker and the user-interface thread (port
// menu, program exit) never use the library at the same moment; an operation on a closed device or
// an unloaded library fails cleanly instead of calling through a null pointer.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

struct usb_dev_handle;

namespace vyz {

inline constexpr const char* LibUsbFileName = "libusb-0.1.so.4";
inline constexpr uint16_t InstrumentVendorIds[] = {0x03EB, 0x0483};
inline constexpr uint16_t InstrumentProductId = 0x0130;
inline constexpr int InstrumentConfiguration = 1;
inline constexpr int InstrumentInterface = 0;
inline constexpr int EndpointOut = 0x01;
inline constexpr int EndpointIn = 0x82;
inline constexpr int TransferTimeoutMs = 4000;
// The "not connected" message is shown again only after this quiet time without searches.
inline constexpr uint32_t SearchQuietMs = 2000;

// Milliseconds of a monotonic clock, wrapping like a 32-bit tick count.
uint32_t TickCount();

// The time of the last unsuccessful device search (0 at start).
extern std::atomic<uint32_t> LastSearchTick;

class TLibUsb {
public:
    TLibUsb();
    TLibUsb(const TLibUsb&) = delete;
    TLibUsb& operator=(const TLibUsb&) = delete;

    // 0 bound (also when it was bound before), 1 library not loadable, 2 an entry point missing.
    int InitLibUsb();
    // 0 the instrument is open, 1 not found (or it could not be opened).
    int FindDevice();
    bool isDeviceOpened() const { return device_.load() != nullptr; }
    bool isLibraryLoaded() const { return library_.load() != nullptr; }
    // Bytes moved, or a negative errno code.
    int WriteData(const uint8_t* bytes, int length);
    int ReadData(uint8_t* buffer, int length);
    int ResetEndPoints();
    void CloseDevice();
    void CloseLibUsb();
    // Closes device and library if the lock comes free within `bound` (the other thread may be
    // inside a transfer of up to TransferTimeoutMs); false when it did not.
    bool TryCloseAll(std::chrono::milliseconds bound);

    // Texts for a libusb result code, in the language of LangIndex or the one given.
    static std::string ErrorText(int code);
    static std::string ErrorText(int code, int lang);

    // Where FindDevice's status-line messages go (the worker hands them to the main window).
    void SetPlainMessageSink(std::function<void(const std::string&)> sink);

    struct Api; // the bound entry points

private:
    int transfer(bool write, uint8_t* bytes, int length);
    void closeDeviceLocked();
    void closeLibraryLocked();
    void plainMessage(const std::string& text);

    mutable std::mutex mutex_;
    std::atomic<void*> library_{nullptr};
    std::atomic<usb_dev_handle*> device_{nullptr};
    Api* api_; // entry points; all null while not bound
    std::mutex sinkMutex_;
    std::function<void(const std::string&)> sink_;
};

// The process-wide transport; never destroyed, as a worker may still be inside it at process end.
extern TLibUsb& LibUSB;

} // namespace vyz
