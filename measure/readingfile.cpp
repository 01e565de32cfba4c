#include "readingfile.h"

#include <QDir>
#include <QSaveFile>

ReadingFile::ReadingFile(const QString &directory)
    : m_path(QDir(directory).filePath(QString(kFileName)))
{}

bool ReadingFile::rewrite(const QString &text) const
{
    const QByteArray line = text.toUtf8() + "\r\n";
    QSaveFile file(m_path);
    // Writing in place empties the file before the new line is in; used only where the folder
    // does not let a temporary file be created beside it.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(line) != line.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
