// A libusb-0.1.so.4 that lacks most of the API, as an unrelated or broken library of that name
// would: binding it must fail with "entry point missing" and leave the transport unloaded.
#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int usb_bulk_read(void*, int, char*, int, int) {
    return -5;
}
EXPORT int usb_bulk_write(void*, int, const char*, int, int) {
    return -5;
}
EXPORT void usb_init(void) {}
