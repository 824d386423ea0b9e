// The Open and Save commands.
#include "shell/main_window.h"

namespace vyz {

void TForm1::AOpenExecute() {}
void TForm1::ASaveExecute() {}

} // namespace vyz

namespace vyz {

void TForm1::OpenMeasurementFile(const QString&) {}

} // namespace vyz
