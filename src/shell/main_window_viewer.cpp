// The display viewer and About commands.
#include "shell/main_window.h"

namespace vyz {

void TForm1::AScreenshotExecute() {}
void TForm1::AAboutExecute() {}

} // namespace vyz
