#include "link/libusb_transport.h"

#include "data/text_pair.h"
#include "platform/usb_log.h"

#include <cerrno>
#include <cstdio>
#include <dlfcn.h>
#include <thread>
#include <usb.h>

namespace vyz {

TLibUsb& LibUSB = *new TLibUsb;
std::atomic<uint32_t> LastSearchTick{0};

uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The 25 entry points the Linux library exports, stored and resolved in this order.
struct TLibUsb::Api {
    int (*usb_bulk_read)(usb_dev_handle*, int, char*, int, int);
    int (*usb_bulk_write)(usb_dev_handle*, int, const char*, int, int);
    int (*usb_claim_interface)(usb_dev_handle*, int);
    int (*usb_clear_halt)(usb_dev_handle*, unsigned int);
    int (*usb_close)(usb_dev_handle*);
    int (*usb_control_msg)(usb_dev_handle*, int, int, int, int, char*, int, int);
    struct usb_device* (*usb_device)(usb_dev_handle*);
    int (*usb_find_busses)();
    int (*usb_find_devices)();
    struct usb_bus* (*usb_get_busses)();
    int (*usb_get_descriptor)(usb_dev_handle*, unsigned char, unsigned char, void*, int);
    int (*usb_get_descriptor_by_endpoint)(usb_dev_handle*, int, unsigned char, unsigned char, void*,
                                          int);
    int (*usb_get_string)(usb_dev_handle*, int, int, char*, size_t);
    int (*usb_get_string_simple)(usb_dev_handle*, int, char*, size_t);
    void (*usb_init)();
    int (*usb_interrupt_read)(usb_dev_handle*, int, char*, int, int);
    int (*usb_interrupt_write)(usb_dev_handle*, int, const char*, int, int);
    usb_dev_handle* (*usb_open)(struct usb_device*);
    int (*usb_release_interface)(usb_dev_handle*, int);
    int (*usb_reset)(usb_dev_handle*);
    int (*usb_resetep)(usb_dev_handle*, unsigned int);
    int (*usb_set_altinterface)(usb_dev_handle*, int);
    int (*usb_set_configuration)(usb_dev_handle*, int);
    void (*usb_set_debug)(int);
    char* (*usb_strerror)();
};

namespace {

constexpr const char* EntryPointNames[] = {
    "usb_bulk_read",
    "usb_bulk_write",
    "usb_claim_interface",
    "usb_clear_halt",
    "usb_close",
    "usb_control_msg",
    "usb_device",
    "usb_find_busses",
    "usb_find_devices",
    "usb_get_busses",
    "usb_get_descriptor",
    "usb_get_descriptor_by_endpoint",
    "usb_get_string",
    "usb_get_string_simple",
    "usb_init",
    "usb_interrupt_read",
    "usb_interrupt_write",
    "usb_open",
    "usb_release_interface",
    "usb_reset",
    "usb_resetep",
    "usb_set_altinterface",
    "usb_set_configuration",
    "usb_set_debug",
    "usb_strerror",
};
static_assert(sizeof(TLibUsb::Api) == std::size(EntryPointNames) * sizeof(void*));

const TextPair NotConnectedText{
    "Прибор не подключен к шине USB или выключен. Включите прибор, подключите его к шине USB и "
    "перезапустите программу",
    "The device is not connected to the USB bus or off. Turn on the device, connect it to the USB "
    "bus, and restart the program"};

// The instrument could not be opened for writing: on Linux nearly always the rights on its device
// node.
const TextPair NoAccessText{
    "Нет доступа к прибору на шине USB. Доступ даёт правило udev 60-vyz1.rules: оно входит в "
    "пакет программы (/usr/lib/udev/rules.d); иначе скопируйте его из папки packaging/udev "
    "программы в /etc/udev/rules.d/ и выполните \"sudo udevadm control --reload\". Затем "
    "подключите прибор заново",
    "No access to the device on the USB bus. The udev rule 60-vyz1.rules grants it: it comes "
    "with the program's package (/usr/lib/udev/rules.d); otherwise copy it from the program's "
    "packaging/udev folder to /etc/udev/rules.d/ and run \"sudo udevadm control --reload\". "
    "Then connect the device again"};

struct ErrorRow {
    int errnoValue;
    const char* ru;
    const char* en; // null: the Russian text serves both languages
};

const ErrorRow ErrorTable[] = {
    {EPERM, "LibUsb: Операция запрещена", "LibUsb: Operation not permitted"},
    {ENOENT, "LibUsb: Нет такого файла или папки",
     "LibUsb: No entry, ENOFILE, no such file or directory"},
    {ESRCH, "LibUsb: Нет такого процесса", "LibUsb: No such process"},
    {EINTR, "LibUsb: Прерванный вызов функции", "LibUsb: Interrupted function call"},
    {EIO, "LibUsb: Ошибка ввода/вывода", "LibUsb: I/O error"},
    {ENXIO, "LibUsb: Нет такого устройства или адреса", "LibUsb: No such device or address"},
    {E2BIG, "LibUsb: Слишком длинный список аргументов", "LibUsb: Arg list too long"},
    {ENOEXEC, "LibUsb: Ошибка формата", "LibUsb: Exec format error"},
    {EBADF, "LibUsb: Неверный дескриптор", "LibUsb: Bad file descriptor"},
    {ECHILD, "LibUsb: Нет порожденных процессов", "LibUsb: No child processes"},
    {EAGAIN, "LibUsb: Ресурс временно недоступен", "LibUsb: Resource temporarily unavailable"},
    {ENOMEM, "LibUsb: Не хватает места", "LibUsb: Not enough space"},
    {EACCES, "LibUsb: Доступ запрещен", "LibUsb: Permission denied"},
    {EFAULT, "LibUsb: Неверный адрес", "LibUsb: Bad address"},
    {EBUSY, "LibUsb: strerror reports \"Resource device\"", nullptr},
    {EEXIST, "LibUsb: Файл существует", "LibUsb: File exists"},
    {EXDEV, "LibUsb: Неправильная ссылка", "LibUsb: Improper link (cross-device link?)"},
    {ENODEV, "LibUsb: Нет такого устройства", "LibUsb: No such device"},
    {ENOTDIR, "LibUsb: Нет такой папки", "LibUsb: Not a directory"},
    {EISDIR, "LibUsb: Is a directory", nullptr},
    {EINVAL, "LibUsb: Неправильный аргумент", "LibUsb: Invalid argument"},
    {ENFILE, "LibUsb: Слишком много открытых файлов в системе",
     "LibUsb: Too many open files in system"},
    {EMFILE, "LibUsb: Слишком много открытых файлов", "LibUsb: Too many open files"},
    {ENOTTY, "LibUsb: Неправильная операция ввода/вывода",
     "LibUsb: Inappropriate I/O control operation"},
    {EFBIG, "LibUsb: Файл слишком велик", "LibUsb: File too large"},
    {ENOSPC, "LibUsb: Нет свободного места на устройстве", "LibUsb: No space left on device"},
    {ESPIPE, "LibUsb: Invalid seek (seek on a pipe?)", nullptr},
    {EROFS, "LibUsb: Файловая система только для чтения", "LibUsb: Read-only file system"},
    {EMLINK, "LibUsb: Слишком много ссылок", "LibUsb: Too many links"},
    {EPIPE, "LibUsb: Обрыв в канале", "LibUsb: Broken pipe"},
    {EDOM, "LibUsb: Domain error (math functions)", nullptr},
    {ERANGE, "LibUsb: Результат слишком велик (или мал)",
     "LibUsb: Result too large (possibly too small)"},
    {ENAMETOOLONG, "LibUsb: Слишком длинное имя файла", "LibUsb: Filename too long"},
    {ENOTEMPTY, "LibUsb: Папка не пуста", "LibUsb: Directory not empty"},
    {ETIMEDOUT, "LibUsb: Тайм-аут", "LibUsb: Time-out"},
};

// A refusal for lack of rights. Debian's libusb 0.1 returns a handle from usb_open even when the
// device node may not be written (it falls back to a read-only handle) or not opened at all (a
// handle without a file); the refusal shows at the first request on it, as EPERM from usbfs for a
// read-only handle, EBADF for none, EACCES for a handle whose rights were dropped. Every later
// request on such a handle is refused the same way, so configuration and claim tell it.
bool isAccessRefusal(int result) {
    return result == -EPERM || result == -EBADF || result == -EACCES;
}

bool isInstrument(const usb_device_descriptor& d) {
    if (d.idProduct != InstrumentProductId) return false;
    for (uint16_t vendor : InstrumentVendorIds)
        if (d.idVendor == vendor) return true;
    return false;
}

// " (01 FE)": the first byte and up to three more that lie within the requested length.
std::string dump(const uint8_t* bytes, int length) {
    std::string text = " (";
    char hex[4];
    for (int i = 0; i < length && i < 4; ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += hex;
    }
    return text + ")";
}

} // namespace

TLibUsb::TLibUsb() : api_(new Api{}) {}

void TLibUsb::SetPlainMessageSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(sinkMutex_);
    sink_ = std::move(sink);
}

