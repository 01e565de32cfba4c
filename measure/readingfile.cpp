#include "readingfile.h"

#include <QDir>
#include <QSaveFile>
#include <QThread>

#include <chrono>

namespace {

// On Windows the rename over freq.text fails while another program has it open; such a reader is
// normally done within milliseconds, so the rewrite tries again a few times before giving up.
constexpr int kAttempts = 3;
constexpr std::chrono::milliseconds kPauseBetweenAttempts{10};

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
            qWarning("%s cannot be replaced; it keeps its last line", qPrintable(m_path));
        else
            qInfo("%s is being replaced again", qPrintable(m_path));
    }
    return written;
}

bool ReadingFile::rewriteLine(const QByteArray &line) const
{
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        switch (writeOnce(line)) {
        case Outcome::Written:
            return true;
        case Outcome::CannotCreate:
            return false; // a missing or refusing folder does not heal within a poll
        case Outcome::NotReplaced:
            break;
        }
        if (attempt < kAttempts)
            QThread::msleep(static_cast<unsigned long>(kPauseBetweenAttempts.count()));
    }
    return false;
}

ReadingFile::Outcome ReadingFile::writeOnce(const QByteArray &line) const
{
    // No writing in place where the folder refuses a temporary file: that would empty the file
    // for a moment before the new line is in. Readers get the old, whole line instead.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return Outcome::CannotCreate;
    if (file.write(line) != line.size()) {
        file.cancelWriting();
        return Outcome::NotReplaced;
    }
    return file.commit() ? Outcome::Written : Outcome::NotReplaced;
}
