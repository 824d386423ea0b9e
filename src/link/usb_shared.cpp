#include "link/usb_shared.h"

namespace vyz {

std::atomic<uint8_t> UsbState{usBindLibrary};
char DeviceIdText[64] = {};
std::atomic<uint8_t*> ScreenBuffer{nullptr};
std::atomic<int32_t> ScreenDataSize{0};
std::atomic<int32_t> DataReadResult{usbResultPending};
std::atomic<int32_t> ScreenReadResult{usbResultPending};
std::atomic<bool> UsbWorkerRunning{false};
std::atomic<bool> ArchiveReadWanted{true};
std::atomic<bool> UsbArchiveSearching{false};

} // namespace vyz
