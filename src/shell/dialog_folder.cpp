#include "shell/dialog_folder.h"

#include "platform/ini_file.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vyz {
namespace {

constexpr const char* Section = "Config";
constexpr const char* Key = "FileFolder";
constexpr int PathBuffer = 4097; // a whole path (PATH_MAX) and its end

} // namespace

QString FileDialogFolder() {
    const QString stored = QString::fromStdString(IniRead(Section, Key, std::string(), PathBuffer));
    if (!stored.isEmpty() && QFileInfo(stored).isDir()) return stored;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
    return QDir::homePath();
}

void RememberFileDialogFolder(const QString& chosenFile) {
    const QString folder = QFileInfo(chosenFile).absolutePath();
    // A line break would end the settings line; such a folder is not remembered.
    if (folder.contains(QLatin1Char('\n')) || folder.contains(QLatin1Char('\r'))) return;
    // Quoted, so blanks at either end of the name survive the reader's trimming.
    IniWrite(Section, Key, '"' + folder.toStdString() + '"');
}

} // namespace vyz
