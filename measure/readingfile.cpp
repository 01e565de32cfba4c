#include "readingfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <cerrno>
#include <chrono>
#include <optional>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace {

// On Windows the rename over freq.text fails while another program has it open; such a reader is
// normally done within milliseconds, so the rename alone is tried again a few times. The rewrite
// runs on the writer's thread, so the pauses never hold up a poll.
constexpr int kAttempts = 3;
constexpr std::chrono::milliseconds kPauseBetweenAttempts{10};
// A name taken by a leftover or a planted file is passed over for another random one.
constexpr int kTemporaryNameTries = 4;
// A new file is made readable by everyone unless the line it replaces was kept from them: readers
// often run as another user, and the operator's umask must not lock them out.
#ifndef Q_OS_WIN
constexpr mode_t kFirstFileMode = 0644;
#endif
// A leftover holds at most one line; anything larger at such a name is not the monitor's.
constexpr qint64 kLargestLeftover = 64;

// The new line is written to ".freq.text.<random>" beside freq.text, then renamed over it.
QString temporaryPath(const QString &path)
{
    const QFileInfo target(path);
    return target.dir().filePath(QLatin1Char('.') + target.fileName() + QLatin1Char('.') +
                                 QString::number(QRandomGenerator::global()->generate(), 36));
}

const QRegularExpression &leftoverName()
{
    // A 32-bit number in base 36 takes at most seven digits.
    static const QRegularExpression name(u"^\\.freq\\.text\\.[0-9a-z]{1,7}$"_qs);
    return name;
}

#ifdef Q_OS_WIN
// The form that lifts the 260-character limit from the calls made here directly.
std::wstring longPath(const QString &path)
{
    QString native = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (native.startsWith(u"\\\\?\\"))
        return native.toStdWString();
    native =
        native.startsWith(u"\\\\") ? u"\\\\?\\UNC\\"_qs + native.mid(2) : u"\\\\?\\"_qs + native;
    return native.toStdWString();
}
#else
// What stands at the path now, without following a link; nothing when it is missing.
std::optional<struct stat> statusAt(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return status;
}
#endif

} // namespace

ReadingFile::ReadingFile(const QString &directory)
    : m_path(QDir(directory).filePath(QString(kFileName)))
{}

bool ReadingFile::rewrite(const QString &text)
{
    const bool written = writeOnce(text.toUtf8() + "\r\n") == Outcome::Written;
    // Said once when rewriting starts to fail and once when it works again, not four times a
    // second for as long as the folder refuses.
    if (written == m_failing) {
        m_failing = !written;
        if (m_failing)
            qWarning("%s cannot be replaced (%s); it keeps its last line", qPrintable(m_path),
                     qPrintable(m_reason));
        else
            qInfo("%s is being replaced again", qPrintable(m_path));
    }
    return written;
}

ReadingFile::Outcome ReadingFile::fail(Step step, const QString &reason, Obstacle obstacle)
{
    m_step = step;
    m_reason = reason;
    m_obstacle = obstacle;
    m_heldOpen = false;
    return Outcome::Failed;
}

QString ReadingFile::problem() const
{
    // The system's words are compared with its words for the known causes, in the same language.
    if (!m_failing)
        return {};
#ifdef Q_OS_WIN
    const bool full = m_reason == qt_error_string(ERROR_DISK_FULL) ||
                      m_reason == qt_error_string(ERROR_HANDLE_DISK_FULL);
    const bool refused = m_reason == qt_error_string(ERROR_ACCESS_DENIED);
    const bool othersFile = false; // Windows says access denied, and the obstacle tells which
#else
    const bool full = m_reason == qt_error_string(ENOSPC) || m_reason == qt_error_string(EDQUOT);
    const bool refused = m_reason == qt_error_string(EACCES) || m_reason == qt_error_string(EROFS);
    const bool othersFile = m_reason == qt_error_string(EPERM);
#endif
    QString why;
    if (m_heldOpen)
        why = tr("another program holds it open");
    else if (m_obstacle == Obstacle::Folder)
        why = tr("a folder stands at its name");
    else if (m_obstacle == Obstacle::ReadOnly)
        why = tr("it is marked read-only");
    else if (full)
        why = tr("the disk is full");
    else if (othersFile && m_step == Step::Replace)
        why = tr("it belongs to another user");
    else if (refused)
        why = tr("its folder may not be written");
    else
        why = m_reason;
    return tr("freq.text is not being updated: %1").arg(why);
}

