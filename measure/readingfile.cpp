#include "readingfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace {

// A leftover holds at most one line; anything larger at such a name is not the monitor's.
constexpr qint64 kLargestLeftover = 64;

const QRegularExpression &leftoverName()
{
    // The writer's process id, then a 32-bit number in base 36, which takes at most seven digits.
    static const QRegularExpression name(u"^\\.freq\\.text\\.([1-9][0-9]{0,9})-[0-9a-z]{1,7}$"_qs);
    return name;
}

} // namespace

ReadingFile::ReadingFile(const QString &directory)
    : m_path(QDir(directory).filePath(QString(kFileName)))
{}

// The new line is written to ".freq.text.<process id>-<random>" beside freq.text, then renamed
// over it: a later start tells by the id whether the writer may still be using it.
QString ReadingFile::temporaryPath() const
{
    const QFileInfo target(m_path);
    return target.dir().filePath(QLatin1Char('.') + target.fileName() + QLatin1Char('.') +
                                 QString::number(QCoreApplication::applicationPid()) +
                                 QLatin1Char('-') +
                                 QString::number(QRandomGenerator::global()->generate(), 36));
}

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
    if (!m_failing && !m_unsafeReason.isEmpty())
        return tr("freq.text is written, not yet safe on disk: %1").arg(m_unsafeReason);
    if (!m_failing)
        return {};
    const Known known = knownReason();
    QString why;
    if (m_heldOpen)
        why = tr("another program holds it open");
    else if (m_obstacle == Obstacle::Folder)
        why = tr("a folder stands at its name");
    else if (m_obstacle == Obstacle::ReadOnly)
        why = tr("it is marked read-only");
    else if (known == Known::DiskFull)
        why = tr("the disk is full");
    else if (known == Known::NotPermitted && m_step == Step::Replace)
        why = tr("it belongs to another user");
    else if (known == Known::Refused)
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
        const QRegularExpressionMatch name = leftoverName().match(entry.fileName());
        if (!name.hasMatch() || entry.isSymLink() || entry.size() > kLargestLeftover ||
            processRuns(name.captured(1).toLongLong()) || !isOwnFile(entry.filePath()))
            continue;
        if (QFile::remove(entry.filePath()))
            ++removed;
    }
    return removed;
}
