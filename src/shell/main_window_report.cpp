// The Print command.
#include "shell/main_window.h"

namespace vyz {

void TForm1::APrintExecute() {}

} // namespace vyz