int ReadingFile::removeLeftovers() const
{
    const QFileInfo target(m_path);
    int removed = 0;
    const QFileInfoList entries = target.dir().entryInfoList(
        {u".freq.text.*"_qs}, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        if (!leftoverName().match(entry.fileName()).hasMatch() || entry.isSymLink() ||
            entry.size() > kLargestLeftover)
            continue;
#ifndef Q_OS_WIN
        // lstat again: a link or another user's file is never the monitor's leftover.
        const std::optional<struct stat> status = statusAt(entry.filePath());
        if (!status || !S_ISREG(status->st_mode) || status->st_uid != ::geteuid())
            continue;
#endif
        if (QFile::remove(entry.filePath()))
            ++removed;
    }
    return removed;
}

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
// and for a first file, which replaces no line, the new file is synced whole with fdatasync. On
// Windows it is flushed with FlushFileBuffers, through the handle that wrote it, since NTFS
// journals the rename but not the file's data.
#ifdef Q_OS_WIN

ReadingFile::Outcome ReadingFile::writeOnce(const QByteArray &line)
{
    QString from;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < kTemporaryNameTries && handle == INVALID_HANDLE_VALUE; ++tries) {
        from = temporaryPath(m_path);
        // CREATE_NEW never opens what another program put there; nobody shares it while it is
        // written.
        handle = CreateFileW(longPath(from).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE)
        return fail(Step::Create, qt_error_string(int(GetLastError())));

    DWORD written = 0;
    bool ok = WriteFile(handle, line.constData(), DWORD(line.size()), &written, nullptr) &&
              written == DWORD(line.size()) && FlushFileBuffers(handle);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    if (!CloseHandle(handle) && ok) {
        ok = false;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(longPath(from).c_str());
        // A short write without an error code is a full disk.
        return fail(Step::Write,
                    qt_error_string(int(error == ERROR_SUCCESS ? ERROR_DISK_FULL : error)));
    }
    return replace(from);
}

ReadingFile::Outcome ReadingFile::replace(const QString &from)
{
    const std::wstring source = longPath(from);
    const std::wstring target = longPath(m_path);
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
            return Outcome::Written;
        const DWORD error = GetLastError();
        // Access is denied for a folder at the name and for a read-only file as well as for a file
        // another program holds open; only the last goes away by itself.
        Obstacle obstacle = Obstacle::None;
        bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
        if (error == ERROR_ACCESS_DENIED) {
            const DWORD attributes = GetFileAttributesW(target.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                obstacle = Obstacle::Folder;
            else if (attributes != INVALID_FILE_ATTRIBUTES &&
                     (attributes & FILE_ATTRIBUTE_READONLY))
                obstacle = Obstacle::ReadOnly;
            else
                held = attributes != INVALID_FILE_ATTRIBUTES;
        }
        if (!held || attempt == kAttempts) {
            DeleteFileW(source.c_str());
            fail(Step::Replace, qt_error_string(int(error)), obstacle);
            m_heldOpen = held;
            return held ? Outcome::HeldOpen : Outcome::Failed;
        }
        QThread::msleep(static_cast<unsigned long>(kPauseBetweenAttempts.count()));
    }
}

#else

namespace {

// Empty, or why the new file's data could not be put on the disk.
QString settleOnDisk(int fd, bool replacesALine)
{
#ifdef Q_OS_LINUX
    struct statfs system;
    const bool ordersTheRename =
        ::fstatfs(fd, &system) == 0 &&
        (system.f_type == EXT4_SUPER_MAGIC || system.f_type == XFS_SUPER_MAGIC ||
         system.f_type == BTRFS_SUPER_MAGIC);
    if (replacesALine && ordersTheRename)
        return ::sync_file_range(fd, 0, 0,
                                 SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                     SYNC_FILE_RANGE_WAIT_AFTER) == 0
                   ? QString()
                   : qt_error_string(errno);
#else
    Q_UNUSED(replacesALine);
#endif
    return ::fdatasync(fd) == 0 ? QString() : qt_error_string(errno);
}

} // namespace

ReadingFile::Outcome ReadingFile::writeOnce(const QByteArray &line)
{
    QFile file;
    for (int tries = 0; tries < kTemporaryNameTries && !file.isOpen(); ++tries) {
        file.setFileName(temporaryPath(m_path));
        // NewOnly creates the file or fails; it never opens what another program put there.
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
    }
    if (!file.isOpen())
        return fail(Step::Create, file.errorString());

    const std::optional<struct stat> old = statusAt(m_path);
    const bool replacesALine = old && S_ISREG(old->st_mode);
    // The reason is taken before the close, which clears the error of a failed write.
    QString reason;
    if (::fchmod(file.handle(), replacesALine ? old->st_mode & 0777 : kFirstFileMode) != 0)
        reason = qt_error_string(errno);
    else if (file.write(line) != line.size())
        reason = file.errorString();
    else
        reason = settleOnDisk(file.handle(), replacesALine);
    file.close();
    if (reason.isEmpty() && file.error() != QFileDevice::NoError)
        reason = file.errorString();
    if (!reason.isEmpty()) {
        file.remove();
        return fail(Step::Write, reason);
    }
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

#endif
