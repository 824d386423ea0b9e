// The USB exchange log: when the settings file's Debug/LogUSB starts with "Y", every step of the
// USB transport is appended to LogFileName() as a time-stamped line, with a dated header at each
// start and each new day. Callable from any thread; a line that cannot be written is dropped.
#pragma once

#include <ctime>
#include <string>

namespace vyz {

// Reads Debug/LogUSB and, when logging, appends the dated header.
void StartLogUSB();
// Appends "hh:mm:ss message" when logging is on.
void AddLogUSB(const std::string& message);
// For tests: forget the remembered day and the enabled flag, as at process start, and take the
// time from `clock` (nullptr: the system clock).
void ResetLogUSBForTest(time_t (*clock)() = nullptr);

} // namespace vyz
