#include "report/report_language.h"

namespace vyz::report {

void LoadLanguageFile(const QString&) {}

} // namespace vyz::report
