// The serial ports of this system. Port number n stands for a device: 1-32 ttyS0-31, 33-64
// ttyUSB0-31, 65-96 ttyACM0-31, 97-99 rfcomm0-2; 0 stands for the USB link. The settings file
// keeps the number, menus and messages show the device name.
#pragma once

#include <cstdint>
#include <string>

namespace vyz {

inline constexpr int MaxPortNumber = 99;
inline constexpr int MaxListedPorts = 20;

// The folder that holds the device nodes: "/dev" unless a test has set a folder of its own.
void SetSerialDeviceRoot(const std::string& folder);
const std::string& SerialDeviceRoot();

// "ttyUSB0" for 33; empty outside 1..99.
std::string PortDeviceName(int number);
// SerialDeviceRoot() + "/" + PortDeviceName(number).
std::string PortDevicePath(int number);
// The adapter behind the port as the system names it in <root>/serial/by-id (for example
// "FTDI FT232R USB UART A50285BI"); empty when the system does not know it.
std::string PortAdapterName(int number);
// "ttyUSB0 (FTDI FT232R USB UART A50285BI)", or the device name alone.
std::string PortDisplayName(int number);

// The ports found: the first PortCount entries of PortNumbers, ascending.
extern int32_t PortNumbers[MaxListedPorts];
extern int32_t PortCount;

// Fills `list` with the numbers of the ports present, lowest first, at most MaxListedPorts, and
// returns their count. A port is present when its node exists, is a character device and opens
// as a terminal (or is held by another program); a ttyS node without a UART is skipped.
int32_t EnumerateSerialPorts(int32_t* list);

} // namespace vyz
