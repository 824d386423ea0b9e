// The read command, the port menu and the serial link.
#include "shell/main_window.h"

namespace vyz {

void TForm1::AReadExecute() {}
void TForm1::ACOM1Execute(QAction*) {}
void TForm1::StartupPortSelection() {}
void TForm1::SelectPort(int) {}
void TForm1::ClosePort() {}

} // namespace vyz
