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

bool ReadingFile::rewrite(const QString &text) const
{
    const QByteArray line = text.toUtf8() + "\r\n";
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
    QSaveFile file(m_path);
    // Writing in place empties the file before the new line is in; used only where the folder
    // does not let a temporary file be created beside it.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return Outcome::CannotCreate;
    if (file.write(line) != line.size()) {
        file.cancelWriting();
        return Outcome::NotReplaced;
    }
    return file.commit() ? Outcome::Written : Outcome::NotReplaced;
}
