// The USB worker's side of the main window.
#include "shell/main_window.h"

namespace vyz {

void TForm1::StartUsbWorker() {}
void TForm1::RequestUsbWorkerStop() {}
void TForm1::ReleaseUsbOnExit() {}
void TForm1::WaitUsbWorkerEnd() {}
void TForm1::UsbReadHandOff() {}
void TForm1::SelectUsb() {}

} // namespace vyz
