// The report engine's interface texts (preview window, export dialogs), loaded from a language
// file that the language commands hand over.
#pragma once

#include <QString>

namespace vyz::report {

// Loads the engine's texts from `path`; a file that does not exist changes nothing.
void LoadLanguageFile(const QString& path);

} // namespace vyz::report
