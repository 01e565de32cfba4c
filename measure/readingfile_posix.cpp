// freq.text's rewrite on Linux and other POSIX systems: the new file is written unbuffered,
// settled on the disk as far as the file system needs for the rename to keep a whole line through a
// power cut, and renamed over freq.text.
#include "readingfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <linux/magic.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#endif

namespace {

// A new file is made readable by everyone unless this user's line it replaces was kept from them:
// readers often run as another user, and the operator's umask must not lock them out. Another
// user's file (the last shift's, in a folder every operator may write) sets no bits of the new
// one: an operator could otherwise open it to every writer, or shut readers out.
constexpr mode_t kFirstFileMode = 0644;

// What stands at the path now, without following a link; nothing when it is missing.
std::optional<struct stat> statusAt(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return status;
}

// How the file system orders a rename against the data it names.
enum class Ordering {
    Journal,   // commits the rename no earlier than the data's writeback: journaled ext3 and ext4
               // (ordered by jbd2), XFS, btrfs
    Unordered, // ext2 and ext4 without a journal: metadata blocks go out in any order
    Unknown    // anything else (f2fs, vfat, exFAT, network shares)
};

Ordering orderingOf(int fd)
{
#ifdef Q_OS_LINUX
    struct statfs system;
    if (::fstatfs(fd, &system) != 0)
        return Ordering::Unknown;
    if (system.f_type == XFS_SUPER_MAGIC || system.f_type == BTRFS_SUPER_MAGIC)
        return Ordering::Journal;
    struct stat status;
    if (system.f_type != EXT4_SUPER_MAGIC || ::fstat(fd, &status) != 0)
        return Ordering::Unknown;
    // ext2, ext3 and ext4 share the magic; only a journaled one has jbd2 at work for its device,
    // as /proc/fs/jbd2/<device>-8 shows.
    const QString device =
        QFileInfo(u"/sys/dev/block/%1:%2"_qs.arg(major(status.st_dev)).arg(minor(status.st_dev)))
            .symLinkTarget();
    if (device.isEmpty())
        return Ordering::Unknown;
    return QFileInfo::exists(u"/proc/fs/jbd2/%1-8"_qs.arg(QFileInfo(device).fileName()))
               ? Ordering::Journal
               : Ordering::Unordered;
#else
    Q_UNUSED(fd);
    return Ordering::Unknown;
#endif
}

// Empty, or why the new file's data could not be put on the disk.
QString settleOnDisk(int fd, bool replacesALine, Ordering ordering)
{
#ifdef Q_OS_LINUX
    if (replacesALine && ordering == Ordering::Journal)
        return ::sync_file_range(fd, 0, 0,
                                 SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                     SYNC_FILE_RANGE_WAIT_AFTER) == 0
                   ? QString()
                   : qt_error_string(errno);
#else
    Q_UNUSED(replacesALine);
    Q_UNUSED(ordering);
#endif
    return ::fdatasync(fd) == 0 ? QString() : qt_error_string(errno);
}

} // namespace

// The line goes into a new file beside freq.text, which is then renamed over the name. The file is
// written unbuffered, so a full disk fails the write itself and the rename is never reached. The
// rename replaces whatever is at the name, a link included, without following it.
//
// Power cuts: the new file's block must be on the disk, and marked as written, before the rename
// is. On ext4 with 4 KiB blocks (dioread_nolock, the default since Linux 5.6) a new block is
// allocated as an unwritten extent and only marked written after its write completes; a rename
// committed between the two leaves freq.text reading as NUL bytes. So the rewrite waits for the new
// file's writeback to complete before renaming (sync_file_range: a page ends writeback only after
// ext4 has converted its extent, in a journal transaction no later than the rename's). That writes
// the one block auto_da_alloc would have written at the rename anyway, and forces no journal
// commit and no cache flush, unlike fdatasync four times a second. The crash check shows the same
// ordering on XFS and btrfs; on every other file system (f2fs on SD cards, vfat, network shares)
// and for a first file, which replaces no line, the new file is synced whole with fdatasync.
ReadingFile::Outcome ReadingFile::writeOnce(const QByteArray &line)
{
    QFile file;
    for (int tries = 0; tries < kTemporaryNameTries && !file.isOpen(); ++tries) {
        file.setFileName(temporaryPath());
        // NewOnly creates the file or fails; it never opens what another program put there.
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
    }
    if (!file.isOpen())
        return fail(Step::Create, file.errorString());

    const std::optional<struct stat> old = statusAt(m_path);
    const bool replacesALine = old && S_ISREG(old->st_mode);
    const Ordering ordering = orderingOf(file.handle());
    // The reason is taken before the close, which clears the error of a failed write.
    QString reason;
    // A file system without permissions (exFAT or FAT on a stick, mounted with umask=000) refuses
    // the change; the file then keeps the bits it gives every file, and the line is written.
    const bool ownLine = replacesALine && old->st_uid == ::geteuid();
    if (::fchmod(file.handle(), ownLine ? old->st_mode & 0777 : kFirstFileMode) != 0 &&
        errno != EPERM && errno != ENOTSUP)
        reason = qt_error_string(errno);
    else if (file.write(line) != line.size())
        reason = file.errorString();
    else
        reason = settleOnDisk(file.handle(), replacesALine, ordering);
    file.close();
    if (reason.isEmpty() && file.error() != QFileDevice::NoError)
        reason = file.errorString();
    if (!reason.isEmpty()) {
        file.remove();
        return fail(Step::Write, reason);
    }
    if (replacesALine && ordering == Ordering::Unordered)
        return renameKeepingTheOldLine(file.fileName(), old->st_uid == ::geteuid());
    return replace(file.fileName());
}

