// Whether an instrument is connected to an open port, told from the modem lines: the
// instrument's CTS follows the program's RTS, and its DSR is off while DTR is off.
#pragma once

#include <functional>

namespace vyz {

class TThreadComm;

// Drives RTS and DTR and reads CTS and DSR (two 100 ms pauses after each change, through
// `sleepMs`). Leaves RTS off and DTR on whatever it finds. Raises what the component raises.
bool CheckInstrumentLines(TThreadComm& comm, const std::function<void(int)>& sleepMs);

} // namespace vyz
