// The folder the Open and Save dialogs start in: the folder last used (kept in the settings file,
// so it outlives the run), else the user's documents folder.
#pragma once

#include <QString>

namespace vyz {

// The remembered folder when it still exists, else the documents folder, else the home folder.
QString FileDialogFolder();

// Remembers the folder of `chosenFile`, the file the operator just chose in a dialog.
void RememberFileDialogFolder(const QString& chosenFile);

} // namespace vyz