void TLibUsb::plainMessage(const std::string& text) {
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard lock(sinkMutex_);
        sink = sink_;
    }
    if (sink) sink(text);
}

int TLibUsb::InitLibUsb() {
    std::lock_guard lock(mutex_);
    AddLogUSB("=============================");
    AddLogUSB("=    Initialize LibUsb      =");
    AddLogUSB("=============================");
    if (library_.load()) return 0;
    AddLogUSB(std::string("LoadLibrary(\"") + LibUsbFileName + "\");");
    void* library = ::dlopen(LibUsbFileName, RTLD_NOW | RTLD_LOCAL);
    if (!library) return 1;
    AddLogUSB("LibUsb loaded!");
    AddLogUSB("Library initialize...");
    void** slots = reinterpret_cast<void**>(api_);
    for (size_t i = 0; i < std::size(EntryPointNames); ++i) {
        slots[i] = ::dlsym(library, EntryPointNames[i]);
        if (!slots[i]) {
            *api_ = Api{};
            ::dlclose(library);
            return 2;
        }
    }
    library_ = library;
    api_->usb_init();
    AddLogUSB("Library initialized!");
    return 0;
}

int TLibUsb::FindDevice() {
    std::string message; // shown after the lock is released
    int result = 1;
    {
        std::lock_guard lock(mutex_);
        if (!library_.load()) return 1;
        AddLogUSB("Find buses and devices...");
        const int busChanges = api_->usb_find_busses();
        const int deviceChanges = api_->usb_find_devices();
        AddLogUSB("Buses and devices found!");
        AddLogUSB("Device search...");
        struct usb_device* found = nullptr;
        for (usb_bus* bus = api_->usb_get_busses(); bus && !found; bus = bus->next)
            for (struct usb_device* dev = bus->devices; dev; dev = dev->next)
                if (isInstrument(dev->descriptor)) {
                    found = dev;
                    break;
                }
        if (found && busChanges == 0 && deviceChanges == 0 && device_.load()) return 0;
        closeDeviceLocked(); // a handle from before a change on the bus is stale
        if (found) {
            usb_dev_handle* handle = api_->usb_open(found);
            bool refused = !handle;
            if (handle) {
                const int configured = api_->usb_set_configuration(handle, InstrumentConfiguration);
                const int claimed = api_->usb_claim_interface(handle, InstrumentInterface);
                refused = isAccessRefusal(configured) || isAccessRefusal(claimed);
                if (refused) {
                    api_->usb_close(handle);
                } else {
                    if (configured < 0) message = ErrorText(configured);
                    if (claimed < 0) message = ErrorText(claimed);
                    device_ = handle;
                    AddLogUSB("Device found!");
                    result = 0;
                }
            }
            if (refused) AddLogUSB("Device NOT opened!");
        }
        if (result != 0) {
            const uint32_t now = TickCount();
            const uint32_t last = LastSearchTick.load();
            const uint32_t quiet = now >= last ? now - last : last - now;
            if (quiet > SearchQuietMs) {
                if (found) {
                    message = NoAccessText();
                } else {
                    AddLogUSB("Device NOT found!");
                    message = NotConnectedText();
                }
            }
            LastSearchTick = now;
        }
    }
    if (!message.empty()) plainMessage(message);
    return result;
}

