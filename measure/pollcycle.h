#pragma once

#include "gridevents.h"
#include "history.h"
#include "misscause.h"
#include "missreport.h"
#include "readingwriter.h"
#include "replytiming.h"
#include "seriallink.h"

#include <QLocale>
#include <QObject>

#include <chrono>

class Panel;

// One request to the device per poll tick, the reply watchdog and the counters that outlive a poll.
class PollCycle : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kWatchdogInterval{100};
    // A reply needs more than this many bytes waiting before it is read.
    static constexpr qint64 kShortestReply = 6;
    // The watchdog tick that ends a wait without an answer.
    static constexpr int kDeadlineTicks = 2;

    PollCycle(Panel *panel, const QString &portName, const QString &fileDirectory,
              const QLocale &locale = QLocale(), QObject *parent = nullptr);

    qint16 missCount() const { return m_miss_count; }
    qint16 blinkCount() const { return m_blink_count; }
    int waitTicks() const { return m_wait_ticks; }
    bool isPolling() const { return m_polling; }
    SerialLink &link() { return m_link; }
    ReadingWriter &readingWriter() { return m_writer; }
    const ReadingWriter &readingWriter() const { return m_writer; }
    // Every poll's outcome since the start, for the trend window.
    const History &history() const { return m_history; }
    // The excursions from the band and the meter's silences among them, for the trend window.
    const GridEvents &events() const { return m_events; }

public slots:
    // Runs one poll; a tick that comes while a poll is still waiting is dropped.
    void pollTick();
    void watchdogTick();
    // Clears the miss count and the heartbeat position; wait_ticks is left as it is.
    void resetCounters();
    // Closes the port if it is open (Stop and Exit); the polls stop until the next tick.
    void releasePort();

signals:
    // The poll has released the port and handed an accepted reading to the writer.
    void pollEnded();

private:
    void runPoll();
    void waitForReplyOrDeadline();
    bool takeReading();
    void countMiss();
    void report(const MissCause &cause);
    void advanceHeartbeat();
    void recordReading();

    Panel *m_panel;
    SerialLink m_link;
    ReadingWriter m_writer;
    QLocale m_locale;
    ReplyTiming m_timing;
    MissReport m_report;
    History m_history;
    GridEvents m_events;
    QString m_missLine;
    qint16 m_miss_count = 0;
    qint16 m_blink_count = 0;
    int m_wait_ticks = 0;
    bool m_polling = false;
    // Whether a reply that comes while the port is closed is there at the next open: a slow
    // meter's replies then show, and silence is silence.
    bool m_lineKeepsReplies = false;
};
