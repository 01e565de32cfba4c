#include "readingwriter.h"

#include <QThread>

namespace {

// How often the lag is looked at while a line is waiting; the line shows whole seconds.
constexpr std::chrono::milliseconds kLagCheckInterval{250};

} // namespace

ReadingWriter::ReadingWriter(const QString &directory, QObject *parent)
    : QObject(parent), m_file(directory)
{
    m_path = m_file.path();
    m_lagCheck.setInterval(kLagCheckInterval);
    connect(&m_lagCheck, &QTimer::timeout, this, &ReadingWriter::updateProblem);
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->setObjectName(QStringLiteral("freq.text writer"));
    m_thread->start();
}

ReadingWriter::~ReadingWriter()
{
    {
        const QMutexLocker lock(&m_mutex);
        m_stopping = true;
        m_newest.reset();
    }
    m_wake.wakeOne();
    m_thread->wait();
}

void ReadingWriter::followProgramFolder(const QString &programFolder)
{
    const QMutexLocker lock(&m_mutex);
    m_programFolder = programFolder;
}

void ReadingWriter::submit(const QString &text)
{
    {
        const QMutexLocker lock(&m_mutex);
        m_newest = Line{text, m_newest ? m_newest->since : Clock::now()};
    }
    m_wake.wakeOne();
    if (!m_lagCheck.isActive())
        m_lagCheck.start();
}

std::optional<ReadingWriter::Clock::time_point> ReadingWriter::waitingSince() const
{
    // The line being written has waited longest; lines handed over since are newer.
    const QMutexLocker lock(&m_mutex);
    if (m_writingSince)
        return m_writingSince;
    if (m_newest)
        return m_newest->since;
    return std::nullopt;
}

bool ReadingWriter::isBehind() const
{
    return waitingSince().has_value();
}

void ReadingWriter::run()
{
    // Files left by a rewrite that a crash or a power cut interrupted, before the first line.
    const auto removeLeftovers = [this] {
        if (const int removed = m_file.removeLeftovers())
            qInfo("%s: removed %d unfinished replacement(s) left beside it",
                  qPrintable(m_file.path()), removed);
    };
    removeLeftovers();
    QMutexLocker lock(&m_mutex);
    for (;;) {
        while (!m_stopping && !m_newest)
            m_wake.wait(&m_mutex);
        if (m_stopping)
            return;
        const Line line = *std::exchange(m_newest, std::nullopt);
        m_writingSince = line.since;
        const QString programFolder = m_programFolder;
        lock.unlock();
        if (!programFolder.isEmpty()) {
            const ReadingFile now(ReadingFile::folderFor(programFolder));
            if (now.path() != m_file.path()) {
                qInfo("freq.text is written at %s from now on, not at %s", qPrintable(now.path()),
                      qPrintable(m_file.path()));
                m_file = now;
                removeLeftovers();
            }
        }
        m_file.rewrite(line.text);
        const QString fileProblem = m_file.problem();
        const QString path = m_file.path();
        lock.relock();
        m_writingSince.reset();
        // Queued to the owner's thread; dropped with the writer if that is already going.
        QMetaObject::invokeMethod(
            this, [this, path, fileProblem] { writeEnded(path, fileProblem); },
            Qt::QueuedConnection);
    }
}

void ReadingWriter::writeEnded(const QString &path, const QString &fileProblem)
{
    m_path = path;
    m_fileProblem = fileProblem;
    updateProblem();
}

void ReadingWriter::updateProblem()
{
    const std::optional<Clock::time_point> since = waitingSince();
    const auto behind = since ? Clock::now() - *since : Clock::duration{};
    QString line = m_fileProblem;
    if (line.isEmpty() && behind > kLagLimit) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(behind).count();
        line = tr("freq.text is %1 s behind: the disk is slow").arg(seconds);
        if (!m_saidLag)
            qWarning("%s is %lld s behind the readings: the disk is slow", qPrintable(m_path),
                     static_cast<long long>(seconds));
        m_saidLag = true;
    } else if (!since) {
        // Caught up only when the last write put its line in place; a failed one is said as such.
        if (m_saidLag && m_fileProblem.isEmpty()) {
            qInfo("%s has caught up with the readings", qPrintable(m_path));
            m_saidLag = false;
        }
        m_lagCheck.stop();
    }
    if (line != m_problem) {
        m_problem = line;
        emit problemChanged(line);
    }
}
