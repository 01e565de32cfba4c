// freq.text's rewrite on Windows: one handle creates, writes and flushes the new file, and the
// rename over freq.text is tried again while a reader holds it open.
#include "readingfile.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <chrono>

#include <qt_windows.h>

namespace {

// The rename over freq.text fails while another program has it open; such a reader is normally
// done within milliseconds, so the rename alone is tried again a few times. The rewrite runs on the
// writer's thread, so the pauses never hold up a poll.
constexpr int kAttempts = 3;
constexpr std::chrono::milliseconds kPauseBetweenAttempts{10};

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

} // namespace

// The line goes into a new file beside freq.text, which is then renamed over the name; the rename
// replaces the file at the name without following a link. The new file is flushed with
// FlushFileBuffers through the handle that wrote it before the rename, since NTFS journals the
// rename but not the file's data.
ReadingFile::Outcome ReadingFile::writeOnce(const QByteArray &line)
{
    QString from;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < kTemporaryNameTries && handle == INVALID_HANDLE_VALUE; ++tries) {
        from = temporaryPath();
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

ReadingFile::Known ReadingFile::knownReason() const
{
    // The system's words are compared with its words for the known causes, in the same language.
    // Windows says access denied for another user's file too; the obstacle tells which.
    if (m_reason == qt_error_string(ERROR_DISK_FULL) ||
        m_reason == qt_error_string(ERROR_HANDLE_DISK_FULL))
        return Known::DiskFull;
    if (m_reason == qt_error_string(ERROR_ACCESS_DENIED))
        return Known::Refused;
    return Known::Other;
}

bool ReadingFile::processRuns(qint64 id)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(id));
    if (!process)
        return GetLastError() != ERROR_INVALID_PARAMETER; // another user's, running
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

bool ReadingFile::isOwnFile(const QString &)
{
    return true; // only this user's folder lists it as a plain file it may delete
}

// The zip's folder or the installer's, in the operator's own profile: freq.text stays beside the
// program.
QString ReadingFile::folderFor(const QString &programFolder)
{
    return programFolder;
}
