#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sched.h>
#include <sys/mount.h>

// File systems a test mounts stay inside the test process, which enters a mount namespace of its
// own. That needs root, as CI has; without it the tests that mount are skipped.
namespace PrivateMounts {

// Entered while the process has one thread, which unshare() requires.
inline const bool kAvailable = ::unshare(CLONE_NEWNS) == 0 &&
                               ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;

// A file system of a few pages on the folder.
inline bool mountSmallFileSystem(const QString &folder)
{
    return ::mount("frekuensi-test", QFile::encodeName(folder).constData(), "tmpfs", 0,
                   "size=64k") == 0;
}

// Writes the filler until its file system has no byte left.
inline bool fill(const QString &filler)
{
    QFile file(filler);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray page(4096, 'x');
    while (file.write(page) > 0) {
    }
    return file.write("x", 1) != 1;
}

inline bool unmount(const QString &folder)
{
    return ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH) == 0;
}

} // namespace PrivateMounts