int TLibUsb::transfer(bool write, uint8_t* bytes, int length) {
    std::lock_guard lock(mutex_);
    usb_dev_handle* handle = device_.load();
    int r = -ENODEV;
    if (handle && library_.load())
        r = write ? api_->usb_bulk_write(handle, EndpointOut, reinterpret_cast<const char*>(bytes),
                                         length, TransferTimeoutMs)
                  : api_->usb_bulk_read(handle, EndpointIn, reinterpret_cast<char*>(bytes), length,
                                        TransferTimeoutMs);
    std::string line = write ? "LibUsb WriteData(), " : "LibUsb ReadData(), ";
    line += std::to_string(length);
    if (r == length)
        line += " byte(s), OK" + dump(bytes, length);
    else
        line += " byte(s), ERROR " + ErrorText(r);
    AddLogUSB(line);
    return r;
}

int TLibUsb::WriteData(const uint8_t* bytes, int length) {
    return transfer(true, const_cast<uint8_t*>(bytes), length);
}

int TLibUsb::ReadData(uint8_t* buffer, int length) {
    return transfer(false, buffer, length);
}

int TLibUsb::ResetEndPoints() {
    std::lock_guard lock(mutex_);
    AddLogUSB("LibUsb EndPoint Reset");
    if (usb_dev_handle* handle = device_.load(); handle && library_.load()) {
        api_->usb_resetep(handle, EndpointIn);
        api_->usb_resetep(handle, EndpointOut);
    }
    return 0;
}

