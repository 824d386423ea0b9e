// The report engine's interface texts (preview window, export and progress dialogs), loaded from
// a language file that the language commands hand over.
//
// A language file is UTF-8 text, one "Key=Text" per line; blank lines and lines starting with
// "#" are ignored, as are unknown keys; a key the file does not name keeps its text. "\n" in a
// text stands for a line break.
#pragma once

#include <QString>

namespace vyz::report {

// Loads the engine's texts from `path`; a file that does not exist changes nothing.
void LoadLanguageFile(const QString& path);

// The current text of `key` (its built-in English text until a language file names it).
QString Tr(const char* key);

// Restores the built-in texts (tests).
void ResetLanguage();

} // namespace vyz::report