ReadingFile::Outcome ReadingFile::replace(const QString &from)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(m_path).constData()) == 0)
        return Outcome::Written;
    const int error = errno;
    QFile::remove(from);
    return fail(Step::Replace, qt_error_string(error),
                error == EISDIR ? Obstacle::Folder : Obstacle::None);
}

// Without a journal the block that frees the replaced file's inode can reach the disk before the
// directory block that names the new file: a power cut in between leaves freq.text naming a freed
// inode, gone. So the old line keeps a second name until the directory is on the disk, and only
// then is that name removed (a cut before that leaves it as a leftover, removed at start). The
// second name is taken only for this user's own line: another user's could not be removed by this
// one's start, and could not be replaced anyway where the folder is sticky.
ReadingFile::Outcome ReadingFile::renameKeepingTheOldLine(const QString &from, bool keep)
{
    // While the folder's sync keeps failing the names would pile up; the oldest lines go first.
    constexpr qsizetype kKeptNamesAtMost = 4;
    const QByteArray to = QFile::encodeName(m_path);
    QByteArray second = keep ? QFile::encodeName(temporaryPath()) : QByteArray();
    if (!second.isEmpty() && ::link(to.constData(), second.constData()) != 0)
        second.clear();
    if (::rename(QFile::encodeName(from).constData(), to.constData()) != 0) {
        const int error = errno;
        QFile::remove(from);
        dropName(second);
        return fail(Step::Replace, qt_error_string(error),
                    error == EISDIR ? Obstacle::Folder : Obstacle::None);
    }
    if (!second.isEmpty())
        m_keptNames.append(second);
    const QByteArray folder = QFile::encodeName(QFileInfo(m_path).path());
    const int directory = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = directory >= 0 && ::fsync(directory) == 0;
    const int error = errno;
    if (directory >= 0)
        ::close(directory);
    if (!synced) {
        // The new line is in place; the old ones keep their names until a sync succeeds.
        m_unsafeReason = qt_error_string(error);
        while (m_keptNames.size() > kKeptNamesAtMost)
            dropName(m_keptNames.takeFirst());
        return Outcome::Written;
    }
    m_unsafeReason.clear();
    for (const QByteArray &name : std::exchange(m_keptNames, {}))
        dropName(name);
    return Outcome::Written;
}

void ReadingFile::dropName(const QByteArray &name)
{
    if (name.isEmpty() || ::unlink(name.constData()) == 0 || errno == ENOENT)
        return;
    qWarning("%s cannot be removed yet (%s)", name.constData(), qPrintable(qt_error_string(errno)));
    // This user's, with the rewrite's name: tried again after the next rewrite, else at a start.
    if (m_keptNames.size() < 16)
        m_keptNames.append(name);
}

ReadingFile::Known ReadingFile::knownReason() const
{
    // The system's words are compared with its words for the known causes, in the same language.
    if (m_reason == qt_error_string(ENOSPC) || m_reason == qt_error_string(EDQUOT))
        return Known::DiskFull;
    if (m_reason == qt_error_string(EACCES) || m_reason == qt_error_string(EROFS))
        return Known::Refused;
    if (m_reason == qt_error_string(EPERM))
        return Known::NotPermitted;
    return Known::Other;
}

bool ReadingFile::processRuns(qint64 id)
{
#ifdef Q_OS_LINUX
    return QFileInfo::exists(u"/proc/%1"_qs.arg(id));
#else
    // Without /proc nothing tells: a leftover is kept rather than taken from a running writer.
    Q_UNUSED(id);
    return true;
#endif
}

bool ReadingFile::isOwnFile(const QString &path)
{
    // lstat again: a link or another user's file is never the monitor's leftover.
    const std::optional<struct stat> status = statusAt(path);
    return status && S_ISREG(status->st_mode) && status->st_uid == ::geteuid();
}

QString ReadingFile::folderFor(const QString &programFolder)
{
    const QString name = QDir(programFolder).filePath(kFileName);
    const std::optional<struct stat> link = statusAt(name);
    const std::optional<struct stat> folder = statusAt(programFolder);
    if (!link || !S_ISLNK(link->st_mode) || link->st_uid != 0 || !folder ||
        !S_ISDIR(folder->st_mode) || folder->st_uid != 0 || (folder->st_mode & (S_IWGRP | S_IWOTH)))
        return programFolder;
    const QFileInfo target(QFileInfo(name).symLinkTarget());
    return target.fileName() == kFileName ? target.absolutePath() : programFolder;
}
