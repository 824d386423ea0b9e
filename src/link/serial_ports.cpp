#include "link/serial_ports.h"

#include "link/comm_platform.h"

#include <filesystem>
#include <regex>

namespace vyz {

int32_t PortNumbers[MaxListedPorts] = {};
int32_t PortCount = 0;

namespace {

std::string& DeviceRoot() {
    static std::string root = "/dev";
    return root;
}

struct DeviceFamily {
    const char* prefix;
    int first; // port number of device 0
    int count;
};
constexpr DeviceFamily kFamilies[] = {
    {"ttyS", 1, 32}, {"ttyUSB", 33, 32}, {"ttyACM", 65, 32}, {"rfcomm", 97, 3}};

} // namespace

void SetSerialDeviceRoot(const std::string& folder) {
    DeviceRoot() = folder;
}
const std::string& SerialDeviceRoot() {
    return DeviceRoot();
}

std::string PortDeviceName(int number) {
    for (const DeviceFamily& f : kFamilies)
        if (number >= f.first && number < f.first + f.count)
            return f.prefix + std::to_string(number - f.first);
    return {};
}

std::string PortDevicePath(int number) {
    return SerialDeviceRoot() + "/" + PortDeviceName(number);
}

std::string PortAdapterName(int number) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path device = fs::canonical(PortDevicePath(number), ec);
    if (ec) return {};
    for (const auto& entry : fs::directory_iterator(SerialDeviceRoot() + "/serial/by-id", ec)) {
        std::error_code ec2;
        if (fs::canonical(entry.path(), ec2) != device || ec2) continue;
        // usb-<maker>_<product>_<serial>-if00-port0 -> "<maker> <product> <serial>"
        std::string name = entry.path().filename().string();
        static const std::regex bus("^(usb|pci|platform|bluetooth)-");
        static const std::regex iface("-if[0-9]+(-port[0-9]+)?$");
        name = std::regex_replace(std::regex_replace(name, bus, ""), iface, "");
        for (char& c : name)
            if (c == '_') c = ' ';
        return name;
    }
    return {};
}

std::string PortDisplayName(int number) {
    const std::string adapter = PortAdapterName(number);
    return adapter.empty() ? PortDeviceName(number) : PortDeviceName(number) + " (" + adapter + ")";
}

int32_t EnumerateSerialPorts(int32_t* list) {
    int32_t count = 0;
    for (int number = 1; number <= MaxPortNumber && count < MaxListedPorts; ++number) {
        const bool uart = PortDeviceName(number).rfind("ttyS", 0) == 0;
        if (ProbeSerialDevice(PortDevicePath(number), uart) != DeviceProbe::Absent)
            list[count++] = number;
    }
    return count;
}

} // namespace vyz
