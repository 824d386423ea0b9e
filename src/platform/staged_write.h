// The staged writer (StagedFile) for the Qt side: exports, pictures and prepared reports replace
// their files through it, and say why they failed in the system's words.
#pragma once

#include <QByteArrayView>
#include <QString>

namespace vyz {

// The system's text for an errno value ("Permission denied").
QString SystemErrorText(int error);

// Replaces the file `path` (a symbolic link is written through) with `bytes`, keeping an existing
// file's permission bits. On failure returns false, leaves the old file as it was and no staging
// file behind, and puts the system's text for why into `error` (when given).
bool WriteStaged(const QString& path, QByteArrayView bytes, QString* error);

} // namespace vyz
