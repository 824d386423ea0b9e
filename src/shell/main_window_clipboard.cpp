// The two copy commands.
#include "shell/main_window.h"

namespace vyz {

void TForm1::ACopyAllExecute() {}
void TForm1::ACopyCtrlCExecute() {}

} // namespace vyz
