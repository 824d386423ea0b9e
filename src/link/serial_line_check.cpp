#include "link/serial_line_check.h"

#include "link/comm.h"

namespace vyz {

namespace {
constexpr int kCts = 1, kDsr = 2;
}

bool CheckInstrumentLines(TThreadComm& comm, const std::function<void(int)>& sleepMs) {
    comm.SetRTSState(true);
    comm.SetDTRState(false);
    sleepMs(100);
    sleepMs(100);
    const bool answered = comm.GetModemState(kCts) && !comm.GetModemState(kDsr);
    comm.SetRTSState(false);
    comm.SetDTRState(true);
    if (!answered) return false;
    sleepMs(100);
    sleepMs(100);
    return !comm.GetModemState(kCts);
}

} // namespace vyz
