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

ReadingFile::Outcome ReadingFile::fail(const QString &reason)
{
    m_reason = reason;
    return Outcome::Failed;
}

// The line goes into a new file beside freq.text, which is then renamed over the name. The file is
// written unbuffered, so a full disk fails the write itself and the rename is never reached. The
// rename replaces whatever is at the name, a link included, without following it. No sync before
// the rename: on ext4 (data=ordered, auto_da_alloc) the data of a file renamed over another reaches
// the disk before the rename does, so a power cut leaves the old line or the new one, and a sync
// four times a second would wear the disk for nothing. Only a first file, which replaces no line,
// is synced.
ReadingFile::Outcome ReadingFile::writeOnce(const QByteArray &line)
{
    QFile file;
    for (int tries = 0; tries < kTemporaryNameTries && !file.isOpen(); ++tries) {
        file.setFileName(temporaryPath(m_path));
        // NewOnly creates the file or fails; it never opens what another program put there.
        file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered);
    }
    if (!file.isOpen())
        return fail(file.errorString());

    // The reason is taken before the close, which clears the error of a failed write.
    QString reason;
    if (file.write(line) != line.size())
        reason = file.errorString();
#ifndef Q_OS_WIN
    else if (!regularFileAt(m_path) && ::fdatasync(file.handle()) != 0)
        reason = qt_error_string(errno);
#endif
    file.close();
    if (reason.isEmpty() && file.error() != QFileDevice::NoError)
        reason = file.errorString();
    if (!reason.isEmpty()) {
        file.remove();
        return fail(reason);
    }

#ifdef Q_OS_WIN
    const QString from = QDir::toNativeSeparators(file.fileName());
    const QString to = QDir::toNativeSeparators(m_path);
    if (MoveFileExW(reinterpret_cast<const wchar_t *>(from.utf16()),
                    reinterpret_cast<const wchar_t *>(to.utf16()), MOVEFILE_REPLACE_EXISTING))
        return Outcome::Written;
    const DWORD error = GetLastError();
    file.remove();
    m_reason = qt_error_string(int(error));
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? Outcome::HeldOpen
                                                                            : Outcome::Failed;
#else
    if (::rename(QFile::encodeName(file.fileName()).constData(),
                 QFile::encodeName(m_path).constData()) == 0)
        return Outcome::Written;
    const int error = errno;
    file.remove();
    return fail(qt_error_string(error));
#endif
}
