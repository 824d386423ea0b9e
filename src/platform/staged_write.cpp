#include "platform/staged_write.h"

#include "platform/staged_file.h"

#include <QFile>
#include <cstring>

namespace vyz {

QString SystemErrorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

bool WriteStaged(const QString& path, QByteArrayView bytes, QString* error) {
    StagedFile file(QFile::encodeName(path).toStdString());
    if (file.Write({reinterpret_cast<const uint8_t*>(bytes.data()), size_t(bytes.size())}) &&
        file.Commit())
        return true;
    if (error) *error = SystemErrorText(file.Error());
    return false;
}

} // namespace vyz