void TLibUsb::closeDeviceLocked() {
    if (usb_dev_handle* handle = device_.exchange(nullptr); handle && library_.load())
        api_->usb_close(handle);
}

void TLibUsb::CloseDevice() {
    std::lock_guard lock(mutex_);
    closeDeviceLocked();
    AddLogUSB("Device closed! (DeviceHandle=NULL)");
    AddLogUSB("--------------");
}

void TLibUsb::closeLibraryLocked() {
    AddLogUSB("LibUsb close...");
    closeDeviceLocked();
    *api_ = Api{};
    if (void* library = library_.exchange(nullptr)) ::dlclose(library);
    AddLogUSB("LibUsb closed!");
    AddLogUSB("=============================");
}

void TLibUsb::CloseLibUsb() {
    std::lock_guard lock(mutex_);
    closeLibraryLocked();
}

bool TLibUsb::TryCloseAll(std::chrono::milliseconds bound) {
    // Polled rather than a timed lock: the other thread holds the lock for a whole transfer.
    const auto end = std::chrono::steady_clock::now() + bound;
    std::unique_lock lock(mutex_, std::try_to_lock);
    while (!lock.owns_lock()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        lock.try_lock();
    }
    closeDeviceLocked();
    AddLogUSB("Device closed! (DeviceHandle=NULL)");
    AddLogUSB("--------------");
    closeLibraryLocked();
    return true;
}

std::string TLibUsb::ErrorText(int code) {
    return ErrorText(code, LangIndex.load());
}

std::string TLibUsb::ErrorText(int code, int lang) {
    if (code == 0) return {};
    for (const ErrorRow& row : ErrorTable)
        if (code == -row.errnoValue) return (lang == 0 || !row.en) ? row.ru : row.en;
    return "LibUsb: Error " + std::to_string(code);
}

} // namespace vyz
