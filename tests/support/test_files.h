// Files and processes as the tests use them.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace testsupport {

// A file's bytes; "<unreadable>" when it cannot be read, so a missing file never passes for an
// empty one.
QByteArray ReadAll(const QString& path);
// Writes `data` as the whole file, making its folder first; false when any of it fails.
bool WriteFile(const QString& path, const QByteArray& data);
// `size` bytes of a fixed pseudo-random sequence.
QByteArray RandomBytes(int size, quint32 seed);
// Rows of comma-separated fields, double quotes around a field keeping commas and line ends in
// it and "" standing for a quote (as LibreOffice and the map tools write CSV).
QList<QStringList> ParseCsv(const QString& text);
// Whether a program of that name is on the PATH.
bool HaveProgram(const char* program);

} // namespace testsupport
