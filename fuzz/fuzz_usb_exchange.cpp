// The USB exchanges driven by arbitrary instrument replies: every length word, count, size and
// record byte, replies that come short or fail. Each input plays one archive read and one display
// image read. Nothing may be written past a buffer, and every result must keep its promises.
#include "link/usb_protocol.h"
#include "link/usb_shared.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The instrument's side: before each read a control byte says what happens (fail, come short,
// or deliver in full); the reply bytes follow in the input.
class ScriptedLink final : public vyz::UsbLink {
public:
    ScriptedLink(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    int Write(const uint8_t*, int length) override {
        const uint8_t control = next();
        return control == 0xFF ? -110 : length;
    }
    int Read(uint8_t* buffer, int length) override {
        const uint8_t control = next();
        if (control == 0xFF) return -19;
        int count = control >= 0xF0 ? length / (control - 0xEE) : length; // some come short
        count = int(std::min<size_t>(size_t(count), size_ - pos_));
        std::memcpy(buffer, data_ + pos_, size_t(count));
        pos_ += size_t(count);
        return count;
    }

private:
    uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0xFF; }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

void check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vyz;
    static std::vector<ArchiveRecord> records(ArchiveCapacity);
    static std::vector<uint8_t> screen(ColourImageBytes);
    ScriptedLink link(data, size);

    char text[64];
    std::memset(text, 'x', sizeof text);
    const UsbIdentity identity = ReadUsbIdentity(link, text);
    if (identity.ok()) check(std::memchr(text, 0, sizeof text) != nullptr);
    if (identity.outcome == UsbOutcome::BadIdentityLength) check(identity.announced < 0);

    const UsbArchiveState state = ReadUsbArchiveState(link);
    if (state.ok() && state.value != 0) {
        const UsbRecordsHeader header = ReadUsbRecordsHeader(link, ArchiveCapacity);
        if (header.ok()) {
            check(header.count >= 0 && header.count <= ArchiveCapacity);
            check(header.size >= UsbMinRecordSize && header.size <= UsbReceiveSize);
            int progressed = 0;
            const UsbStep step = ReadUsbRecords(link, header, records.data(),
                                                [&](int i) { check(i == progressed++); });
            if (step.ok()) check(progressed == header.count);
            if (step.ok() && !header.coordinates())
                for (int i = 0; i < header.count; ++i)
                    check(records[size_t(i)].Latitude == 0 && records[size_t(i)].Longitude == 0);
        }
    }

    const UsbScreen image = ReadUsbScreen(link, screen.data());
    if (image.ok()) check(image.size == ColourImageBytes || image.size == MonoImageBytes);
    if (image.outcome == UsbOutcome::BadScreenSize)
        check(image.size != ColourImageBytes && image.size != MonoImageBytes);
    return 0;
}
