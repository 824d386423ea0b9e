// A small tmpfs mounted for one test, to make a real disk full or a read-only folder (which, unlike
// file permissions, stop root too). Mounting needs root; without it the test skips.
#pragma once

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <sys/mount.h>

class TmpfsMount {
public:
    // `sizeBytes` of room; the folder is mounted empty.
    explicit TmpfsMount(qint64 sizeBytes) {
        const QByteArray options = "size=" + QByteArray::number(sizeBytes) + ",mode=0777";
        mounted_ = dir_.isValid() && ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(),
                                             "tmpfs", 0, options.constData()) == 0;
    }
    ~TmpfsMount() {
        if (mounted_) ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    QString Path() const { return dir_.path(); }
    // Makes the mount read-only (existing files stay readable).
    bool MakeReadOnly() {
        return ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs",
                       MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};
