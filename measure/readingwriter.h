#pragma once

#include "readingfile.h"

#include <QMutex>
#include <QObject>
#include <QTimer>
#include <QWaitCondition>

#include <chrono>
#include <memory>
#include <optional>

class QThread;

// Keeps freq.text following the accepted readings from a thread of its own, so that a slow disk,
// a network share or an antivirus never holds up the poll, the watchdog or the window. One write is
// in progress at a time, and it always writes the newest line it has been given: a line overtaken
// while a write was in progress is dropped, so the file never goes back to an older reading.
class ReadingWriter : public QObject
{
    Q_OBJECT

public:
    // How far freq.text may fall behind the newest accepted reading before the operator is told.
    static constexpr std::chrono::seconds kLagLimit{2};

    explicit ReadingWriter(const QString &directory, QObject *parent = nullptr);
    // Waits for the write in progress, if any, and starts no other: freq.text is never left
    // half-written, and the program's end waits for at most one write.
    ~ReadingWriter() override;

    // The path of the latest write, as writeEnded last gave it.
    QString path() const { return m_path; }
    // From now on, freq.text goes where ReadingFile::folderFor leads from the program's folder,
    // looked up again before every rewrite: a monitor still running when an upgrade or a removal
    // changes the package's link writes where readers now look, not where it looked at start.
    void followProgramFolder(const QString &programFolder);
    // Hands the line over and returns at once.
    void submit(const QString &text);
    // Whether a line handed over has not been dealt with yet (written or failed).
    bool isBehind() const;
    // The line on why freq.text is not following the readings, as problemChanged last gave it.
    QString problem() const { return m_problem; }

signals:
    // The reading box's line on freq.text: empty while it follows the readings.
    void problemChanged(const QString &line);

private:
    void run();
    // Back on the owner's thread after each write.
    void writeEnded(const QString &path, const QString &fileProblem);
    void updateProblem();

    QString m_path;
    using Clock = std::chrono::steady_clock;
    // Since when the oldest line that has not reached freq.text has been waiting, if one has.
    std::optional<Clock::time_point> waitingSince() const;

    // A line and since when the lines it stands for have waited: a line that overtakes a waiting
    // one inherits its time.
    struct Line
    {
        QString text;
        Clock::time_point since;
    };
    // Shared with the writer's thread.
    mutable QMutex m_mutex;
    QWaitCondition m_wake;
    std::optional<Line> m_newest;
    std::optional<Clock::time_point> m_writingSince;
    QString m_programFolder;
    bool m_stopping = false;
    // The writer's thread alone touches the file.
    ReadingFile m_file;
    std::unique_ptr<QThread> m_thread;
    // On the owner's thread.
    bool m_saidLag = false;
    QTimer m_lagCheck;
    QString m_fileProblem;
    QString m_problem;
};
