// The read command and the port menu.
#include "shell/main_window.h"

namespace vyz {

void TForm1::AReadExecute() {}
void TForm1::ACOM1Execute(QAction*) {}

} // namespace vyz
