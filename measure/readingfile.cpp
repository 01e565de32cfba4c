#include "readingfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <cerrno>
#include <chrono>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// On Windows the rename over freq.text fails while another program has it open; such a reader is
// normally done within milliseconds, so the rewrite tries again a few times before giving up.
constexpr int kAttempts = 3;
constexpr std::chrono::milliseconds kPauseBetweenAttempts{10};
// A name taken by a leftover or a planted file is passed over for another random one.
constexpr int kTemporaryNameTries = 4;

QString temporaryPath(const QString &path)
{
    const QFileInfo target(path);
    return target.dir().filePath(QLatin1Char('.') + target.fileName() + QLatin1Char('.') +
                                 QString::number(QRandomGenerator::global()->generate(), 36));
}

#ifndef Q_OS_WIN
// Whether a regular file stands at the path now; a link or anything else does not count.
bool regularFileAt(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}
#endif

} // namespace

ReadingFile::ReadingFile(const QString &directory)
    : m_path(QDir(directory).filePath(QString(kFileName)))
{}

bool ReadingFile::rewrite(const QString &text)
{
    const bool written = rewriteLine(text.toUtf8() + "\r\n");
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

bool ReadingFile::rewriteLine(const QByteArray &line)
{
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        switch (writeOnce(line)) {
        case Outcome::Written:
            return true;
        case Outcome::Failed:
            return false; // a full disk or a refusing folder does not heal within a poll
        case Outcome::HeldOpen:
            break;
        }
        if (attempt < kAttempts)
            QThread::msleep(static_cast<unsigned long>(kPauseBetweenAttempts.count()));
    }
    return false;
}

ReadingFile::Outcome ReadingFile::fail(Step step, const QString &reason)
{
    m_step = step;
    m_reason = reason;
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
    const bool othersFile = false; // Windows says access denied, which is the held-open case
#else
    const bool full = m_reason == qt_error_string(ENOSPC) || m_reason == qt_error_string(EDQUOT);
    const bool refused = m_reason == qt_error_string(EACCES) || m_reason == qt_error_string(EROFS);
    const bool othersFile = m_reason == qt_error_string(EPERM);
#endif
    QString why;
    if (m_heldOpen)
        why = tr("another program holds it open");
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
// commit and no cache flush, unlike fdatasync four times a second. Only a first file, which
// replaces no line, is synced whole. Elsewhere the file is flushed the documented way: fdatasync,
// and FlushFileBuffers on Windows, where NTFS journals the rename but not the file's data.
namespace {

// Empty, or why the new file's data could not be put on the disk.
QString settleOnDisk(QFile &file, bool replacesALine)
{
#ifdef Q_OS_WIN
    Q_UNUSED(replacesALine);
    const HANDLE handle = CreateFileW(
        reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(file.fileName()).utf16()),
        GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return qt_error_string(int(GetLastError()));
    const bool flushed = FlushFileBuffers(handle);
    const DWORD error = GetLastError();
    CloseHandle(handle);
    return flushed ? QString() : qt_error_string(int(error));
#else
    const int fd = file.handle();
#ifdef Q_OS_LINUX
    if (replacesALine) {
        if (::sync_file_range(fd, 0, 0,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                  SYNC_FILE_RANGE_WAIT_AFTER) == 0)
            return {};
        return qt_error_string(errno);
    }
#else
    Q_UNUSED(replacesALine);
#endif
    return ::fdatasync(fd) == 0 ? QString() : qt_error_string(errno);
#endif
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

    // The reason is taken before the close, which clears the error of a failed write.
    QString reason;
    if (file.write(line) != line.size())
        reason = file.errorString();
#ifndef Q_OS_WIN
    else
        reason = settleOnDisk(file, regularFileAt(m_path));
#endif
    file.close();
    if (reason.isEmpty() && file.error() != QFileDevice::NoError)
        reason = file.errorString();
#ifdef Q_OS_WIN
    if (reason.isEmpty())
        reason = settleOnDisk(file, true);
#endif
    if (!reason.isEmpty()) {
        file.remove();
        return fail(Step::Write, reason);
    }

#ifdef Q_OS_WIN
    const QString from = QDir::toNativeSeparators(file.fileName());
    const QString to = QDir::toNativeSeparators(m_path);
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(from.utf16()),
                    reinterpret_cast<const wchar_t *>(to.utf16()), MOVEFILE_REPLACE_EXISTING))
        return Outcome::Written;
    const DWORD error = GetLastError();
    file.remove();
    fail(Step::Replace, qt_error_string(int(error)));
    m_heldOpen = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    return m_heldOpen ? Outcome::HeldOpen : Outcome::Failed;
#else
    if (::rename(QFile::encodeName(file.fileName()).constData(),
                 QFile::encodeName(m_path).constData()) == 0)
        return Outcome::Written;
    const int error = errno;
    file.remove();
    return fail(Step::Replace, qt_error_string(error));
#endif
}
